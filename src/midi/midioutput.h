#pragma once

#include "instrumentevent.h"
#include "midiio.h"

#include <QBitArray>
#include <QList>
#include <QStringList>

// An output port with a set of MIDI channels, which turns instrument events
// into MIDI bytes.
class MidiOutput : public MidiIO<RtMidiOut>
{
public:
    static constexpr int ChannelCount = 16;

    // Bit i enables MIDI channel i (counting from 0); bits past 15 are unused.
    void setChannels(const QBitArray &channels);
    QBitArray channels() const;

    // Sends the batch in order, each note and program change on every enabled
    // channel in ascending order and each user message once. False when the
    // port is closed or the library reports an error.
    bool sendEvents(const QList<InstrumentEvent> &events);
    // Control change 123 (all notes off) on every enabled channel.
    bool allNotesOff();
    bool sendRaw(const QByteArray &bytes);

    // The channel bits of a channel set: bit i for MIDI channel i, up to 15.
    static quint16 channelBits(const QBitArray &channels);
    // The MIDI messages a batch becomes with the given channel bits.
    static QList<QByteArray> encode(const QList<InstrumentEvent> &events, quint16 channelBits);

    // The ports of the MIDI library and those of this process.
    static QSet<QString> outputPortNames();
    // The port to play on when none is chosen: of the names in sorted
    // order, the first that contains "synth" in any letter case, else the
    // first; empty without names.
    static QString defaultPortName(const QSet<QString> &names);
    static QString defaultOutputPortName() { return defaultPortName(outputPortNames()); }

protected:
    // The one place where bytes reach the port; benchmarks replace it with a
    // recorder to measure everything up to the port itself.
    virtual bool sendMessages(const QList<QByteArray> &messages);

private:
    std::atomic<quint16> m_channelBits{0};
};
