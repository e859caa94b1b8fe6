#include "abstractsync.h"
#include "manualclock.h"
#include "midioutput.h"
#include "networkdocument.h"
#include "qmdludraplayback.h"
#include "qmdludrarenderer.h"
#include "recordinginstrument.h"
#include "voicegroup.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

using QmdLudra::TickPos;
constexpr qint64 P = QmdLudra::TicksPerPrincipal;
// At the default tempo of 120 and a ratio of 1:1 a principal lasts half a
// second.
constexpr qint64 PrincipalNs = 500000000;

using Note = std::pair<int, qint64>;

// The clock first and the document last: the document's threads read the
// clock and send into the recorder until the document is gone.
struct Fixture
{
    ManualClock clock;
    InstrumentRecorder recorder;
    std::unique_ptr<NetworkDocument> doc = std::make_unique<NetworkDocument>();

    QmdLudraController &controller() { return doc->controller; }
    QmdLudraPlayback &playback() { return doc->controller.playback(); }

    QmdItemId node(qint64 x, qint64 y, const QString &pitches)
    {
        return doc->node(x, y, {{"PitchList", pitches}});
    }
    QVariant state(QmdItemId id, const QString &key) const
    {
        return doc->controller.data(doc->controller.index(key, doc->state(id)));
    }
    int hits(QmdItemId node) const { return state(node, "HitCount").toInt(); }
    void advancePrincipals(double principals) { clock.advance(qint64(principals * PrincipalNs)); }
    // Moves the clock until the timing source has reached the tick.
    void reach(qint64 tick)
    {
        const AbstractSync *sync = playback().timingSource();
        while (sync->tickPosition() < tick)
            clock.advance(sync->ticksToTime(tick - sync->tickPosition()) + 1000);
    }
};

// A at the origin and B one principal on, with edges both ways and a voice
// group on A: a voice goes round for ever.
struct Loop
{
    explicit Loop(Fixture &f)
    {
        instrument = f.doc->addInstrument();
        a = f.node(0, 0, "C3");
        b = f.node(1, 0, "D3");
        ab = f.doc->addEdge(a, b);
        f.doc->addEdge(b, a);
        group = f.doc->addVoiceGroup(a);
    }
    QmdItemId instrument = 0;
    QmdItemId a = 0;
    QmdItemId b = 0;
    QmdItemId ab = 0;
    QmdItemId group = 0;
};

NetworkDocument::Values lists(const char *pitches, const char *velocities, const char *durations)
{
    return {{"PitchList", pitches}, {"VelocityList", velocities}, {"DurationList", durations}};
}

// Networks whose every arrival falls on an eighth of a principal.
void buildNetwork(NetworkDocument &doc, const QString &network)
{
    if (network == "loop") {
        doc.instrumentOn(doc.channels({0, 2}));
        const QmdItemId a = doc.node(0, 0, lists("C3,E3,G3", "100,90", "50%"));
        const QmdItemId b = doc.node(1, 1, lists("+7,-5", "+10", "1,0.25"));
        const QmdItemId c = doc.node(2, 0, lists("-12", "-20", "*2"));
        doc.edge(a, b);
        const QmdItemId bc = doc.edge(b, c);
        const QmdItemId ba = doc.edge(b, a);
        doc.set(b, "ArcUsageList", QStringLiteral("%1=2,%2=1").arg(ba).arg(bc));
        doc.edge(c, a);
        doc.group(a);
    } else if (network == "parallel") {
        doc.instrumentOn(doc.channels({1}));
        NetworkDocument::Values hub = lists("C3,D3,E3", "80", "0.5");
        hub.insert("SignallingMethod", QmdLudra::Parallel);
        const QmdItemId a = doc.node(0, 0, hub);
        const QmdItemId b = doc.node(1, 0, lists("+4", "+5", "25%"));
        const QmdItemId c = doc.node(2, 0, lists("+7", "-5", "1.5"));
        const QmdItemId e = doc.node(1, 1, lists("+12", "127", "0.25"));
        doc.edge(a, b);
        doc.edge(a, c);
        doc.edge(b, e, {{"IsWormhole", true}});
        doc.edge(c, a);
        doc.group(a);
    } else {
        // Two groups on two instruments.
        doc.instrumentOn(doc.channels({0}));
        const QmdItemId bass = doc.instrumentOn(doc.channels({3, 4}));
        const QmdItemId a = doc.node(0, 0, lists("C2,G2", "70", "75%"));
        const QmdItemId b = doc.node(0.5, 0, lists("+2", "60", "0.125"));
        doc.edge(a, b);
        doc.edge(b, a);
        doc.group(a);
        const QmdItemId c = doc.node(0, 3, lists("C4,D4,E4,F4", "50,60", "0.5"));
        const QmdItemId d = doc.node(1.5, 3, lists("+1", "+1", "1"));
        doc.edge(c, d);
        doc.edge(d, c);
        doc.group(c, {{"InitialInstrument", bass}});
    }
}

QString eventText(qint64 fileTick, const QByteArray &message)
{
    return QStringLiteral("%1: %2")
        .arg(fileTick, 9, 10, QLatin1Char('0'))
        .arg(QString::fromLatin1(message.toHex(' ')));
}

// Per instrument in id order, its id and its events up to the file tick,
// sorted: as the render holds them and as real-time playback sent them.
QStringList rendered(const StandardMidiFile &file, const QmdItemIdList &instruments,
                     qint64 upToFileTick)
{
    QStringList texts;
    for (int i = 0; i < file.tracks.size(); ++i) {
        QStringList events;
        for (const StandardMidiFileEvent &event : file.tracks.at(i).events) {
            if (event.tick <= upToFileTick)
                events << eventText(event.tick, event.message);
        }
        events.sort();
        texts << QString::number(instruments.at(i)) << events;
    }
    return texts;
}

QStringList played(const Fixture &f, const QmdItemIdList &instruments, qint64 upToGridTick)
{
    const QList<InstrumentRecorder::Sent> sent = f.recorder.sent();
    QStringList texts;
    for (QmdItemId id : instruments) {
        const quint16 channels =
            MidiOutput::channelBits(f.doc->instrumentValue(id, "MidiChannels").toBitArray());
        QStringList events;
        for (const InstrumentRecorder::Sent &one : sent) {
            if (one.instrument != id || one.event.tick > upToGridTick)
                continue;
            for (const QByteArray &message : MidiOutput::encode({one.event}, channels))
                events << eventText(QmdLudraRenderer::fileTick(one.event.tick, 1, 1), message);
        }
        events.sort();
        texts << QString::number(id) << events;
    }
    return texts;
}

} // namespace

class TestQmdLudraPlayback : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void toggleTwice();
    void gotoStart_data();
    void gotoStart();
    void voiceGroupJoins_data();
    void voiceGroupJoins();
    void unknownSyncTypeIsInternal();
    void retime_data();
    void retime();
    void removalWhilePlaying_data();
    void removalWhilePlaying();
    void renderEqualsPlayback_data();
    void renderEqualsPlayback();
};

void TestQmdLudraPlayback::toggleTwice()
{
    Fixture f;
    const Loop loop(f);
    QSignalSpy changed(&f.controller(), &QmdLudraController::playbackStateChanged);
    VoiceGroup *group = f.playback().voiceGroup(loop.group);
    AbstractInstrument *instrument = f.playback().instrument(loop.instrument);
    QVERIFY(group && instrument);

    for (const bool expected : {true, false}) {
        QCOMPARE(f.controller().requestTogglePlayback(), QmdRequestId(-1));
        QCOMPARE(f.controller().isPlaying(), expected);
        QCOMPARE(group->isIterating(), expected);
        QCOMPARE(instrument->state() == AbstractOutputThread::Playing, expected);
        QCOMPARE(changed.takeFirst().at(0).toBool(), expected);
    }
}

void TestQmdLudraPlayback::gotoStart_data()
{
    QTest::addColumn<bool>("playing");

    QTest::newRow("stopped") << false;
    QTest::newRow("playing") << true;
}

void TestQmdLudraPlayback::gotoStart()
{
    QFETCH(bool, playing);

    Fixture f;
    const Loop loop(f);
    f.controller().requestPlay();
    f.advancePrincipals(1.5);
    QTRY_COMPARE(f.hits(loop.b), 1);
    QTRY_COMPARE(f.state(loop.ab, "CurrentScaleId").toInt(), 1);
    if (!playing)
        f.controller().requestPause();
    const int undoSteps = f.controller().undoRedoCount();
    const QString undoText = f.controller().undoText();
    QSignalSpy jogged(&f.controller(), &QmdLudraController::playbackJogged);
    QSignalSpy changed(&f.controller(), &QmdLudraController::playbackStateChanged);

    QCOMPARE(f.controller().requestGotoStart(), QmdRequestId(-1));

    QCOMPARE(f.controller().isPlaying(), playing);
    QCOMPARE(jogged.count(), 1);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(f.controller().undoRedoCount(), undoSteps);
    QCOMPARE(f.controller().undoText(), undoText);
    if (!playing) {
        for (QmdItemId node : {loop.a, loop.b}) {
            QCOMPARE(f.hits(node), 0);
            QCOMPARE(f.state(node, "CurrentPitchId").toInt(), 0);
        }
        QCOMPARE(f.state(loop.ab, "CurrentScaleId").toInt(), 0);
        QCOMPARE(f.playback().firedNodes().size(), 0);
        QVERIFY(!f.playback().voiceGroup(loop.group)->isIterating());
        return;
    }
    // Playing on from the start: A fires at tick 0 once more.
    QTRY_COMPARE(f.recorder.notesOn().count(Note(60, 0)), 2);
}

void TestQmdLudraPlayback::voiceGroupJoins_data()
{
    QTest::addColumn<bool>("playing");

    QTest::newRow("added while playing") << true;
    QTest::newRow("added while stopped") << false;
}

void TestQmdLudraPlayback::voiceGroupJoins()
{
    QFETCH(bool, playing);

    Fixture f;
    f.doc->addInstrument();
    const QmdItemId a = f.node(0, 0, "C3");
    const QmdItemId b = f.node(1, 0, "D3");
    f.doc->addEdge(a, b);
    if (playing)
        f.controller().requestPlay();

    const QmdItemId group = f.doc->addVoiceGroup(a);
    QVERIFY(f.playback().voiceGroup(group));
    if (!playing) {
        // Idle: not even the first voice stands at its node yet.
        QVERIFY(f.controller().isPlaybackSilent());
        QVERIFY(!f.playback().voiceGroup(group)->isIterating());
        QCOMPARE(f.hits(a), 0);
        f.controller().requestPlay();
    }
    QTRY_COMPARE(f.hits(a), 1);
    QTRY_COMPARE(f.recorder.notesOn(), QList<Note>({{60, 0}}));
}

void TestQmdLudraPlayback::unknownSyncTypeIsInternal()
{
    Fixture f;
    const Loop loop(f);
    const QPointer<AbstractSync> old = f.playback().timingSource();
    QVERIFY(old);

    QVERIFY(f.doc->run(f.controller().requestSetData("SyncType", "Quantum")));

    AbstractSync *source = f.playback().timingSource();
    QVERIFY(source && source != old);
    QCOMPARE(source->typeName(), "internal");
    QTRY_VERIFY(old.isNull());
    // The voice group and the instrument follow the new source.
    f.controller().requestPlay();
    QVERIFY(source->isRunning());
    f.advancePrincipals(1.5);
    QTRY_COMPARE(f.recorder.notesOn(), QList<Note>({{60, 0}, {62, P}}));
}

void TestQmdLudraPlayback::retime_data()
{
    QTest::addColumn<TickPos>("b");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("behindTheBack");
    QTest::addColumn<qint64>("arrival");

    const TickPos far{4 * P, 0};
    const QVariant near = QVariant::fromValue(TickPos{2 * P, 0});
    QTest::newRow("to-node moved closer") << far << "TickPos" << near << false << 2 * P;
    QTest::newRow("path made direct")
        << TickPos{3 * P, 4 * P} << "Path" << QVariant(int(QmdLudra::Direct)) << false << 5 * P;
    // The node moves without the controller's knowledge; only the change of
    // the ratio makes the voice follow.
    QTest::newRow("ratio numerator changed")
        << far << "PrincipalsToBeatsNumerator" << QVariant(2u) << true << 2 * P;
    QTest::newRow("ratio denominator changed")
        << far << "PrincipalsToBeatsDenominator" << QVariant(3u) << true << 2 * P;
}

void TestQmdLudraPlayback::retime()
{
    QFETCH(TickPos, b);
    QFETCH(QString, key);
    QFETCH(QVariant, value);
    QFETCH(bool, behindTheBack);
    QFETCH(qint64, arrival);

    Fixture f;
    f.doc->addInstrument();
    const QmdItemId nodeA = f.node(0, 0, "C3");
    const QmdItemId nodeB = f.node(b.x / P, b.y / P, "D3");
    const QmdItemId edge = f.doc->addEdge(nodeA, nodeB);
    f.doc->addVoiceGroup(nodeA);
    f.controller().requestPlay();
    QTRY_COMPARE(f.hits(nodeA), 1);

    QmdLudraController &c = f.controller();
    if (behindTheBack) {
        {
            // Under the lock the voices read with, but unheard.
            const std::lock_guard locker(c.dataLock());
            const QSignalBlocker blocker(f.doc->model);
            f.doc->model.setData(
                QHash<QString, QVariant>{{"TickPos", QVariant::fromValue(TickPos{2 * P, 0})}},
                f.doc->element(nodeB));
        }
        QVERIFY(f.doc->run(c.requestSetData(key, value)));
        QTRY_COMPARE(
            f.playback().timingSource()->property(qPrintable(key.left(1).toLower() + key.mid(1))),
            value);
    } else {
        const QmdItemId target = key == QLatin1String("Path") ? edge : nodeB;
        QVERIFY(f.doc->set(target, key, value));
    }
    QCoreApplication::processEvents();

    f.advancePrincipals(40);
    QTRY_COMPARE(f.hits(nodeB), 1);
    // The firing counts before the note reaches the instrument and leaves it.
    QTRY_COMPARE(f.recorder.notesOn().value(1), Note(62, arrival));
}

void TestQmdLudraPlayback::removalWhilePlaying_data()
{
    QTest::addColumn<QString>("removed");

    QTest::newRow("voice group") << "voice group";
    QTest::newRow("instrument") << "instrument";
    QTest::newRow("controller") << "controller";
}

void TestQmdLudraPlayback::removalWhilePlaying()
{
    QFETCH(QString, removed);

    // A parallel hub with three spokes and two voice groups: the pools fill
    // up and every step fires many voices on the thread pool.
    Fixture f;
    const QmdItemId instrument = f.doc->addInstrument();
    const QmdItemId hub = f.node(0, 0, "C3,E3");
    QVERIFY(f.doc->set(hub, "SignallingMethod", int(QmdLudra::Parallel)));
    for (int y : {-1, 0, 1}) {
        const QmdItemId spoke = f.node(1, y, "+1");
        f.doc->addEdge(hub, spoke);
        f.doc->addEdge(spoke, hub);
    }
    const QmdItemId first = f.doc->addVoiceGroup(hub);
    const QmdItemId second = f.doc->addVoiceGroup(hub);
    const QPointer<VoiceGroup> firstGroup = f.playback().voiceGroup(first);
    const QPointer<VoiceGroup> secondGroup = f.playback().voiceGroup(second);
    const QPointer<AbstractInstrument> instrumentObject = f.playback().instrument(instrument);
    f.controller().requestPlay();
    // Far ahead: the groups fire without pause while the removal runs.
    f.advancePrincipals(1000);
    QTRY_VERIFY(f.hits(hub) > 4);

    if (removed == QLatin1String("controller")) {
        f.doc.reset();
        QVERIFY(firstGroup.isNull() && secondGroup.isNull() && instrumentObject.isNull());
        QCOMPARE(f.recorder.alive(), 0);
        return;
    }
    if (removed == QLatin1String("voice group")) {
        QVERIFY(f.doc->removeElements({first}));
        QVERIFY(firstGroup.isNull());
        QVERIFY(!f.playback().voiceGroup(first));
        QVERIFY(secondGroup);
    } else {
        QVERIFY(f.doc->run(
            f.controller().requestRemove(instrument, f.controller().instrumentsIndex())));
        QVERIFY(instrumentObject.isNull());
        QCOMPARE(f.recorder.alive(), 0);
    }
    // What is left plays on.
    const int hits = f.hits(hub);
    f.advancePrincipals(1000);
    QTRY_VERIFY(f.hits(hub) > hits);
}

void TestQmdLudraPlayback::renderEqualsPlayback_data()
{
    QTest::addColumn<QString>("network");
    QTest::newRow("sequential loop with relative lists") << "loop";
    QTest::newRow("parallel voices and a wormhole") << "parallel";
    QTest::newRow("two groups on two instruments") << "groups";
}

// A render and real-time playback of the same document give the same notes:
// both drive the one copy of the firing rules, one by a virtual clock, the
// other by voice-group and instrument threads following the moved clock.
// The document comes from a file, so the playback objects are the ones a
// load makes.
void TestQmdLudraPlayback::renderEqualsPlayback()
{
    QFETCH(QString, network);
    QTemporaryDir dir;
    const QString fileName = dir.filePath("network.ldx");
    {
        NetworkDocument source;
        buildNetwork(source, network);
        QVERIFY(source.run(source.controller.requestSave(fileName)));
    }
    Fixture f;
    QSignalSpy loaded(&f.controller(), &QmdLudraController::fileLoaded);
    f.controller().requestLoad(fileName);
    QCOMPARE(loaded.count(), 1);

    const qint64 end = 12 * P;
    QmdLudraRenderer renderer(&f.controller());
    renderer.setEndTick(end);
    const StandardMidiFile file = renderer.render();
    QmdItemIdList instruments = f.controller().ids(f.controller().instrumentsIndex());
    std::sort(instruments.begin(), instruments.end());
    QCOMPARE(file.tracks.size(), instruments.size());

    // The clock moves on by one eighth at a time once everything due up to
    // there has been sent, so each step of a group sees one tick's voices.
    f.controller().requestPlay();
    for (qint64 tick = 0; tick < end; tick += P / 8) {
        f.reach(tick);
        QTRY_COMPARE_WITH_TIMEOUT(
            played(f, instruments, tick),
            rendered(file, instruments, QmdLudraRenderer::fileTick(tick, 1, 1)), 10000);
    }
    // Everything before the end, and nothing else.
    f.reach(end);
    const QStringList all = rendered(file, instruments, QmdLudraRenderer::fileTick(end, 1, 1) - 1);
    QTRY_COMPARE_WITH_TIMEOUT(played(f, instruments, end - 1), all, 10000);
    QVERIFY(all.size() > 20);
    QVERIFY(!f.playback().firedNodes().takeAll().isEmpty());
}

QTEST_GUILESS_MAIN(TestQmdLudraPlayback)
#include "tst_qmdludraplayback.moc"
