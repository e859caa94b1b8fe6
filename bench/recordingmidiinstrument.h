#pragma once

#include "midiinstrument.h"

class SendRecorder;

// A MIDI instrument whose port is a SendRecorder: queue, output thread,
// batching and encoding are the real instrument's; only the bytes never
// reach a port. Every send succeeds, so the instrument never pauses itself.
class RecordingMidiInstrument : public MidiInstrument
{
    Q_OBJECT

public:
    RecordingMidiInstrument(QmdItemId id, SendRecorder *recorder, QObject *parent = nullptr);
    ~RecordingMidiInstrument() override;

protected:
    bool sendBatch(const QList<InstrumentEvent> &batch) override;
    bool sendMessages(const QList<QByteArray> &messages) override;

private:
    SendRecorder *const m_recorder;
};
