#include "voicegroup.h"

#include "abstractsync.h"
#include "nanoclock.h"

#include <algorithm>

VoiceGroup::VoiceGroup(QmdItemId groupId, PlaybackCore *core, QObject *parent)
    : QThread(parent), m_traversal(groupId, core)
{
}

VoiceGroup::~VoiceGroup()
{
    terminateSafely();
    waitForExit();
    const std::lock_guard locker(m_stepMutex);
    follow(nullptr);
}

void VoiceGroup::waitForExit()
{
    wait();
    const std::lock_guard locker(m_wakeMutex);
}

void VoiceGroup::startAndWait(QThread::Priority priority)
{
    start(priority);
    std::unique_lock locker(m_wakeMutex);
    m_wakeCondition.wait(locker, [this] { return m_started.load(); });
}

void VoiceGroup::setTimingSource(AbstractSync *source)
{
    const std::lock_guard locker(m_stepMutex);
    follow(source);
    wake();
}

void VoiceGroup::reset(qint64 tick)
{
    if (!isLive())
        return;
    const std::lock_guard locker(m_stepMutex);
    m_iterating = false;
    m_traversal.reset(tick);
    wake();
}

void VoiceGroup::continueIterating(qint64 startTick)
{
    if (!isLive())
        return;
    const std::lock_guard locker(m_stepMutex);
    if (!m_traversal.hasActiveVoices())
        m_traversal.reset(startTick);
    if (m_traversal.hasActiveVoices()) {
        m_iterating = true;
        wake();
    }
}

void VoiceGroup::pauseIterating()
{
    if (!isLive())
        return;
    const std::lock_guard locker(m_stepMutex);
    m_iterating = false;
    wake();
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
    m_traversal.retime();
    wake();
}

void VoiceGroup::run()
{
    std::unique_lock stepLocker(m_stepMutex);
    {
        const std::lock_guard locker(m_wakeMutex);
        m_started = true;
    }
    m_wakeCondition.notify_all();
    while (!m_terminate) {
        quint64 seen = 0;
        {
            const std::lock_guard locker(m_wakeMutex);
            seen = m_wakeSerial;
        }
        // A group whose voices have all ended stops by itself.
        if (m_iterating && !m_traversal.hasActiveVoices())
            m_iterating = false;
        const qint64 next = m_iterating ? step() : NanoClock::Never;
        const NanoClock *clock = m_timingSource ? m_timingSource->clock() : NanoClock::steady();
        stepLocker.unlock();
        {
            std::unique_lock locker(m_wakeMutex);
            clock->waitUntil(m_wakeCondition, locker, next, [&] { return m_wakeSerial != seen; });
        }
        stepLocker.lock();
    }
}

qint64 VoiceGroup::step()
{
    AbstractSync *source = m_timingSource;
    // A stopped source wakes the group when it starts.
    if (!source || !source->isRunning())
        return NanoClock::Never;
    const qint64 lookahead = m_lookaheadNs;
    m_traversal.processDue(source->tickPosition() + source->timeToTicks(lookahead));
    if (!m_traversal.hasActiveVoices()) {
        m_iterating = false;
        return NanoClock::Never;
    }
    const qint64 now = source->clock()->nowNs();
    qint64 next = now + MaxSleepNs;
    const qint64 arrival = m_traversal.nextArrival();
    if (arrival != VoiceTraversal::NoArrival) {
        const qint64 due = source->timeOfTick(arrival);
        if (due != NanoClock::Never)
            next = std::min(next, due - lookahead);
    }
    return next;
}

void VoiceGroup::follow(AbstractSync *source)
{
    if (source == m_timingSource)
        return;
    if (m_timingSource)
        m_timingSource->removeTimingListener(this);
    m_timingSource = source;
    if (source)
        source->addTimingListener(this);
}

void VoiceGroup::wake()
{
    // Counting under the wake mutex orders the change before the thread's
    // next look, so a wake-up is never lost between its look and its wait.
    {
        const std::lock_guard locker(m_wakeMutex);
        ++m_wakeSerial;
    }
    m_wakeCondition.notify_all();
}
