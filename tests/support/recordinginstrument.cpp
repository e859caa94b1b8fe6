#include "recordinginstrument.h"

#include <QThread>

QmdLudraPlaybackServices InstrumentRecorder::services(const NanoClock *clock)
{
    QmdLudraPlaybackServices services;
    services.makeInstrument = [this](const QString &, QmdItemId id) {
        return new RecordingInstrument(id, this);
    };
    services.clock = clock;
    return services;
}

QList<InstrumentRecorder::Sent> InstrumentRecorder::sent() const
{
    // Copied element by element under the lock: a shared copy, detached by
    // the reader later, would race with the recording thread's next append.
    const std::lock_guard locker(m_mutex);
    return QList<Sent>(m_sent.cbegin(), m_sent.cend());
}

QList<std::pair<int, qint64>> InstrumentRecorder::notesOn() const
{
    QList<std::pair<int, qint64>> notes;
    for (const Sent &sent : sent()) {
        if (sent.event.type == InstrumentEvent::NoteOn)
            notes.append({sent.event.data1, sent.event.tick});
    }
    return notes;
}

void InstrumentRecorder::record(QmdItemId instrument, const QList<InstrumentEvent> &batch)
{
    const std::lock_guard locker(m_mutex);
    for (const InstrumentEvent &event : batch)
        m_sent.append({instrument, event});
}

RecordingInstrument::RecordingInstrument(QmdItemId id, InstrumentRecorder *recorder,
                                         QObject *parent)
    : AbstractInstrument(id, parent), m_recorder(recorder)
{
    ++m_recorder->m_alive;
}

RecordingInstrument::~RecordingInstrument()
{
    terminateSafely();
    waitForExit();
    --m_recorder->m_alive;
}

void InstrumentRecorder::holdIfAsked()
{
    if (!m_holdNext.exchange(false))
        return;
    m_holding = true;
    while (!m_release)
        QThread::yieldCurrentThread();
}

bool RecordingInstrument::enqueueNotePair(const InstrumentEvent &noteOn,
                                          const InstrumentEvent &noteOff)
{
    m_recorder->holdIfAsked();
    return AbstractInstrument::enqueueNotePair(noteOn, noteOff);
}

bool RecordingInstrument::sendBatch(const QList<InstrumentEvent> &batch)
{
    m_recorder->record(id(), batch);
    return true;
}
