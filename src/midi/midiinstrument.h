#pragma once

#include "abstractinstrument.h"
#include "midioutput.h"

// An instrument that plays on a MIDI output port, on the channels of its
// record. It follows the record's port, channels and program as they
// change, and sends a program change whenever one of them makes it due.
//
// Notes still sounding on a port are silenced before the instrument leaves
// it, for another port or for good. A port whose name stays the same stays
// open through every reset: reopening one costs tens of milliseconds on
// some MIDI systems, and the connections of other programs to it drop.
//
// A record whose port is missing plays on the default port, and says so
// (portChanged()). A send that fails (no open port, or the port broke)
// pauses the instrument, closes the port and says that it has none, so that
// the user sees the instrument without a port and chooses one again.
class MidiInstrument : public AbstractInstrument, public MidiOutput
{
    Q_OBJECT

public:
    explicit MidiInstrument(QmdItemId id, QObject *parent = nullptr);
    ~MidiInstrument() override;

    static QString staticTypeName();
    static QString staticDisplayName();

    // The program change that a record's program (counted from 1) and bank
    // select ask for, due at tick.
    static InstrumentEvent programChange(qint64 tick, int program, int bankMsb, int bankLsb);

    QString typeName() const override;
    QString displayName() const override;

public Q_SLOTS:
    // Also silences the notes still sounding and applies every key of the
    // record again; the port changes only when the record names another.
    void reset() override;
    // Also sends the program change again, so that playback starts on it.
    void play() override;
    // Also silences the notes still sounding on the port, once the send
    // under way, if any, is over.
    void pauseAndWait() override;

protected:
    void applyInstrumentData(const QStringList &keys) override;
    bool sendBatch(const QList<InstrumentEvent> &batch) override;

private:
    void openPortOfRecord();
    // Silences the current channels on the current port and closes it, then
    // opens the named port, if any.
    void leavePortFor(const QString &name);
};
