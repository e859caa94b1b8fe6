#include "playbackclock.h"

#include <QTest>

// Positions over time, rate changes, stop and reset are tested through the
// timing source that owns the clock (tests/midi/tst_midisync.cpp).
class TestPlaybackClock : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void conversions_data();
    void conversions();
    void offsetCorrectsPositions_data();
    void offsetCorrectsPositions();
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

QTEST_GUILESS_MAIN(TestPlaybackClock)
#include "tst_playbackclock.moc"
