#pragma once

#include "timinglistener.h"

#include <QThread>

#include <atomic>
#include <condition_variable>
#include <mutex>

class AbstractSync;
class NanoClock;

// A thread that sends on time. While playing it makes its output call, which
// sends what has fallen due and answers when the next thing falls due, and
// sleeps until then; nothing wakes it in between unless something changes
// that time: an earlier event (wake()), the timing source starting,
// stopping, jumping or changing its rate (it listens to the source), a state
// change or termination. Threads are created idle and started at once by
// their owner; play() and pauseAndWait() then switch them on and off.
// Pausing only changes the state: an output call under way finishes first.
//
// play(), pauseAndWait(), terminateSafely(), wake() and setTimingSource()
// may be called from any thread; the output call runs on the thread itself.
//
// A subclass must stop the thread (terminateSafely(), waitForExit()) in its
// own destructor, because the output call is gone once it has been
// destroyed, and must leave its timing source (setTimingSource(nullptr))
// before the source is destroyed.
class AbstractOutputThread : public QThread, private TimingListener
{
    Q_OBJECT

public:
    enum State { Idle = 0, Paused = 1, Playing = 2 };

    explicit AbstractOutputThread(QObject *parent = nullptr);
    ~AbstractOutputThread() override;

    State state() const { return State(m_state.load()); }

    // The timing source whose positions the thread follows; not owned.
    AbstractSync *timingSource() const { return m_timingSource.load(); }
    void setTimingSource(AbstractSync *source);

public Q_SLOTS:
    virtual void play();
    virtual void pauseAndWait();
    virtual void terminateSafely();

public:
    // Waits until run() has returned. Use it instead of QThread::wait(),
    // which synchronises through Qt's own primitives that a thread checker
    // does not see: the handshake here shows it that everything the thread
    // did happened before this returns.
    void waitForExit();

protected:
    // Sends whatever has become due; called on the thread while playing.
    // Returns the clock time (NanoClock) at which to call it again: a time
    // not after now to call it at once, NanoClock::Never when nothing is
    // waiting to be sent.
    virtual qint64 output() = 0;

    // Makes the thread look again at once: something now falls due earlier
    // than it was sleeping for.
    void wake();
    // The timing source's clock, or the steady clock without a source.
    const NanoClock *clock() const;

    void run() override;

private:
    void timingChanged() override { wake(); }
    void setStateAndWake(State state);

    std::atomic<int> m_state{Idle};
    std::atomic<bool> m_terminate{false};
    std::atomic<AbstractSync *> m_timingSource{nullptr};
    // Standard primitives rather than QMutex and QWaitCondition: the wait
    // releases and retakes the mutex inside the library, where a thread
    // checker cannot see it, and would then take the mutex for held twice.
    std::mutex m_wakeMutex;
    std::condition_variable m_wake;
    // Counts wake-ups, under the wake mutex: one that comes while an output
    // call works out its next time is not lost.
    quint64 m_wakeSerial = 0;
    // Serialises changes of the timing source.
    std::mutex m_sourceMutex;
};
