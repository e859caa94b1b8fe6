#pragma once

#include "instrumenteventqueue.h"
#include "qmdludravoicehost.h"

#include <QHash>
#include <QList>
#include <QMap>

// The document side of an offline render: voices read the document through
// the controller, but the counters they advance go to a copy of the state
// records, made from their initial values, and what they deliver goes to one
// event queue per instrument record, as in real time, except that the
// queue is emptied by the render's virtual clock. Used on one thread.
class QmdLudraRenderVoiceHost : public QmdLudraVoiceHost
{
public:
    explicit QmdLudraRenderVoiceHost(QmdLudraController *controller);

    QVariant elementStateValue(QmdItemId element, const QString &key) const override;
    void writeElementState(QmdItemId element, const QHash<QString, QVariant> &values) override;
    bool deliverNotePair(QmdItemId instrument, const InstrumentEvent &noteOn,
                         const InstrumentEvent &noteOff) override;
    bool deliverEvent(QmdItemId instrument, const InstrumentEvent &event) override;
    // Nothing shows the firings of a render.
    bool appendFiredNode(const FiredNode &record) override;
    AbstractSync *timingSource() const override { return nullptr; }

    // Sends every queued event due by tick.
    void sendDue(qint64 tick);
    // Ends the render at endTick: what is due before it is sent; a note
    // still sounding is switched off at endTick; every other event is dropped.
    void finish(qint64 endTick);
    // The events each instrument record sent, in sending order, by ascending
    // instrument id.
    const QMap<QmdItemId, QList<InstrumentEvent>> &sent() const { return m_sent; }

private:
    QHash<QmdItemId, QHash<QString, QVariant>> m_states;
    QMap<QmdItemId, InstrumentEventQueue> m_queues;
    QMap<QmdItemId, QList<InstrumentEvent>> m_sent;
};
