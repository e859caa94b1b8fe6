#include "abstractoutputthread.h"
#include "manualclock.h"
#include "midisync.h"

#include <QTest>

#include <mutex>

#include <atomic>
#include <sys/prctl.h>

namespace {

// Counts its output calls and acts on the thread at a chosen call, so that
// the tests know exactly where the thread stands without timing it.
class CountingThread : public AbstractOutputThread
{
public:
    enum Action { Nothing, Pause, Terminate };

    ~CountingThread() override
    {
        terminateSafely();
        waitForExit();
    }

    void actAt(int call, Action action)
    {
        m_actAt.store(call);
        m_action.store(action);
    }

    using AbstractOutputThread::wake;

    std::atomic<int> calls{0};
    std::atomic<long> timerSlack{-1};
    // What each output call answers: when to be called again.
    std::atomic<qint64> next{0};

    // The clock's time at every call.
    QList<qint64> times() const
    {
        const std::lock_guard locker(m_mutex);
        return QList<qint64>(m_times.cbegin(), m_times.cend());
    }

protected:
    qint64 output() override
    {
        timerSlack.store(prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0));
        {
            const std::lock_guard locker(m_mutex);
            m_times.append(clock()->nowNs());
        }
        const int call = ++calls;
        if (call == m_actAt.load()) {
            if (m_action.load() == Pause)
                pauseAndWait();
            else if (m_action.load() == Terminate)
                terminateSafely();
        }
        return next.load();
    }

private:
    mutable std::mutex m_mutex;
    QList<qint64> m_times;
    std::atomic<int> m_actAt{0};
    std::atomic<int> m_action{Nothing};
};

QStringList capturedMessages;

void captureMessage(QtMsgType, const QMessageLogContext &, const QString &message)
{
    capturedMessages.append(message);
}

} // namespace

class TestAbstractOutputThread : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void terminateWakesAnIdleThread();
    void pauseThenPlayResumes();
    void sleepsUntilItsTimeOrAWakeUp();
    void timeCriticalWithMinimalSlackSilently();
};

void TestAbstractOutputThread::terminateWakesAnIdleThread()
{
    CountingThread thread;
    thread.start();
    thread.terminateSafely();
    QVERIFY(thread.wait(60000));
    QCOMPARE(thread.calls.load(), 0);
}

void TestAbstractOutputThread::pauseThenPlayResumes()
{
    CountingThread thread;
    thread.actAt(3, CountingThread::Pause);
    thread.start();
    QCOMPARE(thread.state(), AbstractOutputThread::Idle);
    thread.play();
    // Pausing stops output after the current call.
    QTRY_COMPARE_WITH_TIMEOUT(thread.state(), AbstractOutputThread::Paused, 60000);
    QCOMPARE(thread.calls.load(), 3);
    thread.actAt(7, CountingThread::Terminate);
    thread.play();
    QVERIFY(thread.wait(60000));
    QCOMPARE(thread.calls.load(), 7);
}

void TestAbstractOutputThread::sleepsUntilItsTimeOrAWakeUp()
{
    ManualClock clock(5000);
    MidiSync source(&clock);
    CountingThread thread;
    thread.next.store(NanoClock::Never);
    thread.setTimingSource(&source);
    thread.start();
    thread.play();
    QTRY_COMPARE(thread.calls.load(), 1);
    // Only a wake-up makes a thread with nothing to wait for look again:
    // its own, or its timing source's at any change of timing.
    thread.wake();
    QTRY_COMPARE(thread.calls.load(), 2);
    source.setTempo(60);
    QTRY_COMPARE(thread.calls.load(), 3);

    // With a time to wait for, the next call comes once the clock is there.
    thread.next.store(9000);
    thread.wake();
    QTRY_COMPARE(thread.calls.load(), 4);
    thread.next.store(NanoClock::Never);
    clock.set(9000);
    QTRY_COMPARE(thread.calls.load(), 5);
    QCOMPARE(thread.times(), (QList<qint64>{5000, 5000, 5000, 5000, 9000}));
    thread.terminateSafely();
    thread.waitForExit();
    thread.setTimingSource(nullptr);
}

void TestAbstractOutputThread::timeCriticalWithMinimalSlackSilently()
{
    capturedMessages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(&captureMessage);
    {
        CountingThread thread;
        thread.actAt(2, CountingThread::Terminate);
        thread.start(QThread::TimeCriticalPriority);
        thread.play();
        QVERIFY(thread.wait(60000));
        QCOMPARE(thread.calls.load(), 2);
        // Output runs with minimal timer slack; the caller's thread keeps its own.
        QCOMPARE(thread.timerSlack.load(), 1L);
        QVERIFY(prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0) != 1);
    }
    qInstallMessageHandler(previous);
    QCOMPARE(capturedMessages, QStringList());
}

QTEST_GUILESS_MAIN(TestAbstractOutputThread)
#include "tst_abstractoutputthread.moc"
