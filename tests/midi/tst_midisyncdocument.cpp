#include "jackserver.h"
#include "manualclock.h"
#include "midiinput.h"
#include "midioutput.h"
#include "midisync.h"
#include "qmdcontroller.h"
#include "qmdmemmodel.h"
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

// A network document as far as the timing source reads it.
class Document
{
public:
    Document()
    {
        controller.setModel(&model);
        QObject::connect(&controller, &QmdController::requestFinished,
                         [this](QmdRequestId rid) { finished.insert(rid); });
        controller.requestSetData(QHash<QString, QVariant>{{"Tempo", 100u},
                                                           {"PrincipalsToBeatsNumerator", 3u},
                                                           {"PrincipalsToBeatsDenominator", 2u}});
        controller.requestSetTypes(QHash<QString, Qmd::ContainerType>{
            {"SyncMidiInputs", Qmd::StrDict}, {"SyncMidiOutputs", Qmd::StrDict}});
    }

    uint value(const char *key) const { return controller.data(controller.index(key)).toUInt(); }

    // Adds or changes the entry of a port in "SyncMidiInputs" or
    // "SyncMidiOutputs".
    QmdRequestId setSyncPort(const char *container, const QString &port, bool sync)
    {
        const QmdIndex ports = controller.index(container);
        controller.requestSetTypeIfInvalid(port, Qmd::StrDict, ports);
        return controller.requestSetData(QStringLiteral("MidiSync"), sync,
                                         controller.index(port, ports));
    }

    // Waits until the controller has announced the request and everything
    // that changed with it.
    bool waitFor(QmdRequestId rid)
    {
        return QTest::qWaitFor([this, rid] { return finished.contains(rid); }, 30000);
    }

    QmdMemModel model{Qmd::StrDict};
    QmdController controller;
    QSet<QmdRequestId> finished;
};

} // namespace

class TestMidiSyncDocument : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void propertiesFollowTheDocument();
    void missingKeysGiveTheDefaults();
    void modelResetResetsTheSource();
    void anotherControllerTakesOver();
    void startWaitsForSyncOutputs_data();
    void startWaitsForSyncOutputs();
    void syncOutputsFollowTheDocument();
    void syncOutputAddedWhileRunningStartsAtOnce();
    void receivedClockSetsTheDocumentTempo();

private:
    std::unique_ptr<JackServer> m_server;
    std::unique_ptr<ManualClock> m_clock;
};

void TestMidiSyncDocument::initTestCase()
{
    m_clock = std::make_unique<ManualClock>();
    QString error;
    QVERIFY2(JackServer::startIfInstalled(&m_server, &error), qPrintable(error));
}

void TestMidiSyncDocument::init()
{
    m_clock->set(10 * Second);
}

// The source takes its values from the document, and writes its own back as
// no steps for the user to undo.
void TestMidiSyncDocument::propertiesFollowTheDocument()
{
    Document document;
    MidiSync sync;
    sync.setController(&document.controller);
    QCOMPARE(sync.tempo(), 100u);
    QCOMPARE(sync.principalsToBeatsNumerator(), 3u);
    QCOMPARE(sync.principalsToBeatsDenominator(), 2u);

    document.controller.requestSetData(QHash<QString, QVariant>{
        {"Tempo", 90u}, {"PrincipalsToBeatsNumerator", 5u}, {"PrincipalsToBeatsDenominator", 4u}});
    QTRY_COMPARE(sync.tempo(), 90u);
    QCOMPARE(sync.principalsToBeatsNumerator(), 5u);
    QCOMPARE(sync.principalsToBeatsDenominator(), 4u);

    const int undoSteps = document.controller.undoRedoCount();
    sync.setTempo(140);
    sync.setPrincipalsToBeatsNumerator(7);
    sync.setPrincipalsToBeatsDenominator(8);
    QTRY_COMPARE(document.value("Tempo"), 140u);
    QTRY_COMPARE(document.value("PrincipalsToBeatsNumerator"), 7u);
    QTRY_COMPARE(document.value("PrincipalsToBeatsDenominator"), 8u);
    QCOMPARE(document.controller.undoRedoCount(), undoSteps);
}

void TestMidiSyncDocument::missingKeysGiveTheDefaults()
{
    QmdMemModel model(Qmd::StrDict);
    QmdController controller;
    controller.setModel(&model);
    MidiSync sync;
    sync.setTempo(77);
    sync.setPrincipalsToBeatsNumerator(4);
    sync.setController(&controller);
    QCOMPARE(sync.tempo(), 120u);
    QCOMPARE(sync.principalsToBeatsNumerator(), 1u);
    QCOMPARE(sync.principalsToBeatsDenominator(), 1u);
}

void TestMidiSyncDocument::modelResetResetsTheSource()
{
    Document document;
    MidiSync sync;
    sync.setController(&document.controller);
    sync.setRunning(true);
    m_clock->advance(Second);
    QVERIFY(sync.tickPosition() > 0);

    document.controller.reset();
    QVERIFY(!sync.isRunning());
    QCOMPARE(sync.tickPosition(), 0);
    QCOMPARE(sync.tempo(), 100u);
}

void TestMidiSyncDocument::anotherControllerTakesOver()
{
    Document first;
    Document second;
    second.controller.requestSetData(QStringLiteral("Tempo"), 150u);
    MidiSync sync;
    sync.setController(&first.controller);
    sync.setController(&second.controller);
    QCOMPARE(sync.tempo(), 150u);

    first.controller.requestSetData(QStringLiteral("Tempo"), 60u);
    second.controller.requestSetData(QStringLiteral("Tempo"), 61u);
    QTRY_COMPARE(sync.tempo(), 61u);
    sync.setTempo(62);
    QTRY_COMPARE(second.value("Tempo"), 62u);
    QCOMPARE(first.value("Tempo"), 60u);

    // Leaving a controller keeps the values.
    sync.setController(nullptr);
    QCOMPARE(sync.tempo(), 62u);
    QVERIFY(second.waitFor(second.controller.requestSetData(QStringLiteral("Tempo"), 63u)));
    QCOMPARE(sync.tempo(), 62u);
}

void TestMidiSyncDocument::startWaitsForSyncOutputs_data()
{
    QTest::addColumn<bool>("entry");
    QTest::addColumn<bool>("takingPart");
    QTest::addColumn<qint64>("delay");

    QTest::newRow("no sync output") << false << false << qint64(0);
    QTest::newRow("an entry not taking part") << true << false << qint64(0);
    // A port that does not open stays a sync output, closed.
    QTest::newRow("a sync output") << true << true << MidiSync::StartDelayNs;
}

void TestMidiSyncDocument::startWaitsForSyncOutputs()
{
    QFETCH(bool, entry);
    QFETCH(bool, takingPart);
    QFETCH(qint64, delay);

    Document document;
    MidiSync sync;
    sync.setController(&document.controller);
    if (entry) {
        QVERIFY(document.waitFor(document.setSyncPort(
            "SyncMidiOutputs", QStringLiteral("nowhere:no port"), takingPart)));
    }
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

void TestMidiSyncDocument::syncOutputsFollowTheDocument()
{
    REQUIRE_JACK(m_server);
    VirtualMidiSink sink;
    const QString port = sink.portName();
    Document document;
    document.controller.requestSetData(QStringLiteral("Tempo"), 120u);
    MidiSync sync;
    sync.setController(&document.controller);

    // An entry that is not taking part opens nothing.
    document.setSyncPort("SyncMidiOutputs", port, false);
    QVERIFY(document.waitFor(
        document.setSyncPort("SyncMidiOutputs", QStringLiteral("no such client:port"), true)));
    QCOMPARE(MidiOutput::userCount(port), 0);

    document.setSyncPort("SyncMidiOutputs", port, true);
    QTRY_COMPARE(MidiOutput::userCount(port), 1);
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

    document.setSyncPort("SyncMidiOutputs", port, false);
    QTRY_COMPARE(MidiOutput::userCount(port), 1);
    QVERIFY(probe.close());
    QCOMPARE(MidiOutput::userCount(port), 0);
}

void TestMidiSyncDocument::syncOutputAddedWhileRunningStartsAtOnce()
{
    REQUIRE_JACK(m_server);
    VirtualMidiSink sink;
    const QString port = sink.portName();
    // The sink hears the sender's port from before it joins the sync.
    MidiOutput probe;
    QVERIFY(probe.open(port));
    QVERIFY(sink.awaitConnection([&probe](const QByteArray &bytes) { probe.sendRaw(bytes); }));

    Document document;
    MidiSync sync;
    sync.setController(&document.controller);
    sync.setRunning(true);
    document.setSyncPort("SyncMidiOutputs", port, true);
    QTRY_COMPARE(MidiOutput::userCount(port), 2);
    QTRY_COMPARE_WITH_TIMEOUT(sink.messages(), (Bytes{start, clockPulse}), 30000);
}

void TestMidiSyncDocument::receivedClockSetsTheDocumentTempo()
{
    REQUIRE_JACK(m_server);
    VirtualMidiSource source;
    const QString port = source.portName();
    Document document;
    MidiSync sync;
    sync.setController(&document.controller);
    document.setSyncPort("SyncMidiInputs", port, true);
    QTRY_COMPARE(MidiInput::userCount(port), 1);

    // A second input on the same port sees each message once the sync has it
    // stamped: each pulse is sent at an exact time of the manual clock.
    MidiInput watcher;
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
    QTRY_COMPARE(document.value("Tempo"), 120u);
    QCOMPARE(sync.songPositionTarget(), 100 * 27720);

    QVERIFY(sendAndWait(stop));
    QVERIFY(!sync.isRunning());
    document.setSyncPort("SyncMidiInputs", port, false);
    QTRY_COMPARE(MidiInput::userCount(port), 1);
}

QTEST_GUILESS_MAIN(TestMidiSyncDocument)
#include "tst_midisyncdocument.moc"
