#include "nanoclock.h"

#include <atomic>
#include <chrono>

namespace {

const NanoClock steadyClock;
std::atomic<const NanoClock *> currentClock{&steadyClock};

} // namespace

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

const NanoClock *NanoClock::instance()
{
    return currentClock.load(std::memory_order_acquire);
}

void NanoClock::setInstance(const NanoClock *clock)
{
    currentClock.store(clock ? clock : &steadyClock, std::memory_order_release);
}
