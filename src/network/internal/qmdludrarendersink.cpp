#include "qmdludrarendersink.h"

#include "qmdludracontroller.h"

#include <limits>

QmdLudraRenderSink::QmdLudraRenderSink(const QmdLudraController *controller)
{
    for (QmdItemId instrument : controller->ids(controller->instrumentsIndex())) {
        m_queues[instrument];
        m_sent[instrument];
    }
}

bool QmdLudraRenderSink::deliverNotePair(QmdItemId instrument, const InstrumentEvent &noteOn,
                                         const InstrumentEvent &noteOff)
{
    const auto queue = m_queues.find(instrument);
    return queue != m_queues.end() && queue->insertNotePair(noteOn, noteOff);
}

bool QmdLudraRenderSink::deliverEvent(QmdItemId instrument, const InstrumentEvent &event)
{
    const auto queue = m_queues.find(instrument);
    return queue != m_queues.end() && queue->insert(event);
}

bool QmdLudraRenderSink::appendFiredNode(const FiredNode &)
{
    return false;
}

void QmdLudraRenderSink::sendDue(qint64 tick)
{
    for (auto queue = m_queues.begin(); queue != m_queues.end(); ++queue)
        queue->takeDue(tick, &m_sent[queue.key()]);
}

void QmdLudraRenderSink::finish(qint64 endTick)
{
    sendDue(endTick - 1);
    for (auto queue = m_queues.begin(); queue != m_queues.end(); ++queue) {
        QList<InstrumentEvent> late;
        queue->takeDue(std::numeric_limits<qint64>::max(), &late);
        QList<InstrumentEvent> &sent = m_sent[queue.key()];
        // Every note on was due before the end and has been sent; its note
        // off must not be lost, or the note would sound on in a player.
        for (InstrumentEvent event : std::as_const(late)) {
            if (event.type != InstrumentEvent::NoteOff)
                continue;
            event.tick = endTick;
            sent.append(event);
        }
    }
}
