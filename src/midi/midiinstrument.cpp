#include "midiinstrument.h"

#include "abstractsync.h"

#include <QBitArray>

namespace {

using Keys = InstrumentSettings;

// A MIDI data byte; out-of-range document values are clamped so that they
// can never make a status byte.
quint8 dataByte(int value)
{
    return quint8(qBound(0, value, 127));
}

} // namespace

MidiInstrument::MidiInstrument(QmdItemId id, QObject *parent) : AbstractInstrument(id, parent) {}

MidiInstrument::~MidiInstrument()
{
    terminateSafely();
    waitForExit();
    leavePortFor(QString());
}

QString MidiInstrument::staticTypeName()
{
    return QStringLiteral("midi");
}

QString MidiInstrument::staticDisplayName()
{
    return tr("MIDI");
}

InstrumentEvent MidiInstrument::programChange(qint64 tick, int program, int bankMsb, int bankLsb)
{
    // The document counts programs from 1, MIDI from 0.
    return InstrumentEvent::programChange(tick, dataByte(program - 1), dataByte(bankMsb),
                                          dataByte(bankLsb));
}

QString MidiInstrument::typeName() const
{
    return staticTypeName();
}

QString MidiInstrument::displayName() const
{
    return staticDisplayName();
}

void MidiInstrument::reset()
{
    AbstractInstrument::reset();
    // The note offs just dropped would have ended what still sounds.
    betweenOutputCalls([this] { allNotesOff(); });
    applyInstrumentData(settingKeys());
}

void MidiInstrument::play()
{
    AbstractInstrument::play();
    applyInstrumentData(
        {Keys::BankLsbKey, Keys::BankMsbKey, Keys::DoProgramChangeKey, Keys::ProgramKey});
}

void MidiInstrument::pauseAndWait()
{
    AbstractInstrument::pauseAndWait();
    betweenOutputCalls([this] { allNotesOff(); });
}

void MidiInstrument::applyInstrumentData(const QStringList &keys)
{
    const InstrumentSettings &record = settings();
    bool changed = false;
    if (keys.contains(Keys::PortKey)) {
        openPortOfRecord();
        changed = true;
    }
    if (keys.contains(Keys::ChannelsKey)) {
        // The note offs still queued will go out on the new channels: notes
        // sounding on the channels left behind are silenced here or never.
        if (channelBits(record.channels) != channelBits(channels())) {
            betweenOutputCalls([&] {
                allNotesOff();
                setChannels(record.channels);
            });
        }
        changed = true;
    }
    const bool programKeyChanged =
        keys.contains(Keys::DoProgramChangeKey) || keys.contains(Keys::ProgramKey) ||
        keys.contains(Keys::BankMsbKey) || keys.contains(Keys::BankLsbKey);
    if (record.doProgramChange && (changed || programKeyChanged)) {
        const AbstractSync *source = timingSource();
        sendNow(programChange(source ? source->tickPosition() : 0, record.program, record.bankMsb,
                              record.bankLsb));
    }
}

void MidiInstrument::openPortOfRecord()
{
    QString name = settings().port;
    if (name.isNull() || !outputPortNames().contains(name)) {
        // A document from another machine names ports this one lacks: it
        // shows the port actually played on.
        name = defaultOutputPortName();
        if (name != settings().port)
            Q_EMIT portChanged(name);
    }
    if (!isOpen() || portName() != name)
        leavePortFor(name);
}

void MidiInstrument::leavePortFor(const QString &name)
{
    // The note offs still queued will go out on the next port, or nowhere:
    // notes sounding on this one are silenced here or never. Between output
    // calls, the send under way ends on this port, and none finds the
    // instrument without one.
    betweenOutputCalls([&] {
        allNotesOff();
        close();
        if (!name.isEmpty())
            open(name);
    });
}

bool MidiInstrument::sendBatch(const QList<InstrumentEvent> &batch)
{
    if (sendEvents(batch))
        return true;
    // Nothing is retried: the port stays closed until the document names
    // one again. The base pause only changes the state; notes off would go
    // to the broken port.
    AbstractInstrument::pauseAndWait();
    close();
    Q_EMIT portChanged(QString());
    return false;
}
