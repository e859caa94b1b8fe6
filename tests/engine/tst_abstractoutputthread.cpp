#include "abstractoutputthread.h"

#include <QTest>

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

    std::atomic<int> calls{0};
    std::atomic<long> timerSlack{-1};

protected:
    void output() override
    {
        timerSlack.store(prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0));
        const int call = ++calls;
        if (call != m_actAt.load())
            return;
        if (m_action.load() == Pause)
            pauseAndWait();
        else if (m_action.load() == Terminate)
            terminateSafely();
    }

private:
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
    QCOMPARE(thread.state(), AbstractOutputThread::Playing);
    // Pausing stops output after the current call.
    QTRY_COMPARE_WITH_TIMEOUT(thread.state(), AbstractOutputThread::Paused, 60000);
    QCOMPARE(thread.calls.load(), 3);
    thread.actAt(7, CountingThread::Terminate);
    thread.play();
    QVERIFY(thread.wait(60000));
    QCOMPARE(thread.calls.load(), 7);
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
