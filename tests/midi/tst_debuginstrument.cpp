#include "debuginstrument.h"
#include "manualclock.h"
#include "midisync.h"

#include <QTemporaryFile>
#include <QTest>

#include <cstdio>
#include <functional>
#include <unistd.h>

namespace {

// Runs fn with the standard output of the process going to a file, and
// returns what was written to it. Nothing may report to the test log while
// fn runs: the log goes to the standard output too.
QByteArray captureStandardOutput(const std::function<void()> &fn)
{
    QTemporaryFile file;
    if (!file.open())
        return "cannot capture";
    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    ::dup2(file.handle(), STDOUT_FILENO);
    fn();
    std::fflush(stdout);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    file.seek(0);
    return file.readAll();
}

QByteArray lines(qint32 type, qint64 tick, int pitch, int velocity)
{
    return QStringLiteral("DebugInstrument:\n"
                          "     - type      = %1\n"
                          "     - pos       = %2\n"
                          "     - pitch     = %3\n"
                          "     - velocity  = %4\n")
        .arg(type)
        .arg(tick)
        .arg(pitch)
        .arg(velocity)
        .toUtf8();
}

} // namespace

class TestDebugInstrument : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void printsTheEvent_data();
    void printsTheEvent();
    void printsDueEventsInQueueOrder();
};

void TestDebugInstrument::printsTheEvent_data()
{
    QTest::addColumn<InstrumentEvent>("event");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("note on") << InstrumentEvent::noteOn(665280, 60, 100)
                             << QByteArray("DebugInstrument:\n"
                                           "     - type      = 0\n"
                                           "     - pos       = 665280\n"
                                           "     - pitch     = 60\n"
                                           "     - velocity  = 100\n");
    QTest::newRow("note off") << InstrumentEvent::noteOff(5, 127, 0) << lines(1, 5, 127, 0);
    QTest::newRow("program change: program and bank MSB")
        << InstrumentEvent::programChange(12, 4, 2, 9) << lines(2, 12, 4, 2);
    QTest::newRow("user message: no data bytes")
        << InstrumentEvent::userMessage(4000000000000, QByteArray("\xF0\x01\xF7", 3))
        << lines(3, 4000000000000, 0, 0);
}

void TestDebugInstrument::printsTheEvent()
{
    QFETCH(InstrumentEvent, event);
    QFETCH(QByteArray, expected);

    DebugInstrument instrument(1);
    bool sent = false;
    const QByteArray printed = captureStandardOutput([&] { sent = instrument.sendNow(event); });
    QVERIFY(sent);
    QCOMPARE(printed, expected);
}

void TestDebugInstrument::printsDueEventsInQueueOrder()
{
    ManualClock clock;
    MidiSync sync(&clock);
    sync.setRunning(true);
    DebugInstrument instrument(1);
    instrument.setTimingSource(&sync);
    instrument.start();
    QVERIFY(instrument.enqueueNotePair(InstrumentEvent::noteOn(0, 64, 90),
                                       InstrumentEvent::noteOff(0, 64, 0)));
    QVERIFY(instrument.enqueue(InstrumentEvent::noteOn(1000000, 65, 1)));

    bool emptied = false;
    const QByteArray printed = captureStandardOutput([&] {
        instrument.play();
        emptied = QTest::qWaitFor([&] { return instrument.queuedCount() == 1; }, 30000);
        // The thread finishes the call that printed before it ends.
        instrument.terminateSafely();
        instrument.waitForExit();
    });
    QVERIFY(emptied);
    QCOMPARE(printed, lines(0, 0, 64, 90) + lines(1, 0, 64, 0));
}

QTEST_GUILESS_MAIN(TestDebugInstrument)
#include "tst_debuginstrument.moc"
