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

    const auto row = [](const char *name, uint tempo, uint numerator, uint denominator, qint64 ns,
                        qint64 ticks, qint64 beatTicks) {
        QTest::newRow(name) << tempo << numerator << denominator << ns << ticks << beatTicks;
    };
    row("120, 1/1: a principal is half a second", 120, 1, 1, 500000000, 665280, 665280);
    row("120, 2/1: a principal is a quarter second", 120, 2, 1, 250000000, 665280, 332640);
    row("120, 1/2: a beat is half a principal", 120, 1, 2, 1000000000, 665280, 1330560);
    row("90, 3/2: ten beats", 90, 3, 2, 6666666666, 9979199, 6652799);
    row("tempo 0 counts as 1", 0, 1, 1, 60000000000, 665280, 665280);
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
    const auto row = [](const char *name, uint numerator, uint denominator, qint64 beatOffset,
                        qint64 elapsed, qint64 tickOffset, qint64 ticks, qint64 beatTicks) {
        QTest::newRow(name) << numerator << denominator << beatOffset << elapsed << tickOffset
                            << ticks << beatTicks;
    };
    row("positive", 1, 1, 1000, 500000000, 1000, 666280, 666280);
    row("negative, smaller than the position", 1, 1, -1000, 500000000, -1000, 664280, 664280);
    row("negative, larger than the position floors at 0", 1, 1, -700000, 500000000, -700000, 0, 0);
    // At 2/3 the grid runs at 2/3 of the beat; a negative offset converts by
    // its magnitude: -1 beat tick is -floor(2/3) = 0 grid ticks, not -1.
    row("2/3, negative rounds toward zero", 2, 3, -1, 0, 0, 0, 0);
    row("2/3, converted by the ratio", 2, 3, -3000, 500000000, -2000, 441520, 662280);
    row("2/3, before the start floors at 0", 2, 3, -3000, 0, -2000, 0, 0);
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
