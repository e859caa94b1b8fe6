#pragma once

#include "qmdglobal.h"
#include "timinglistener.h"
#include "voicetraversal.h"

#include <QThread>

#include <atomic>
#include <condition_variable>
#include <mutex>

class AbstractSync;
class PlaybackCore;

// Plays one voice group element in real time. While iterating, its thread
// fires every voice whose arrival tick lies within a lookahead window of a
// few milliseconds ahead of the timing source's position, in order of
// arrival, so that the instruments hold each note before it is due and send
// it at its time. Then it sleeps until the next voice comes within the
// window: the control slots, and the timing source when it starts, stops,
// jumps or changes its rate, wake it at once. Since everything that can
// bring the next firing nearer wakes it, the longest sleep (100 ms) is only
// a safety net; a tighter one would cost a sizeable share of the CPU that
// playing a single voice takes.
//
// The control slots are called on the owner's thread, which must hold no
// lock that a firing takes (the host's data lock). Each holds the step
// mutex, which the thread holds for a whole step: a slot waits for a step
// under way to finish, and once it returns no step of the old state begins.
class VoiceGroup : public QThread, private TimingListener
{
    Q_OBJECT

public:
    static constexpr qint64 DefaultLookaheadNs = 5000000;
    static constexpr qint64 MaxSleepNs = 100000000;

    VoiceGroup(QmdItemId groupId, PlaybackCore *core, QObject *parent = nullptr);
    ~VoiceGroup() override;

    QmdItemId groupId() const { return m_traversal.groupId(); }
    // Set once the thread runs.
    bool isStarted() const { return m_started; }
    bool isIterating() const { return m_iterating; }
    bool hasActiveVoices() const { return m_traversal.hasActiveVoices(); }
    // Starts the thread and returns once it has started.
    void startAndWait(QThread::Priority priority);
    // Waits until run() has returned, visibly to a thread checker (see
    // AbstractOutputThread::waitForExit()).
    void waitForExit();

    // How far ahead of the position voices fire. Longer hides more of a
    // late wake-up from the notes; edits then reach the notes later.
    qint64 lookaheadNs() const { return m_lookaheadNs; }
    void setLookaheadNs(qint64 ns) { m_lookaheadNs = ns; }

public Q_SLOTS:
    // The timing source whose position the voices follow; not owned. It
    // must outlive its use here, or be replaced before it goes.
    void setTimingSource(AbstractSync *source);
    // Stands the group at its start, one voice due at the tick, not
    // iterating.
    void reset(qint64 tick);
    // Iterates; a group without voices starts again at its node, its voice
    // due at startTick.
    void continueIterating(qint64 startTick);
    void pauseIterating();
    void terminateSafely();
    // Re-times the voices in flight after the network changed.
    void traverseFromPlaybackPos();

protected:
    void run() override;

private:
    void timingChanged() override { wake(); }
    bool isLive() const { return m_started && isRunning(); }
    // One step, with the step mutex held: fires what is due within the
    // window and answers when to look again.
    qint64 step();
    void follow(AbstractSync *source);
    void wake();

    std::atomic<bool> m_started{false};
    VoiceTraversal m_traversal;
    std::atomic<qint64> m_lookaheadNs{DefaultLookaheadNs};
    // The source followed; changed under the step mutex.
    AbstractSync *m_timingSource = nullptr;
    std::atomic<bool> m_iterating{false};
    std::atomic<bool> m_terminate{false};
    std::mutex m_stepMutex;
    std::condition_variable m_wakeCondition;
    std::mutex m_wakeMutex;
    // Counts wake-ups, under the wake mutex, so that one that comes during
    // a step is not lost.
    quint64 m_wakeSerial = 0;
};
