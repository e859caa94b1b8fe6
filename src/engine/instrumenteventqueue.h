#pragma once

#include "instrumentevent.h"

#include <QList>

#include <limits>

// The events an instrument has still to send, in the order it sends them:
// ascending due tick, and events of the same tick in the order they came, so
// that a note off of an earlier note precedes a later note on of that tick.
// A full queue refuses what comes; a note pair is taken whole or not at all.
// Not locked: the real-time instrument guards it with its queue mutex, and the
// offline renderer uses it on one thread.
class InstrumentEventQueue
{
public:
    static constexpr int Capacity = 1000;

    InstrumentEventQueue() { m_events.reserve(Capacity); }

    // False, and nothing queued, when the queue has no room for both.
    bool insertNotePair(const InstrumentEvent &noteOn, const InstrumentEvent &noteOff);
    // False, and nothing queued, when the queue is full.
    bool insert(const InstrumentEvent &event);
    // Moves the events due by tick, at most max of them, to the end of into,
    // in the order they leave.
    void takeDue(qint64 tick, QList<InstrumentEvent> *into,
                 qsizetype max = std::numeric_limits<qsizetype>::max());

    // The tick of the first event to leave; the queue must not be empty.
    qint64 firstTick() const { return m_events.constFirst().tick; }

    int size() const { return int(m_events.size()); }
    bool isEmpty() const { return m_events.isEmpty(); }
    void clear() { m_events.clear(); }

private:
    void insertOrdered(const InstrumentEvent &event);

    QList<InstrumentEvent> m_events;
};
