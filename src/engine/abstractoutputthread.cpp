#include "abstractoutputthread.h"

#include <sys/prctl.h>

AbstractOutputThread::AbstractOutputThread(QObject *parent) : QThread(parent) {}

AbstractOutputThread::~AbstractOutputThread()
{
    terminateSafely();
    wait();
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
    QMutexLocker locker(&m_wakeMutex);
    m_terminate.store(true);
    m_wake.wakeAll();
}

void AbstractOutputThread::setStateAndWake(State state)
{
    QMutexLocker locker(&m_wakeMutex);
    m_state.store(state);
    m_wake.wakeAll();
}

void AbstractOutputThread::run()
{
    // The default timer slack of 50 microseconds would stretch every short
    // sleep of the output loop.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);

    while (!m_terminate.load()) {
        if (m_state.load() != Playing) {
            QMutexLocker locker(&m_wakeMutex);
            // Checked again under the mutex: a wake-up sent between the test
            // above and the wait would otherwise be lost.
            if (m_state.load() != Playing && !m_terminate.load())
                m_wake.wait(&m_wakeMutex);
            continue;
        }
        output();
        QThread::usleep(static_cast<unsigned long>(m_interval.load()));
    }
}
