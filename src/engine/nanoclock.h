#pragma once

#include <QtGlobal>

#include <condition_variable>
#include <limits>
#include <mutex>

// The clock of playback: a monotonic nanosecond counter. A timing source
// counts on one, the threads that follow it sleep on the same, and the MIDI
// inputs that feed it stamp their messages with it, so that all agree on
// every time they exchange. The steady clock serves unless another is
// handed over; tests hand over one they advance by hand.
//
// Any thread may read the clock and wait on it.
class NanoClock
{
public:
    // A deadline that never comes: wait for a wake-up only.
    static constexpr qint64 Never = std::numeric_limits<qint64>::max();

    virtual ~NanoClock() = default;

    // Nanoseconds since an arbitrary fixed origin; never decreases.
    virtual qint64 nowNs() const;

    // Waits on the condition, whose mutex the lock holds, until the clock
    // reaches the deadline or the condition is notified, whichever comes
    // first; it may also return early. Returns true once pred() holds and
    // false when the deadline came first.
    template <class Pred>
    bool waitUntil(std::condition_variable &condition, std::unique_lock<std::mutex> &lock,
                   qint64 deadlineNs, Pred pred) const
    {
        while (!pred()) {
            if (deadlineNs != Never && nowNs() >= deadlineNs)
                return false;
            waitOnce(condition, lock, deadlineNs);
        }
        return true;
    }

    // The monotonic clock of the system.
    static const NanoClock *steady();

protected:
    // One wait of waitUntil(): until notified, the deadline, or earlier.
    virtual void waitOnce(std::condition_variable &condition, std::unique_lock<std::mutex> &lock,
                          qint64 deadlineNs) const;
};
