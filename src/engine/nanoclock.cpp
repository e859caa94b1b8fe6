#include "nanoclock.h"

#include <chrono>

qint64 NanoClock::nowNs() const
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void NanoClock::waitOnce(std::condition_variable &condition, std::unique_lock<std::mutex> &lock,
                         qint64 deadlineNs) const
{
    if (deadlineNs == Never) {
        condition.wait(lock);
        return;
    }
    // The deadline is a time of the steady clock itself, so the wait ends
    // on the futex's own absolute time-out, with no conversion in between.
    const std::chrono::steady_clock::time_point deadline{std::chrono::nanoseconds(deadlineNs)};
    condition.wait_until(lock, deadline);
}

const NanoClock *NanoClock::steady()
{
    static const NanoClock clock;
    return &clock;
}
