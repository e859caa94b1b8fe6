#include "abstractoutputthread.h"

#include <sys/prctl.h>

AbstractOutputThread::AbstractOutputThread(QObject *parent) : QThread(parent) {}

AbstractOutputThread::~AbstractOutputThread()
{
    terminateSafely();
    waitForExit();
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
        std::lock_guard locker(m_wakeMutex);
        m_terminate.store(true);
    }
    m_wake.notify_all();
}

void AbstractOutputThread::setStateAndWake(State state)
{
    {
        std::lock_guard locker(m_wakeMutex);
        m_state.store(state);
    }
    m_wake.notify_all();
}

void AbstractOutputThread::run()
{
    // The default timer slack of 50 microseconds would stretch every short
    // sleep of the output loop.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);

    while (!m_terminate.load()) {
        if (m_state.load() != Playing) {
            // The predicate is checked under the mutex, so a wake-up sent
            // between the test above and the wait is not lost.
            std::unique_lock locker(m_wakeMutex);
            m_wake.wait(locker, [this] { return m_state.load() == Playing || m_terminate.load(); });
            continue;
        }
        output();
        QThread::usleep(static_cast<unsigned long>(m_interval.load()));
    }
    // The last thing the thread does, for waitForExit().
    const std::lock_guard locker(m_wakeMutex);
}

void AbstractOutputThread::waitForExit()
{
    wait();
    const std::lock_guard locker(m_wakeMutex);
}
