#include "qmdludrarendervoicehost.h"

#include "qmdludra.h"
#include "qmdludracontroller.h"

#include <limits>

QmdLudraRenderVoiceHost::QmdLudraRenderVoiceHost(QmdLudraController *controller)
    : QmdLudraVoiceHost(controller)
{
    // The render starts where play from the start does: every counter at its
    // initial value, whatever the document's records hold now.
    for (QmdItemId element : controller->ids(controller->elementStatesIndex())) {
        const uint type = elementValue(element, QStringLiteral("Type")).toUInt();
        m_states.insert(element, QmdLudra::initialElementState(type));
    }
    for (QmdItemId instrument : controller->ids(controller->instrumentsIndex())) {
        m_queues[instrument];
        m_sent[instrument];
    }
}

QVariant QmdLudraRenderVoiceHost::elementStateValue(QmdItemId element, const QString &key) const
{
    return m_states.value(element).value(key);
}

void QmdLudraRenderVoiceHost::writeElementState(QmdItemId element,
                                                const QHash<QString, QVariant> &values)
{
    const auto state = m_states.find(element);
    if (state != m_states.end())
        state->insert(values);
}

bool QmdLudraRenderVoiceHost::deliverNotePair(QmdItemId instrument, const InstrumentEvent &noteOn,
                                              const InstrumentEvent &noteOff)
{
    const auto queue = m_queues.find(instrument);
    return queue != m_queues.end() && queue->insertNotePair(noteOn, noteOff);
}

bool QmdLudraRenderVoiceHost::deliverEvent(QmdItemId instrument, const InstrumentEvent &event)
{
    const auto queue = m_queues.find(instrument);
    return queue != m_queues.end() && queue->insert(event);
}

bool QmdLudraRenderVoiceHost::appendFiredNode(const FiredNode &)
{
    return false;
}

void QmdLudraRenderVoiceHost::sendDue(qint64 tick)
{
    for (auto queue = m_queues.begin(); queue != m_queues.end(); ++queue)
        queue->takeDue(tick, &m_sent[queue.key()]);
}

void QmdLudraRenderVoiceHost::finish(qint64 endTick)
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
