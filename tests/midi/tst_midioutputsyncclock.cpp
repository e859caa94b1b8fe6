#include "jackserver.h"
#include "manualclock.h"
#include "midioutputsyncclock.h"
#include "midisync.h"
#include "nanoclock.h"
#include "virtualmidiports.h"

#include <QTest>

#include <memory>

using Bytes = QList<QByteArray>;

namespace {

// 27720 beat ticks at tempo 120, rounded up to whole nanoseconds.
constexpr qint64 PulseNs = 20833334;

const QByteArray clockPulse("\xF8", 1);
const QByteArray start("\xFA", 1);
const QByteArray continueMessage("\xFB", 1);
const QByteArray stop("\xFC", 1);
const QByteArray songPositionZero("\xF2\x00\x00", 3);

Bytes pulses(int count)
{
    return Bytes(count, clockPulse);
}

// Makes the output call available without running the thread.
class ManualSyncClock : public MidiOutputSyncClock
{
public:
    using MidiOutputSyncClock::MidiOutputSyncClock;
    using MidiOutputSyncClock::output;
};

} // namespace

class TestMidiOutputSyncClock : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void failedSendPausesTheSender();

    void runSendsStartPulsesAndStop();
    void dueBacklogLeavesTenPulsesPerCall();
    void nothingIsSentWhileStoppedOrPaused();
    void resetRewindsTheSongPosition();

private:
    bool openAndConnect(MidiOutputSyncClock &sender, VirtualMidiSink &sink);

    std::unique_ptr<JackServer> m_server;
    std::unique_ptr<ManualClock> m_clock;
};

void TestMidiOutputSyncClock::initTestCase()
{
    m_clock = std::make_unique<ManualClock>();
    QString error;
    QVERIFY2(JackServer::startIfInstalled(&m_server, &error), qPrintable(error));
}

void TestMidiOutputSyncClock::init()
{
    m_clock->set(1000000000);
}

bool TestMidiOutputSyncClock::openAndConnect(MidiOutputSyncClock &sender, VirtualMidiSink &sink)
{
    return sender.open(sink.portName()) &&
           sink.awaitConnection([&sender](const QByteArray &bytes) { sender.sendRaw(bytes); });
}

void TestMidiOutputSyncClock::failedSendPausesTheSender()
{
    MidiSync sync(m_clock.get());
    MidiOutputSyncClock sender(&sync);
    QCOMPARE(sender.timingSource(), &sync);
    sender.play();
    sender.prepareClock();
    QCOMPARE(sender.state(), AbstractOutputThread::Paused);
    QVERIFY(!sender.isOpen());
}

void TestMidiOutputSyncClock::runSendsStartPulsesAndStop()
{
    REQUIRE_JACK(m_server);
    VirtualMidiSink sink;
    MidiSync sync(m_clock.get());
    MidiOutputSyncClock sender(&sync);
    QVERIFY(openAndConnect(sender, sink));
    sender.start(QThread::TimeCriticalPriority);

    // The first pulse goes when the run begins; the thread sleeps until
    // each next one is due.
    sender.prepareClock();
    sender.play();
    sync.setRunning(true);
    m_clock->advance(3 * PulseNs);
    QTRY_COMPARE_WITH_TIMEOUT(sink.count(), 5, 30000);
    QCOMPARE(sender.pulsesSent(), 3);

    // Whatever the thread has not sent yet when the pause comes, the pause
    // sends before stop.
    m_clock->advance(12 * PulseNs);
    sender.pauseAndWait();
    QCOMPARE(sender.state(), AbstractOutputThread::Paused);
    QCOMPARE(sender.pulsesSent(), 15);
    QTRY_COMPARE_WITH_TIMEOUT(sink.count(), 18, 30000);
    QCOMPARE(sink.messages(), Bytes{start} + pulses(16) + Bytes{stop});

    // The next run continues.
    sink.takeAll();
    sender.prepareClock();
    QTRY_COMPARE_WITH_TIMEOUT(sink.messages(), Bytes{continueMessage}, 30000);
}

// Each output call answers when the next pulse is due; a backlog leaves ten
// pulses a call, and the sender is then called again at once.
void TestMidiOutputSyncClock::dueBacklogLeavesTenPulsesPerCall()
{
    REQUIRE_JACK(m_server);
    VirtualMidiSink sink;
    MidiSync sync(m_clock.get());
    ManualSyncClock sender(&sync);
    QVERIFY(openAndConnect(sender, sink));
    sender.prepareClock();
    sender.play();
    QCOMPARE(sender.output(), NanoClock::Never);
    sync.setRunning(true);
    QCOMPARE(sender.output(), sync.timeOfBeatTick(MidiOutputSyncClock::BeatTicksPerPulse));
    m_clock->advance(25 * PulseNs);

    const qint64 now = m_clock->nowNs();
    for (qint64 expected : {10, 20}) {
        QCOMPARE(sender.output(), now);
        QCOMPARE(sender.pulsesSent(), expected);
    }
    QCOMPARE(sender.output(), sync.timeOfBeatTick(26 * MidiOutputSyncClock::BeatTicksPerPulse));
    QCOMPARE(sender.pulsesSent(), 25);
    QTRY_COMPARE_WITH_TIMEOUT(sink.count(), 27, 30000);
    QCOMPARE(sink.messages(), Bytes{start} + pulses(26));
}

void TestMidiOutputSyncClock::nothingIsSentWhileStoppedOrPaused()
{
    REQUIRE_JACK(m_server);
    VirtualMidiSink sink;
    MidiSync sync(m_clock.get());
    ManualSyncClock sender(&sync);
    QVERIFY(openAndConnect(sender, sink));
    sender.play();
    sync.setRunning(true);
    m_clock->advance(2 * PulseNs);
    sync.setRunning(false);
    m_clock->advance(5 * PulseNs);
    sender.output();
    QCOMPARE(sender.pulsesSent(), 0);

    sync.setRunning(true);
    sender.AbstractOutputThread::pauseAndWait();
    sender.output();
    QCOMPARE(sender.pulsesSent(), 0);
    sender.play();
    sender.output();
    QCOMPARE(sender.pulsesSent(), 2);
    QTRY_COMPARE_WITH_TIMEOUT(sink.messages(), pulses(2), 30000);
}

void TestMidiOutputSyncClock::resetRewindsTheSongPosition()
{
    REQUIRE_JACK(m_server);
    VirtualMidiSink sink;
    MidiSync sync(m_clock.get());
    ManualSyncClock sender(&sync);
    QVERIFY(openAndConnect(sender, sink));
    sync.setRunning(true);
    sender.play();
    m_clock->advance(4 * PulseNs);
    sender.output();
    QCOMPARE(sender.pulsesSent(), 4);

    sender.reset();
    QCOMPARE(sender.pulsesSent(), 0);
    sender.prepareClock();
    const Bytes expected = pulses(4) + Bytes{songPositionZero, start};
    QTRY_COMPARE_WITH_TIMEOUT(sink.count(), int(expected.size()), 30000);
    QCOMPARE(sink.messages(), expected);
}

QTEST_GUILESS_MAIN(TestMidiOutputSyncClock)
#include "tst_midioutputsyncclock.moc"
