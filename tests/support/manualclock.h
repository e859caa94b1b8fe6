#pragma once

#include "nanoclock.h"

#include <atomic>
#include <chrono>

// A playback clock that only moves when told to, so that timing arithmetic is
// exact in tests; hand it to what counts time. Threads waiting for one of its
// times look at it again every millisecond of real time, since moving it
// wakes nobody.
class ManualClock : public NanoClock
{
public:
    explicit ManualClock(qint64 startNs = 1000000000) : m_now(startNs) {}

    qint64 nowNs() const override { return m_now.load(); }

    void set(qint64 ns) { m_now.store(ns); }
    void advance(qint64 ns) { m_now.fetch_add(ns); }

protected:
    void waitOnce(std::condition_variable &condition, std::unique_lock<std::mutex> &lock,
                  qint64 deadlineNs) const override
    {
        if (deadlineNs == Never)
            condition.wait(lock);
        else
            condition.wait_for(lock, std::chrono::milliseconds(1));
    }

private:
    std::atomic<qint64> m_now;
};
