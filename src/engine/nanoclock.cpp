#include "nanoclock.h"

#include <atomic>
#include <chrono>
#include <thread>

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

void NanoClock::sleepUs(qint64 us) const
{
    std::this_thread::sleep_for(std::chrono::microseconds(us));
}

const NanoClock *NanoClock::instance()
{
    return currentClock.load(std::memory_order_acquire);
}

void NanoClock::setInstance(const NanoClock *clock)
{
    currentClock.store(clock ? clock : &steadyClock, std::memory_order_release);
}
