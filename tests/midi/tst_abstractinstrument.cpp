#include "abstractinstrument.h"
#include "manualclock.h"
#include "midisync.h"

#include <QTest>

#include <atomic>
#include <memory>
#include <mutex>

using Events = QList<InstrumentEvent>;
// Each inner list is one call: two events a note pair, one a single event.
using Calls = QList<Events>;

Q_DECLARE_METATYPE(Calls)

namespace {

// Keeps what it is given to send, and counts the turns of its output thread
// and keeps the time each asked to be woken at, so that a test can tell that
// the thread has looked at its queue again, and what it then waits for.
class RecordingInstrument : public AbstractInstrument
{
public:
    using AbstractInstrument::AbstractInstrument;

    ~RecordingInstrument() override
    {
        terminateSafely();
        waitForExit();
    }

    QString typeName() const override { return QStringLiteral("recording"); }
    QString displayName() const override { return QStringLiteral("Recording"); }

    Events sent() const
    {
        // An unshared copy: the output thread appends to the list.
        const std::lock_guard locker(m_mutex);
        return Events(m_sent.cbegin(), m_sent.cend());
    }
    int turns() const { return m_turns.load(); }
    // The clock time the latest output call asked to be called again at.
    qint64 deadline() const { return m_deadline.load(); }
    // Wakes the thread and returns once it has looked at its queue again.
    bool awaitTurnAfterWake()
    {
        const int until = turns() + 1;
        wake();
        return QTest::qWaitFor([&] { return turns() >= until; }, 30000);
    }
    bool awaitTurns(int count) const
    {
        return QTest::qWaitFor([&] { return turns() >= count; }, 30000);
    }

protected:
    qint64 output() override
    {
        const qint64 next = AbstractInstrument::output();
        m_deadline.store(next);
        ++m_turns;
        return next;
    }
    void applyInstrumentData(const QStringList &) override {}
    bool sendBatch(const Events &batch) override
    {
        const std::lock_guard locker(m_mutex);
        m_sent += batch;
        return true;
    }

private:
    mutable std::mutex m_mutex;
    Events m_sent;
    std::atomic<int> m_turns{0};
    std::atomic<qint64> m_deadline{0};
};

// An instrument following a timing source on a clock that moves only when
// the test moves it.
struct Playing
{
    Playing()
    {
        sync.setRunning(true);
        instrument.setTimingSource(&sync);
        instrument.start();
    }
    // Moves the clock on until the tick position has passed the tick.
    void reach(qint64 tick)
    {
        while (sync.tickPosition() < tick)
            clock.advance(sync.ticksToTime(tick - sync.tickPosition()) + 1);
    }

    ManualClock clock;
    MidiSync sync{&clock};
    RecordingInstrument instrument{7};
};

InstrumentEvent noteOn(qint64 tick, int note)
{
    return InstrumentEvent::noteOn(tick, quint8(note), 100);
}

InstrumentEvent noteOff(qint64 tick, int note)
{
    return InstrumentEvent::noteOff(tick, quint8(note), 0);
}

InstrumentEvent user(qint64 tick, char byte)
{
    return InstrumentEvent::userMessage(tick, QByteArray(1, byte));
}

void fill(AbstractInstrument &instrument, int count)
{
    for (int i = 0; i < count; ++i)
        QVERIFY(instrument.enqueue(user(i, char(0xF8))));
}

} // namespace

class TestAbstractInstrument : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void leavingOrder_data();
    void leavingOrder();
    void onlyDueEventsLeave();
    void sleepsUntilTheFirstEventIsDue();
    void admission_data();
    void admission();
};

void TestAbstractInstrument::leavingOrder_data()
{
    QTest::addColumn<Calls>("calls");
    QTest::addColumn<Events>("expected");

    QTest::newRow("off queued earlier leaves before on queued later, same tick")
        << Calls{{noteOn(0, 60), noteOff(100, 60)}, {noteOn(100, 62), noteOff(200, 62)}}
        << Events{noteOn(0, 60), noteOff(100, 60), noteOn(100, 62), noteOff(200, 62)};
    QTest::newRow("equal ticks keep arrival order across calls")
        << Calls{{user(50, 1)}, {user(50, 2)}, {noteOn(50, 61), noteOff(50, 61)}, {user(50, 3)}}
        << Events{user(50, 1), user(50, 2), noteOn(50, 61), noteOff(50, 61), user(50, 3)};
}

void TestAbstractInstrument::leavingOrder()
{
    QFETCH(Calls, calls);
    QFETCH(Events, expected);

    Playing playing;
    RecordingInstrument &instrument = playing.instrument;
    for (const Events &call : calls) {
        if (call.size() == 2)
            QVERIFY(instrument.enqueueNotePair(call.at(0), call.at(1)));
        else
            QVERIFY(instrument.enqueue(call.at(0)));
    }
    playing.reach(1000);
    instrument.play();
    QVERIFY(QTest::qWaitFor([&] { return instrument.sent().size() >= expected.size(); }, 30000));
    QCOMPARE(instrument.sent(), expected);
    QCOMPARE(instrument.queuedCount(), 0);
}

void TestAbstractInstrument::onlyDueEventsLeave()
{
    Playing playing;
    RecordingInstrument &instrument = playing.instrument;
    playing.reach(5000);
    const qint64 position = playing.sync.tickPosition();
    QVERIFY(instrument.enqueueNotePair(noteOn(position - 1, 60), noteOff(position + 1, 60)));
    QVERIFY(instrument.enqueue(user(position, 1)));
    instrument.play();

    const Events due{noteOn(position - 1, 60), user(position, 1)};
    QVERIFY(QTest::qWaitFor([&] { return instrument.sent().size() >= due.size(); }, 30000));
    QVERIFY(instrument.awaitTurnAfterWake());
    QCOMPARE(instrument.sent(), due);
    QCOMPARE(instrument.queuedCount(), 1);

    playing.clock.advance(playing.sync.ticksToTime(1) + 1);
    QVERIFY(QTest::qWaitFor([&] { return instrument.queuedCount() == 0; }, 30000));
    QVERIFY(instrument.awaitTurnAfterWake());
    QCOMPARE(instrument.sent(), due + Events{noteOff(position + 1, 60)});
}

// Between sends the thread sleeps until the first queued event is due, and
// works that time out again whenever it may have moved.
void TestAbstractInstrument::sleepsUntilTheFirstEventIsDue()
{
    Playing playing;
    RecordingInstrument &instrument = playing.instrument;
    playing.reach(1000);
    instrument.play();
    QVERIFY(instrument.awaitTurns(1));
    QCOMPARE(instrument.deadline(), NanoClock::Never);

    // Each queued event that comes first wakes the thread by itself.
    const int turns = instrument.turns();
    QVERIFY(instrument.enqueue(user(900000, 1)));
    QVERIFY(instrument.awaitTurns(turns + 1));
    QTRY_COMPARE(instrument.deadline(), playing.sync.timeOfTick(900000));
    QVERIFY(instrument.enqueueNotePair(noteOn(600000, 60), noteOff(700000, 60)));
    QTRY_COMPARE(instrument.deadline(), playing.sync.timeOfTick(600000));
    QVERIFY(playing.sync.timeOfTick(600000) > playing.clock.nowNs());

    // So does a change of the timing source's rate, and its stop.
    playing.sync.setTempo(60);
    QTRY_COMPARE(instrument.deadline(), playing.sync.timeOfTick(600000));
    playing.sync.setRunning(false);
    QTRY_COMPARE(instrument.deadline(), NanoClock::Never);
    QCOMPARE(instrument.sent(), Events());

    playing.sync.setRunning(true);
    playing.reach(600000);
    QTRY_COMPARE(instrument.sent(), Events{noteOn(600000, 60)});
    QTRY_COMPARE(instrument.deadline(), playing.sync.timeOfTick(700000));
}

void TestAbstractInstrument::admission_data()
{
    QTest::addColumn<int>("queued");
    QTest::addColumn<bool>("pair");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("998 queued, pair") << 998 << true << true;
    QTest::newRow("999 queued, pair") << 999 << true << false;
    QTest::newRow("999 queued, single user message") << 999 << false << true;
    QTest::newRow("1000 queued, single user message") << 1000 << false << false;
}

void TestAbstractInstrument::admission()
{
    QFETCH(int, queued);
    QFETCH(bool, pair);
    QFETCH(bool, accepted);

    RecordingInstrument instrument(1);
    fill(instrument, queued);
    const bool result = pair ? instrument.enqueueNotePair(noteOn(5, 60), noteOff(5, 60))
                             : instrument.enqueue(user(5, char(0xFA)));
    QCOMPARE(result, accepted);
    QCOMPARE(instrument.queuedCount(), queued + (accepted ? (pair ? 2 : 1) : 0));
}

QTEST_GUILESS_MAIN(TestAbstractInstrument)
#include "tst_abstractinstrument.moc"
