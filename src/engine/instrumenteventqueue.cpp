#include "instrumenteventqueue.h"

#include <algorithm>

bool InstrumentEventQueue::insertNotePair(const InstrumentEvent &noteOn,
                                          const InstrumentEvent &noteOff)
{
    if (m_events.size() > Capacity - 2)
        return false;
    insertOrdered(noteOn);
    insertOrdered(noteOff);
    return true;
}

bool InstrumentEventQueue::insert(const InstrumentEvent &event)
{
    if (m_events.size() >= Capacity)
        return false;
    insertOrdered(event);
    return true;
}

void InstrumentEventQueue::takeDue(qint64 tick, QList<InstrumentEvent> *into, qsizetype max)
{
    qsizetype due = 0;
    while (due < m_events.size() && due < max && m_events.at(due).tick <= tick)
        ++due;
    into->append(m_events.constBegin(), m_events.constBegin() + due);
    m_events.remove(0, due);
}

void InstrumentEventQueue::insertOrdered(const InstrumentEvent &event)
{
    // After every queued event of the same tick.
    const auto at = std::upper_bound(
        m_events.begin(), m_events.end(), event.tick,
        [](qint64 tick, const InstrumentEvent &queued) { return tick < queued.tick; });
    m_events.insert(at, event);
}
