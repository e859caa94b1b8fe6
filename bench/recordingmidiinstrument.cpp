#include "recordingmidiinstrument.h"

#include "processstats.h"
#include "sendrecorder.h"

#include <algorithm>

namespace {

// Set while this thread sends the user messages of a batch.
thread_local bool sendingUserMessages = false;

} // namespace

RecordingMidiInstrument::RecordingMidiInstrument(QmdItemId id, SendRecorder *recorder,
                                                 QObject *parent)
    : MidiInstrument(id, parent), m_recorder(recorder)
{
}

RecordingMidiInstrument::~RecordingMidiInstrument()
{
    // The output thread calls into this object until it has stopped.
    terminateSafely();
    waitForExit();
}

QmdLudraPlaybackServices RecordingMidiInstrument::services(SendRecorder *recorder)
{
    QmdLudraPlaybackServices services;
    services.makeInstrument = [recorder](const QString &, QmdItemId id) {
        return new RecordingMidiInstrument(id, recorder);
    };
    return services;
}

bool RecordingMidiInstrument::sendBatch(const QList<InstrumentEvent> &batch)
{
    const qint64 now = ProcessStats::monotonicNanoseconds();
    for (const InstrumentEvent &event : batch)
        m_recorder->recordSend(timingSource(), event.tick, now);
    // User messages are the user's raw bytes, sent as written: a note on
    // among them has no note off unless the user wrote one, so they stay out
    // of the note bookkeeping. Runs of them go as batches of their own.
    const auto isUserMessage = [](const InstrumentEvent &event) {
        return event.type == InstrumentEvent::UserMessage;
    };
    for (auto begin = batch.cbegin(); begin != batch.cend();) {
        const bool user = isUserMessage(*begin);
        const auto end = std::find_if(begin, batch.cend(), [&](const InstrumentEvent &event) {
            return isUserMessage(event) != user;
        });
        sendingUserMessages = user;
        const bool sent = MidiInstrument::sendBatch(QList<InstrumentEvent>(begin, end));
        sendingUserMessages = false;
        if (!sent)
            return false;
        begin = end;
    }
    return true;
}

bool RecordingMidiInstrument::sendMessages(const QList<QByteArray> &messages)
{
    if (!sendingUserMessages)
        m_recorder->recordMessages(int(id()), messages);
    return true;
}
