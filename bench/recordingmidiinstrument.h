#pragma once

#include "midiinstrument.h"
#include "qmdludraplayback.h"

class SendRecorder;

// A MIDI instrument whose port is a SendRecorder: queue, output thread,
// batching and encoding are the real instrument's; only the bytes never
// reach a port. Every send succeeds, so the instrument never pauses itself.
// The recorder follows the notes of note events and the all-notes-off
// messages, not the raw bytes of user messages.
class RecordingMidiInstrument : public MidiInstrument
{
    Q_OBJECT

public:
    RecordingMidiInstrument(QmdItemId id, SendRecorder *recorder, QObject *parent = nullptr);
    ~RecordingMidiInstrument() override;

    // Playback that makes every instrument a recording one, whatever its
    // type. The recorder must outlive the controller it is handed to.
    static QmdLudraPlaybackServices services(SendRecorder *recorder);

protected:
    bool sendBatch(const QList<InstrumentEvent> &batch) override;
    bool sendMessages(const QList<QByteArray> &messages) override;

private:
    SendRecorder *const m_recorder;
};
