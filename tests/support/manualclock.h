#pragma once

#include "nanoclock.h"

#include <atomic>

// A playback clock that only moves when told to, so that timing arithmetic is
// exact in tests. Sleeping on it advances it by the time slept. Installed as
// the process-wide clock for its lifetime.
class ManualClock : public NanoClock
{
public:
    explicit ManualClock(qint64 startNs = 1000000000) : m_now(startNs)
    {
        NanoClock::setInstance(this);
    }
    ~ManualClock() override { NanoClock::setInstance(nullptr); }

    qint64 nowNs() const override { return m_now.load(); }
    void sleepUs(qint64 us) const override { m_now.fetch_add(us * 1000); }

    void set(qint64 ns) { m_now.store(ns); }
    void advance(qint64 ns) { m_now.fetch_add(ns); }

private:
    mutable std::atomic<qint64> m_now;
};
