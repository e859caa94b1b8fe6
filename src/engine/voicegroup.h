#pragma once

#include "qmdglobal.h"
#include "voicetraversal.h"

#include <QThread>

#include <atomic>
#include <condition_variable>
#include <mutex>

class AbstractSync;
class VoiceHost;

// Plays one voice group element in real time: a thread that, while
// iterating, steps every 10 milliseconds and fires every voice whose arrival
// tick the timing source has passed, several at once on the global thread
// pool. The control slots run on the owner's thread; each holds the step
// mutex, which a step only tries to take, so a slot that waits for the
// thread to pause cannot deadlock with it.
class VoiceGroup : public QThread
{
    Q_OBJECT

public:
    VoiceGroup(QmdItemId groupId, VoiceHost *host, QObject *parent = nullptr);
    ~VoiceGroup() override;

    QmdItemId groupId() const { return m_traversal.groupId(); }
    // Set once the thread runs and has fetched its timing source.
    bool isStarted() const { return m_started; }
    bool isIterating() const { return m_iterating; }
    bool hasActiveVoices() const { return m_traversal.hasActiveVoices(); }
    // Starts the thread and returns once it has started.
    void startAndWait(QThread::Priority priority);
    // Waits until run() has returned, visibly to a thread checker (see
    // AbstractOutputThread::waitForExit()).
    void waitForExit();

public Q_SLOTS:
    // Fetches the timing source anew from the host.
    void syncSync();
    // Stands the group at its start with one voice, not iterating.
    void reset();
    void continueIterating();
    void pauseIterating();
    void gotoStart();
    void terminateSafely();
    // Re-times the voices in flight after the network changed.
    void traverseFromPlaybackPos();

protected:
    void run() override;

private:
    bool isLive() const { return m_started && isRunning(); }
    void step();
    void pauseAndWait();
    void resetLocked();
    void continueLocked();
    void wake();

    std::atomic<bool> m_started{false};
    VoiceHost *const m_host;
    VoiceTraversal m_traversal;
    std::atomic<AbstractSync *> m_timingSource{nullptr};
    std::condition_variable m_wakeCondition;
    std::mutex m_wakeMutex;
    std::atomic<bool> m_iterating{false};
    std::atomic<bool> m_busy{false};
    std::atomic<bool> m_terminate{false};
    std::mutex m_stepMutex;
};
