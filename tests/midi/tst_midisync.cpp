#include "manualclock.h"
#include "midisync.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

constexpr qint64 Second = 1000000000;

MidiMessage message(std::initializer_list<int> values, qint64 arrivalNs, double timeStamp = 0)
{
    MidiMessage result;
    for (int value : values)
        result.bytes.append(char(value));
    result.arrivalNs = arrivalNs;
    result.timeStamp = timeStamp;
    return result;
}

MidiMessage pulse(qint64 arrivalNs, double timeStamp = 0)
{
    return message({0xF8}, arrivalNs, timeStamp);
}

// Feeds clock pulses one message at a time, as the port delivers them:
// count pulses from `first`, one every `interval`, every other one `jitter`
// late.
void feedPulses(MidiSync &sync, qint64 first, qint64 interval, qint64 jitter, int count)
{
    for (int i = 0; i < count; ++i)
        sync.receiveClock({pulse(first + i * interval + (i % 2) * jitter)});
}

} // namespace

class TestMidiSync : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void positionFollowsTheClock();
    void measuredTempo_data();
    void measuredTempo();
    void startWaitsForSyncOutputs();

private:
    // Starts the sync from received clock: start, then a first pulse at t.
    void startFromClock(MidiSync &sync, qint64 t);

    std::unique_ptr<ManualClock> m_clock;
};

void TestMidiSync::init()
{
    m_clock = std::make_unique<ManualClock>(100 * Second);
}

void TestMidiSync::cleanup()
{
    m_clock.reset();
}

void TestMidiSync::startFromClock(MidiSync &sync, qint64 t)
{
    sync.receiveClock({message({0xFA}, t - 5000000)});
    sync.receiveClock({pulse(t)});
}

// The position moves while the source runs and stands while it stops; a
// change of rate changes only how fast it moves on. At tempo 120 a principal
// (665280 ticks) lasts half a second.
void TestMidiSync::positionFollowsTheClock()
{
    MidiSync sync(m_clock.get());
    sync.setRunning(true);
    m_clock->advance(Second / 4);
    QCOMPARE(sync.tickPosition(), 332640);
    sync.setTempo(60);
    QCOMPARE(sync.tickPosition(), 332640);
    m_clock->advance(Second);
    QCOMPARE(sync.tickPosition(), 997920);
    QCOMPARE(sync.timePosition(), Second + Second / 4);

    sync.setRunning(false);
    m_clock->advance(Second);
    QCOMPARE(sync.tickPosition(), 997920);
    sync.setRunning(true);
    m_clock->advance(Second / 2);
    QCOMPARE(sync.tickPosition(), 1330560);

    sync.reset();
    QVERIFY(!sync.isRunning());
    QCOMPARE(sync.tickPosition(), 0);
    QCOMPARE(sync.timePosition(), 0);
    QCOMPARE(sync.tempo(), 60u);
}

void TestMidiSync::measuredTempo_data()
{
    QTest::addColumn<qint64>("interval");
    QTest::addColumn<qint64>("jitter");
    QTest::addColumn<int>("pulses");
    QTest::addColumn<uint>("tempo");

    // The library gives no time stamp: arrival times count.
    QTest::newRow("48 pulses per second: 120") << qint64(20833333) << qint64(0) << 150 << 120u;
    // Each pulse alone says 119 or 121; the window of pulses says 120.
    QTest::newRow("48 pulses per second, unevenly: 120")
        << qint64(20833333) << qint64(180000) << 151 << 120u;
    QTest::newRow("500 pulses per second: 1250, applied as 999")
        << qint64(2000000) << qint64(0) << 1000 << 999u;
    QTest::newRow("a pulse every 5 seconds: 0.5, applied as 1")
        << qint64(5000000000) << qint64(0) << 3 << 1u;
}

void TestMidiSync::measuredTempo()
{
    QFETCH(qint64, interval);
    QFETCH(qint64, jitter);
    QFETCH(int, pulses);
    QFETCH(uint, tempo);

    MidiSync sync(m_clock.get());
    sync.setTempo(100);
    QSignalSpy changed(&sync, &AbstractSync::tempoChanged);
    const qint64 t0 = m_clock->nowNs();
    startFromClock(sync, t0);
    feedPulses(sync, t0 + interval, interval, jitter, pulses);
    QCOMPARE(sync.tempo(), tempo);
    QVERIFY(!changed.isEmpty());
    QCOMPARE(changed.last().at(0).toUInt(), tempo);
    // A steady clock is measured right from its second pulse.
    if (jitter == 0)
        QCOMPARE(changed.count(), 1);
}

// A sync output gets time to hear the start before the run begins; a port
// that does not open stays a sync output, closed.
void TestMidiSync::startWaitsForSyncOutputs()
{
    const qint64 delay = MidiSync::StartDelayNs;
    MidiSync sync(m_clock.get());
    sync.setSyncPorts({}, {QStringLiteral("nowhere:no port")});
    // The run begins after the delay; until then the position stands.
    const qint64 t0 = m_clock->nowNs();
    sync.setRunning(true);
    QVERIFY(sync.isRunning());
    QCOMPARE(sync.timeOfTick(0), t0 + delay);
    m_clock->advance(delay);
    QCOMPARE(sync.timePosition(), 0);
    m_clock->advance(Second / 2);
    QCOMPARE(sync.timePosition(), Second / 2);
}

QTEST_GUILESS_MAIN(TestMidiSync)
#include "tst_midisync.moc"
