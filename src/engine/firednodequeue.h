#pragma once

#include "firednode.h"

#include <QList>
#include <QQueue>

#include <mutex>

// A bounded queue of fired-node records between the voice-group threads that
// append and the display that drains. When it is full, records are dropped:
// the display only ever shows the latest firings anyway.
class FiredNodeQueue
{
public:
    static constexpr int Capacity = 1000;

    // False when the queue is full and the record was dropped.
    bool append(const FiredNode &record);
    // Takes every queued record, oldest first.
    QList<FiredNode> takeAll();
    // Takes at most max of the oldest records, oldest first; the rest wait
    // for the next call.
    QList<FiredNode> take(int max);
    void clear();
    int size() const;

private:
    mutable std::mutex m_mutex;
    QQueue<FiredNode> m_records;
};
