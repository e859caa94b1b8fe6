#include "playbackclock.h"

#include <QTest>

class TestPlaybackClock : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void conversions_data();
    void conversions();
    void positionsFollowElapsedTime_data();
    void positionsFollowElapsedTime();
    void rateChangeKeepsPosition_data();
    void rateChangeKeepsPosition();
    void offsetCorrectsPositions_data();
    void offsetCorrectsPositions();
    void stoppedClockKeepsItsPosition();
    void startResumesFromTheStoppedPosition();
    void resetReturnsToTheStart();
};

void TestPlaybackClock::conversions_data()
{
    QTest::addColumn<uint>("tempo");
    QTest::addColumn<uint>("numerator");
    QTest::addColumn<uint>("denominator");
    QTest::addColumn<qint64>("ns");
    QTest::addColumn<qint64>("ticks");
    QTest::addColumn<qint64>("beatTicks");

    QTest::newRow("120, 1/1: a principal is half a second")
        << 120u << 1u << 1u << qint64(500000000) << qint64(665280) << qint64(665280);
    QTest::newRow("120, 2/1: a principal is a quarter second")
        << 120u << 2u << 1u << qint64(250000000) << qint64(665280) << qint64(332640);
    QTest::newRow("120, 1/2: a beat is half a principal")
        << 120u << 1u << 2u << qint64(1000000000) << qint64(665280) << qint64(1330560);
    QTest::newRow("60, 1/1: a second per beat")
        << 60u << 1u << 1u << qint64(1000000000) << qint64(665280) << qint64(665280);
    QTest::newRow("90, 3/2: ten beats")
        << 90u << 3u << 2u << qint64(6666666666) << qint64(9979199) << qint64(6652799);
    QTest::newRow("tempo 0 counts as 1")
        << 0u << 1u << 1u << qint64(60000000000) << qint64(665280) << qint64(665280);
}

void TestPlaybackClock::conversions()
{
    QFETCH(uint, tempo);
    QFETCH(uint, numerator);
    QFETCH(uint, denominator);
    QFETCH(qint64, ns);
    QFETCH(qint64, ticks);
    QFETCH(qint64, beatTicks);

    PlaybackClock clock;
    clock.setTempo(tempo, 0);
    clock.setNumerator(numerator, 0);
    clock.setDenominator(denominator, 0);

    QCOMPARE(clock.timeToTicks(ns), ticks);
    QCOMPARE(clock.timeToBeatTicks(ns), beatTicks);
    if (ticks % PlaybackClock::TicksPerPrincipal == 0) {
        QCOMPARE(clock.ticksToTime(ticks), ns);
        QCOMPARE(clock.beatTicksToTime(beatTicks), ns);
        QCOMPARE(clock.ticksToBeatTicks(ticks), beatTicks);
        QCOMPARE(clock.beatTicksToTicks(beatTicks), ticks);
    }
}

void TestPlaybackClock::positionsFollowElapsedTime_data()
{
    QTest::addColumn<qint64>("startTime");
    QTest::addColumn<qint64>("now");
    QTest::addColumn<qint64>("time");
    QTest::addColumn<qint64>("ticks");

    QTest::newRow("at the start") << qint64(7000) << qint64(7000) << qint64(0) << qint64(0);
    QTest::newRow("one principal")
        << qint64(7000) << qint64(500007000) << qint64(500000000) << qint64(665280);
    QTest::newRow("one tick is 751.56 ns: 751 ns is not yet a tick")
        << qint64(0) << qint64(751) << qint64(751) << qint64(0);
    QTest::newRow("752 ns is one tick") << qint64(0) << qint64(752) << qint64(752) << qint64(1);
}

void TestPlaybackClock::positionsFollowElapsedTime()
{
    QFETCH(qint64, startTime);
    QFETCH(qint64, now);
    QFETCH(qint64, time);
    QFETCH(qint64, ticks);

    PlaybackClock clock;
    clock.start(startTime);
    QVERIFY(clock.isRunning());
    QCOMPARE(clock.timePosition(now), time);
    QCOMPARE(clock.tickPosition(now), ticks);
    QCOMPARE(clock.beatPosition(now), ticks);
}

void TestPlaybackClock::rateChangeKeepsPosition_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<uint>("value");
    QTest::addColumn<qint64>("ticksInNextSecond");
    QTest::addColumn<qint64>("beatTicksInNextSecond");

    QTest::newRow("tempo 120 to 60") << "tempo" << 60u << qint64(665280) << qint64(665280);
    QTest::newRow("tempo 120 to 240") << "tempo" << 240u << qint64(2661120) << qint64(2661120);
    QTest::newRow("numerator 1 to 2") << "numerator" << 2u << qint64(2661120) << qint64(1330560);
    QTest::newRow("denominator 1 to 4") << "denominator" << 4u << qint64(332640) << qint64(1330560);
}

void TestPlaybackClock::rateChangeKeepsPosition()
{
    QFETCH(QString, what);
    QFETCH(uint, value);
    QFETCH(qint64, ticksInNextSecond);
    QFETCH(qint64, beatTicksInNextSecond);

    PlaybackClock clock;
    clock.start(1000);
    const qint64 changeAt = 1000 + 750000000; // a beat and a half at 120
    const qint64 ticks = clock.tickPosition(changeAt);
    const qint64 beatTicks = clock.beatPosition(changeAt);
    const qint64 time = clock.timePosition(changeAt);
    QCOMPARE(ticks, 997920);

    bool changed = false;
    if (what == "tempo")
        changed = clock.setTempo(value, changeAt);
    else if (what == "numerator")
        changed = clock.setNumerator(value, changeAt);
    else
        changed = clock.setDenominator(value, changeAt);
    QVERIFY(changed);

    QCOMPARE(clock.tickPosition(changeAt), ticks);
    QCOMPARE(clock.beatPosition(changeAt), beatTicks);
    QCOMPARE(clock.timePosition(changeAt), time);
    QCOMPARE(clock.tickPosition(changeAt + 1000000000), ticks + ticksInNextSecond);
    QCOMPARE(clock.beatPosition(changeAt + 1000000000), beatTicks + beatTicksInNextSecond);
    QCOMPARE(clock.timePosition(changeAt + 1000000000), time + 1000000000);

    // Setting the same value again is no change.
    if (what == "tempo")
        QVERIFY(!clock.setTempo(value, changeAt));
    else if (what == "numerator")
        QVERIFY(!clock.setNumerator(value, changeAt));
    else
        QVERIFY(!clock.setDenominator(value, changeAt));
}

void TestPlaybackClock::offsetCorrectsPositions_data()
{
    QTest::addColumn<uint>("numerator");
    QTest::addColumn<uint>("denominator");
    QTest::addColumn<qint64>("beatOffset");
    QTest::addColumn<qint64>("elapsed");
    QTest::addColumn<qint64>("tickOffset");
    QTest::addColumn<qint64>("ticks");
    QTest::addColumn<qint64>("beatTicks");

    // Half a second at 120 is 665280 ticks of both kinds at 1/1.
    QTest::newRow("positive") << 1u << 1u << qint64(1000) << qint64(500000000) << qint64(1000)
                              << qint64(666280) << qint64(666280);
    QTest::newRow("negative, smaller than the position")
        << 1u << 1u << qint64(-1000) << qint64(500000000) << qint64(-1000) << qint64(664280)
        << qint64(664280);
    QTest::newRow("negative, larger than the position floors at 0")
        << 1u << 1u << qint64(-700000) << qint64(500000000) << qint64(-700000) << qint64(0)
        << qint64(0);
    QTest::newRow("negative, equal to the position")
        << 1u << 1u << qint64(-665280) << qint64(500000000) << qint64(-665280) << qint64(0)
        << qint64(0);
    // At 2/3 the grid runs at 2/3 of the beat; a negative offset converts by
    // its magnitude: -1 beat tick is -floor(2/3) = 0 grid ticks, not -1.
    QTest::newRow("2/3, negative rounds toward zero")
        << 2u << 3u << qint64(-1) << qint64(0) << qint64(0) << qint64(0) << qint64(0);
    QTest::newRow("2/3, converted by the ratio")
        << 2u << 3u << qint64(-3000) << qint64(500000000) << qint64(-2000) << qint64(441520)
        << qint64(662280);
    QTest::newRow("2/3, before the start floors at 0")
        << 2u << 3u << qint64(-3000) << qint64(0) << qint64(-2000) << qint64(0) << qint64(0);
}

void TestPlaybackClock::offsetCorrectsPositions()
{
    QFETCH(uint, numerator);
    QFETCH(uint, denominator);
    QFETCH(qint64, beatOffset);
    QFETCH(qint64, elapsed);
    QFETCH(qint64, tickOffset);
    QFETCH(qint64, ticks);
    QFETCH(qint64, beatTicks);

    PlaybackClock clock;
    clock.setNumerator(numerator, 0);
    clock.setDenominator(denominator, 0);
    clock.setBeatOffset(beatOffset);
    QCOMPARE(clock.tickOffset(), tickOffset);
    clock.start(0);
    QCOMPARE(clock.tickPosition(elapsed), ticks);
    QCOMPARE(clock.beatPosition(elapsed), beatTicks);
    QCOMPARE(clock.uncorrectedBeatPosition(elapsed), clock.timeToBeatTicks(elapsed));
}

void TestPlaybackClock::stoppedClockKeepsItsPosition()
{
    PlaybackClock clock;
    clock.start(100);
    clock.stop(100 + 500000000);
    QVERIFY(!clock.isRunning());
    for (qint64 now : {qint64(0), qint64(500000100), qint64(900000000000)}) {
        QCOMPARE(clock.tickPosition(now), 665280);
        QCOMPARE(clock.beatPosition(now), 665280);
        QCOMPARE(clock.timePosition(now), 500000000);
    }
    // Stopping again changes nothing.
    clock.stop(100 + 900000000);
    QCOMPARE(clock.tickPosition(0), 665280);
}

void TestPlaybackClock::startResumesFromTheStoppedPosition()
{
    PlaybackClock clock;
    clock.start(0);
    clock.stop(500000000);
    clock.start(2000000000);
    QCOMPARE(clock.tickPosition(2000000000), 665280);
    QCOMPARE(clock.tickPosition(2500000000), 2 * 665280);
    QCOMPARE(clock.timePosition(2500000000), 1000000000);
}

void TestPlaybackClock::resetReturnsToTheStart()
{
    PlaybackClock clock;
    clock.setTempo(90, 0);
    clock.start(0);
    clock.setBeatOffset(5000);
    clock.reset();
    QVERIFY(!clock.isRunning());
    QCOMPARE(clock.tickPosition(1000000000), 0);
    QCOMPARE(clock.beatPosition(1000000000), 0);
    QCOMPARE(clock.timePosition(1000000000), 0);
    QCOMPARE(clock.beatOffset(), 0);
    QCOMPARE(clock.tickOffset(), 0);
    QCOMPARE(clock.startTime(), 0);
    // The tempo is the document's, not part of the position.
    QCOMPARE(clock.tempo(), 90u);
}

QTEST_GUILESS_MAIN(TestPlaybackClock)
#include "tst_playbackclock.moc"
