#pragma once

#include <QtGlobal>

#include <condition_variable>
#include <limits>
#include <mutex>

// The one clock of playback: a monotonic nanosecond counter. Timing sources
// read "now" through the process-wide instance, threads that send on time
// sleep on it, and received MIDI messages are stamped with it, so that all
// agree on every time they exchange. Tests install a clock they advance by
// hand.
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

    // The clock in use; the steady clock unless another was installed.
    static const NanoClock *instance();
    // Installs a clock (not owned, must outlive its use); nullptr restores
    // the steady clock.
    static void setInstance(const NanoClock *clock);

protected:
    // One wait of waitUntil(): until notified, the deadline, or earlier.
    virtual void waitOnce(std::condition_variable &condition, std::unique_lock<std::mutex> &lock,
                          qint64 deadlineNs) const;
};
