#include "abstractoutputthread.h"

#include "abstractsync.h"
#include "nanoclock.h"

#include <sys/prctl.h>

AbstractOutputThread::AbstractOutputThread(QObject *parent) : QThread(parent) {}

AbstractOutputThread::~AbstractOutputThread()
{
    terminateSafely();
    waitForExit();
    setTimingSource(nullptr);
}

void AbstractOutputThread::setTimingSource(AbstractSync *source)
{
    const std::lock_guard locker(m_sourceMutex);
    AbstractSync *old = m_timingSource.exchange(source);
    if (old == source)
        return;
    if (old)
        old->removeTimingListener(this);
    if (source)
        source->addTimingListener(this);
    wake();
}

void AbstractOutputThread::play()
{
    setStateAndWake(Playing);
}

void AbstractOutputThread::pauseAndWait()
{
    setStateAndWake(Paused);
}

void AbstractOutputThread::terminateSafely()
{
    {
        const std::lock_guard locker(m_wakeMutex);
        m_terminate.store(true);
        ++m_wakeSerial;
    }
    m_wake.notify_all();
}

void AbstractOutputThread::wake()
{
    {
        const std::lock_guard locker(m_wakeMutex);
        ++m_wakeSerial;
    }
    m_wake.notify_all();
}

void AbstractOutputThread::setStateAndWake(State state)
{
    {
        const std::lock_guard locker(m_wakeMutex);
        m_state.store(state);
        ++m_wakeSerial;
    }
    m_wake.notify_all();
}

void AbstractOutputThread::run()
{
    // The default timer slack of 50 microseconds would stretch every sleep
    // to a due time.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);

    std::unique_lock locker(m_wakeMutex);
    while (!m_terminate.load()) {
        if (m_state.load() != Playing) {
            m_wake.wait(locker, [this] { return m_state.load() == Playing || m_terminate.load(); });
            continue;
        }
        const quint64 seen = m_wakeSerial;
        locker.unlock();
        const qint64 next = output();
        locker.lock();
        clock()->waitUntil(m_wake, locker, next, [&] { return m_wakeSerial != seen; });
    }
    // Unlocking is the last thing the thread does, for waitForExit().
}

const NanoClock *AbstractOutputThread::clock() const
{
    const AbstractSync *source = m_timingSource.load();
    return source ? source->clock() : NanoClock::steady();
}

void AbstractOutputThread::waitForExit()
{
    wait();
    const std::lock_guard locker(m_wakeMutex);
}
