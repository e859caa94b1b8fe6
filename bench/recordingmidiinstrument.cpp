#include "recordingmidiinstrument.h"

#include "processstats.h"
#include "sendrecorder.h"

RecordingMidiInstrument::RecordingMidiInstrument(QmdItemId id, SendRecorder *recorder,
                                                 QObject *parent)
    : MidiInstrument(id, parent), m_recorder(recorder)
{
}

RecordingMidiInstrument::~RecordingMidiInstrument()
{
    // The output thread calls into this object until it has stopped.
    terminateSafely();
    wait();
}

bool RecordingMidiInstrument::sendBatch(const QList<InstrumentEvent> &batch)
{
    const qint64 now = ProcessStats::monotonicNanoseconds();
    for (const InstrumentEvent &event : batch)
        m_recorder->recordSend(timingSource(), event.tick, now);
    return MidiInstrument::sendBatch(batch);
}

bool RecordingMidiInstrument::sendMessages(const QList<QByteArray> &messages)
{
    m_recorder->recordMessages(int(id()), messages);
    return true;
}
