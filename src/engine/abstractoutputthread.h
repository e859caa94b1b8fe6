#pragma once

#include <QThread>

#include <atomic>
#include <condition_variable>
#include <mutex>

class AbstractSync;

// A thread that sends on time: while playing it makes its output call, sleeps
// a short interval and starts again; otherwise it waits to be woken. Threads
// are created idle and started at once by their owner; play() and
// pauseAndWait() then switch them on and off. Pausing only changes the state:
// the thread notices it when its current output call and sleep are over.
//
// A subclass must stop the thread (terminateSafely(), waitForExit()) in its own
// destructor, because the output call is gone once it has been destroyed.
class AbstractOutputThread : public QThread
{
    Q_OBJECT

public:
    enum State { Idle = 0, Paused = 1, Playing = 2 };

    static constexpr int DefaultInterval = 500;

    explicit AbstractOutputThread(QObject *parent = nullptr);
    ~AbstractOutputThread() override;

    State state() const { return State(m_state.load()); }

    // Microseconds slept between two output calls.
    int interval() const { return m_interval.load(); }
    void setInterval(int microseconds) { m_interval.store(microseconds); }

    // The timing source whose positions the thread follows; not owned.
    AbstractSync *timingSource() const { return m_timingSource.load(); }
    void setTimingSource(AbstractSync *source) { m_timingSource.store(source); }

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
    virtual void output() = 0;

    void run() override;

private:
    void setStateAndWake(State state);

    std::atomic<int> m_state{Idle};
    std::atomic<bool> m_terminate{false};
    std::atomic<int> m_interval{DefaultInterval};
    std::atomic<AbstractSync *> m_timingSource{nullptr};
    // Standard primitives rather than QMutex and QWaitCondition: the wait
    // releases and retakes the mutex inside the library, where a thread
    // checker cannot see it, and would then take the mutex for held twice.
    std::mutex m_wakeMutex;
    std::condition_variable m_wake;
};
