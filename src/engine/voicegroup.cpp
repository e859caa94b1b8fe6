#include "voicegroup.h"

#include "abstractsync.h"
#include "voicehost.h"

#include <QtConcurrent/QtConcurrentMap>

#include <chrono>
#include <thread>

namespace {

// The step rhythm is only polling: every event is stamped with the exact
// arrival tick, so it does not need the playback clock.
void sleepUs(int us)
{
    std::this_thread::sleep_for(std::chrono::microseconds(us));
}

} // namespace

VoiceGroup::VoiceGroup(QmdItemId groupId, VoiceHost *host, QObject *parent)
    : QThread(parent), m_host(host), m_traversal(groupId, host)
{
}

VoiceGroup::~VoiceGroup()
{
    terminateSafely();
    waitForExit();
}

void VoiceGroup::waitForExit()
{
    wait();
    const std::lock_guard locker(m_wakeMutex);
}

void VoiceGroup::startAndWait(QThread::Priority priority)
{
    start(priority);
    while (!m_started)
        sleepUs(50);
}

void VoiceGroup::syncSync()
{
    if (!isLive())
        return;
    const std::lock_guard locker(m_stepMutex);
    const bool wasIterating = m_iterating;
    if (m_busy)
        pauseAndWait();
    m_timingSource = m_host->timingSource();
    if (wasIterating)
        continueLocked();
}

void VoiceGroup::reset()
{
    if (!isLive())
        return;
    const std::lock_guard locker(m_stepMutex);
    resetLocked();
}

void VoiceGroup::continueIterating()
{
    if (!isLive())
        return;
    const std::lock_guard locker(m_stepMutex);
    continueLocked();
}

void VoiceGroup::pauseIterating()
{
    if (!isLive())
        return;
    const std::lock_guard locker(m_stepMutex);
    m_iterating = false;
    wake();
}

void VoiceGroup::gotoStart()
{
    const std::lock_guard locker(m_stepMutex);
    const bool wasIterating = m_iterating;
    resetLocked();
    if (wasIterating)
        continueLocked();
}

void VoiceGroup::terminateSafely()
{
    m_terminate = true;
    wake();
}

void VoiceGroup::traverseFromPlaybackPos()
{
    if (!isLive())
        return;
    const std::lock_guard locker(m_stepMutex);
    const bool wasIterating = m_iterating;
    if (m_busy)
        pauseAndWait();
    m_traversal.retime();
    if (wasIterating)
        continueLocked();
}

void VoiceGroup::run()
{
    {
        const std::lock_guard locker(m_stepMutex);
        m_timingSource = m_host->timingSource();
    }
    m_started = true;
    while (!m_terminate) {
        // A group whose voices have all ended stops by itself; the check
        // waits for a moment when no control slot holds the step mutex.
        if (m_stepMutex.try_lock()) {
            if (!m_traversal.hasActiveVoices())
                m_iterating = false;
            m_stepMutex.unlock();
        }
        if (m_iterating) {
            m_busy = true;
            step();
            sleepUs(10000);
        } else {
            m_busy = false;
            std::unique_lock locker(m_wakeMutex);
            m_wakeCondition.wait(locker, [this] { return m_terminate || m_iterating; });
        }
    }
    m_busy = false;
    // The last thing the thread does, for waitForExit().
    const std::lock_guard locker(m_wakeMutex);
}

void VoiceGroup::step()
{
    while (!m_stepMutex.try_lock()) {
        if (m_terminate || !m_iterating)
            return;
        sleepUs(50);
    }
    const std::lock_guard locker(m_stepMutex, std::adopt_lock);
    AbstractSync *source = m_timingSource;
    if (!source || !source->isRunning())
        return;
    const qint64 now = source->tickPosition();
    const QList<Voice *> voices = m_traversal.activeVoices();
    if (voices.size() == 1) {
        m_traversal.process(voices.first(), now);
    } else {
        QtConcurrent::blockingMap(voices,
                                  [this, now](Voice *voice) { m_traversal.process(voice, now); });
    }
}

void VoiceGroup::pauseAndWait()
{
    m_iterating = false;
    wake();
    while (m_busy && !m_iterating)
        sleepUs(50);
}

void VoiceGroup::resetLocked()
{
    if (m_busy)
        pauseAndWait();
    AbstractSync *source = m_timingSource;
    m_traversal.reset(source ? source->tickPosition() : 0);
}

void VoiceGroup::continueLocked()
{
    if (!m_traversal.hasActiveVoices())
        resetLocked();
    if (m_traversal.hasActiveVoices()) {
        m_iterating = true;
        wake();
    }
}

void VoiceGroup::wake()
{
    // Taking the wake mutex orders the flag change before the thread's
    // check, so a wake-up is never lost between the check and the wait.
    {
        const std::lock_guard locker(m_wakeMutex);
    }
    m_wakeCondition.notify_all();
}
