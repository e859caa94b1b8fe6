#include "playbackclock.h"

#include <QTest>

// Positions over time, rate changes, stop and reset are tested through the
// timing source that owns the clock, in the MIDI tests.
class TestPlaybackClock : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void conversions_data();
    void conversions();
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

QTEST_GUILESS_MAIN(TestPlaybackClock)
#include "tst_playbackclock.moc"
