#include "jackserver.h"
#include "manualclock.h"
#include "midiinput.h"
#include "midioutput.h"
#include "midisync.h"
#include "virtualmidiports.h"

#include <QTest>

#include <memory>

using Bytes = QList<QByteArray>;

namespace {

constexpr qint64 Second = 1000000000;
// 27720 beat ticks at tempo 120, rounded up to whole nanoseconds.
constexpr qint64 PulseNs = 20833334;

const QByteArray clockPulse("\xF8", 1);
const QByteArray start("\xFA", 1);
const QByteArray stop("\xFC", 1);
const QByteArray songPositionZero("\xF2\x00\x00", 3);

} // namespace

class TestMidiSyncPorts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void startWaitsForSyncOutputs_data();
    void startWaitsForSyncOutputs();
    void syncOutputsFollowTheirNames();
    void syncOutputAddedWhileRunningStartsAtOnce();
    void syncInputMeasuresTheTempo();

private:
    std::unique_ptr<JackServer> m_server;
    std::unique_ptr<ManualClock> m_clock;
};

void TestMidiSyncPorts::initTestCase()
{
    m_clock = std::make_unique<ManualClock>();
    QString error;
    QVERIFY2(JackServer::startIfInstalled(&m_server, &error), qPrintable(error));
}

void TestMidiSyncPorts::init()
{
    m_clock->set(10 * Second);
}

void TestMidiSyncPorts::startWaitsForSyncOutputs_data()
{
    QTest::addColumn<bool>("output");
    QTest::addColumn<qint64>("delay");

    QTest::newRow("no sync output") << false << qint64(0);
    // A port that does not open stays a sync output, closed.
    QTest::newRow("a sync output") << true << MidiSync::StartDelayNs;
}

void TestMidiSyncPorts::startWaitsForSyncOutputs()
{
    QFETCH(bool, output);
    QFETCH(qint64, delay);

    MidiSync sync(m_clock.get());
    if (output)
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

void TestMidiSyncPorts::syncOutputsFollowTheirNames()
{
    REQUIRE_JACK(m_server);
    VirtualMidiSink sink;
    const QString port = sink.portName();
    MidiSync sync(m_clock.get());
    sync.setSyncPorts({}, {QStringLiteral("no such client:port")});
    QCOMPARE(MidiOutput::userCount(port), 0);

    sync.setSyncPorts({}, {QStringLiteral("no such client:port"), port});
    QCOMPARE(MidiOutput::userCount(port), 1);
    // The sender's library port is shared: a connection this test makes
    // through it is the sender's.
    MidiOutput probe;
    QVERIFY(probe.open(port));
    QVERIFY(sink.awaitConnection([&probe](const QByteArray &bytes) { probe.sendRaw(bytes); }));

    // The start message goes at once, the first pulse 10 ms later, when
    // the run begins.
    sync.setRunning(true);
    QTRY_COMPARE_WITH_TIMEOUT(sink.messages(), Bytes{start}, 30000);
    m_clock->advance(MidiSync::StartDelayNs + 2 * PulseNs);
    QTRY_COMPARE_WITH_TIMEOUT(sink.count(), 4, 30000);

    m_clock->advance(PulseNs);
    sync.setRunning(false);
    sync.reset();
    const Bytes expected{start,      clockPulse, clockPulse,      clockPulse,
                         clockPulse, stop,       songPositionZero};
    QTRY_COMPARE_WITH_TIMEOUT(sink.count(), int(expected.size()), 30000);
    QCOMPARE(sink.messages(), expected);

    sync.setSyncPorts({}, {});
    QCOMPARE(MidiOutput::userCount(port), 1);
    QVERIFY(probe.close());
    QCOMPARE(MidiOutput::userCount(port), 0);
}

void TestMidiSyncPorts::syncOutputAddedWhileRunningStartsAtOnce()
{
    REQUIRE_JACK(m_server);
    VirtualMidiSink sink;
    const QString port = sink.portName();
    // The sink hears the sender's port from before it joins the sync.
    MidiOutput probe;
    QVERIFY(probe.open(port));
    QVERIFY(sink.awaitConnection([&probe](const QByteArray &bytes) { probe.sendRaw(bytes); }));

    MidiSync sync(m_clock.get());
    sync.setRunning(true);
    sync.setSyncPorts({}, {port});
    QCOMPARE(MidiOutput::userCount(port), 2);
    QTRY_COMPARE_WITH_TIMEOUT(sink.messages(), (Bytes{start, clockPulse}), 30000);
}

void TestMidiSyncPorts::syncInputMeasuresTheTempo()
{
    REQUIRE_JACK(m_server);
    VirtualMidiSource source;
    const QString port = source.portName();
    MidiSync sync(m_clock.get());
    sync.setSyncPorts({port}, {});
    QCOMPARE(MidiInput::userCount(port), 1);

    // A second input on the same port sees each message once the sync has it
    // stamped: each pulse is sent at an exact time of the manual clock.
    MidiInput watcher;
    watcher.setClock(m_clock.get());
    watcher.setIgnoreFlags(MidiInput::IgnoreSysex | MidiInput::IgnoreActiveSensing);
    QVERIFY(watcher.open(port));
    const auto arrived = [&watcher] {
        Bytes received;
        for (const MidiMessage &message : watcher.takeAll())
            received.append(message.bytes);
        return received;
    };
    QVERIFY(source.awaitConnection(arrived));
    const auto sendAndWait = [&](const QByteArray &bytes) {
        source.send(bytes);
        return QTest::qWaitFor([&] { return arrived().contains(bytes); }, 30000);
    };

    QVERIFY(sendAndWait(start));
    QVERIFY(!sync.isRunning());
    const qint64 interval = 20833333;
    const qint64 t0 = m_clock->nowNs() + Second;
    m_clock->set(t0);
    QVERIFY(sendAndWait(clockPulse));
    QVERIFY(sync.isRunning());
    QCOMPARE(sync.timePosition(), 0);

    for (int i = 1; i <= 100; ++i) {
        m_clock->set(t0 + i * interval);
        QVERIFY(sendAndWait(clockPulse));
    }
    QCOMPARE(sync.tempo(), 120u);
    QCOMPARE(sync.songPositionTarget(), 100 * 27720);

    QVERIFY(sendAndWait(stop));
    QVERIFY(!sync.isRunning());
    sync.setSyncPorts({}, {});
    QCOMPARE(MidiInput::userCount(port), 1);
}

QTEST_GUILESS_MAIN(TestMidiSyncPorts)
#include "tst_midisyncports.moc"
