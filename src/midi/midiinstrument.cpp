#include "midiinstrument.h"

#include "abstractsync.h"

#include <QBitArray>

namespace {

const QString PortKey = QStringLiteral("MidiPort");
const QString ChannelsKey = QStringLiteral("MidiChannels");
const QString DoProgramChangeKey = QStringLiteral("MidiDoProgramChange");
const QString ProgramKey = QStringLiteral("MidiProgram");
const QString BankMsbKey = QStringLiteral("MidiBankMSB");
const QString BankLsbKey = QStringLiteral("MidiBankLSB");

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

InstrumentEvent MidiInstrument::programChange(qint64 tick, const QVariant &program,
                                              const QVariant &bankMsb, const QVariant &bankLsb)
{
    // The document counts programs from 1, MIDI from 0.
    return InstrumentEvent::programChange(tick, dataByte(program.toInt() - 1),
                                          dataByte(bankMsb.toInt()), dataByte(bankLsb.toInt()));
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
    applyInstrumentData(
        id(), {BankLsbKey, BankMsbKey, ChannelsKey, DoProgramChangeKey, PortKey, ProgramKey});
}

void MidiInstrument::play()
{
    AbstractInstrument::play();
    applyInstrumentData(id(), {BankLsbKey, BankMsbKey, DoProgramChangeKey, ProgramKey});
}

void MidiInstrument::pauseAndWait()
{
    AbstractInstrument::pauseAndWait();
    betweenOutputCalls([this] { allNotesOff(); });
}

void MidiInstrument::applyInstrumentData(QmdItemId id, const QStringList &keys)
{
    // Without a document there is nothing to follow: the port stays as it is.
    if (id != this->id() || !controller())
        return;
    bool changed = false;
    if (keys.contains(PortKey)) {
        openPortOfRecord();
        changed = true;
    }
    if (keys.contains(ChannelsKey)) {
        const QBitArray channels = instrumentData(ChannelsKey).toBitArray();
        // The note offs still queued will go out on the new channels: notes
        // sounding on the channels left behind are silenced here or never.
        if (channelBits(channels) != channelBits(this->channels())) {
            betweenOutputCalls([&] {
                allNotesOff();
                setChannels(channels);
            });
        }
        changed = true;
    }
    const bool programKeyChanged = keys.contains(DoProgramChangeKey) || keys.contains(ProgramKey) ||
                                   keys.contains(BankMsbKey) || keys.contains(BankLsbKey);
    if (instrumentData(DoProgramChangeKey).toBool() && (changed || programKeyChanged)) {
        const AbstractSync *source = timingSource();
        sendNow(programChange(source ? source->tickPosition() : 0, instrumentData(ProgramKey),
                              instrumentData(BankMsbKey), instrumentData(BankLsbKey)));
    }
}

void MidiInstrument::openPortOfRecord()
{
    QString name = instrumentData(PortKey).toString();
    if (name.isNull() || !outputPortNames().contains(name)) {
        // A document from another machine names ports this one lacks: it
        // shows the port actually played on.
        name = defaultOutputPortName();
        writeInstrumentData(PortKey, name);
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
    writeInstrumentDataLater(PortKey, QString());
    return false;
}
