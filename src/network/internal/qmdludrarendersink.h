#pragma once

#include "eventsink.h"
#include "instrumenteventqueue.h"

#include <QList>
#include <QMap>

class QmdLudraController;

// Where the firings of an offline render go: one event queue per instrument
// record, kept as real time keeps them, except that the queue is emptied by
// the render's virtual clock. Used on one thread.
class QmdLudraRenderSink : public EventSink
{
public:
    explicit QmdLudraRenderSink(const QmdLudraController *controller);

    bool deliverNotePair(QmdItemId instrument, const InstrumentEvent &noteOn,
                         const InstrumentEvent &noteOff) override;
    bool deliverEvent(QmdItemId instrument, const InstrumentEvent &event) override;
    // Nothing shows the firings of a render.
    bool appendFiredNode(const FiredNode &record) override;

    // Sends every queued event due by tick.
    void sendDue(qint64 tick);
    // Ends the render at endTick: what is due before it is sent; a note
    // still sounding is switched off at endTick; every other event is dropped.
    void finish(qint64 endTick);
    // The events each instrument record sent, in sending order, by ascending
    // instrument id.
    const QMap<QmdItemId, QList<InstrumentEvent>> &sent() const { return m_sent; }

private:
    QMap<QmdItemId, InstrumentEventQueue> m_queues;
    QMap<QmdItemId, QList<InstrumentEvent>> m_sent;
};
