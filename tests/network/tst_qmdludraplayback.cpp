#include "abstractsync.h"
#include "manualclock.h"
#include "networkdocument.h"
#include "qmdludraplayback.h"
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
        const QmdItemId id = doc->addNode(TickPos{x * P, y * P});
        doc->set(id, QStringLiteral("PitchList"), pitches);
        return id;
    }
    QVariant state(QmdItemId id, const QString &key) const
    {
        return doc->controller.data(doc->controller.index(key, doc->state(id)));
    }
    int hits(QmdItemId node) const { return state(node, QStringLiteral("HitCount")).toInt(); }
    void advancePrincipals(double principals) { clock.advance(qint64(principals * PrincipalNs)); }
};

// A at the origin and B one principal on, with edges both ways and a voice
// group on A: a voice goes round for ever.
struct Loop
{
    explicit Loop(Fixture &f)
    {
        instrument = f.doc->addInstrument();
        a = f.node(0, 0, QStringLiteral("C3"));
        b = f.node(1, 0, QStringLiteral("D3"));
        ab = f.doc->addEdge(a, b);
        ba = f.doc->addEdge(b, a);
        group = f.doc->addVoiceGroup(a);
    }
    QmdItemId instrument = 0;
    QmdItemId a = 0;
    QmdItemId b = 0;
    QmdItemId ab = 0;
    QmdItemId ba = 0;
    QmdItemId group = 0;
};

int count(const QList<Note> &notes, const Note &note)
{
    return int(notes.count(note));
}

} // namespace

class TestQmdLudraPlayback : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void toggleTwice_data();
    void toggleTwice();
    void gotoStart_data();
    void gotoStart();
    void voiceGroupJoins_data();
    void voiceGroupJoins();
    void syncType_data();
    void syncType();
    void retime_data();
    void retime();
    void delivery_data();
    void delivery();
    void removalWhilePlaying_data();
    void removalWhilePlaying();
    void loadedDocumentPlays();
};

void TestQmdLudraPlayback::toggleTwice_data()
{
    QTest::addColumn<bool>("playingFirst");

    QTest::newRow("from stopped") << false;
    QTest::newRow("from playing") << true;
}

void TestQmdLudraPlayback::toggleTwice()
{
    QFETCH(bool, playingFirst);

    Fixture f;
    const Loop loop(f);
    if (playingFirst)
        f.controller().requestPlay();
    QSignalSpy changed(&f.controller(), &QmdLudraController::playbackStateChanged);
    VoiceGroup *group = f.playback().voiceGroup(loop.group);
    AbstractInstrument *instrument = f.playback().instrument(loop.instrument);
    QVERIFY(group && instrument);

    for (const bool expected : {!playingFirst, playingFirst}) {
        QCOMPARE(f.controller().requestTogglePlayback(), QmdRequestId(-1));
        QCOMPARE(f.controller().isPlaying(), expected);
        QCOMPARE(group->isIterating(), expected);
        QCOMPARE(instrument->state() == AbstractOutputThread::Playing, expected);
    }
    QCOMPARE(changed.count(), 2);
    QCOMPARE(changed.at(0).at(0).toBool(), !playingFirst);
    QCOMPARE(changed.at(1).at(0).toBool(), playingFirst);
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
    QTRY_COMPARE(f.state(loop.ab, QStringLiteral("CurrentScaleId")).toInt(), 1);
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
            QCOMPARE(f.state(node, QStringLiteral("CurrentPitchId")).toInt(), 0);
        }
        QCOMPARE(f.state(loop.ab, QStringLiteral("CurrentScaleId")).toInt(), 0);
        QCOMPARE(f.playback().firedNodes().size(), 0);
        return;
    }
    // Playing on from the start: A fires at tick 0 once more.
    QTRY_COMPARE(count(f.recorder.notesOn(), {60, 0}), 2);
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
    const QmdItemId a = f.node(0, 0, QStringLiteral("C3"));
    const QmdItemId b = f.node(1, 0, QStringLiteral("D3"));
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

void TestQmdLudraPlayback::syncType_data()
{
    QTest::addColumn<QString>("type");

    QTest::newRow("internal in capitals") << "INTERNAL";
    QTest::newRow("unknown type") << "Quantum";
    QTest::newRow("empty") << "";
}

void TestQmdLudraPlayback::syncType()
{
    QFETCH(QString, type);

    Fixture f;
    const Loop loop(f);
    const QPointer<AbstractSync> old = f.playback().timingSource();
    QVERIFY(old);

    QVERIFY(f.doc->run(f.controller().requestSetData(QStringLiteral("SyncType"), type)));

    AbstractSync *source = f.playback().timingSource();
    QVERIFY(source && source != old);
    QCOMPARE(source->typeName(), QStringLiteral("internal"));
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
    const QmdItemId nodeA = f.node(0, 0, QStringLiteral("C3"));
    const QmdItemId nodeB = f.node(b.x / P, b.y / P, QStringLiteral("D3"));
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
            f.doc->model.setData(QHash<QString, QVariant>{{QStringLiteral("TickPos"),
                                                           QVariant::fromValue(TickPos{2 * P, 0})}},
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

void TestQmdLudraPlayback::delivery_data()
{
    QTest::addColumn<int>("target");
    QTest::addColumn<bool>("removed");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("first instrument") << 0 << false << true;
    QTest::newRow("second instrument") << 1 << false << true;
    QTest::newRow("unknown id") << -1 << false << false;
    QTest::newRow("removed instrument") << 1 << true << false;
}

void TestQmdLudraPlayback::delivery()
{
    QFETCH(int, target);
    QFETCH(bool, removed);
    QFETCH(bool, accepted);

    Fixture f;
    const QmdItemIdList instruments{f.doc->addInstrument(), f.doc->addInstrument()};
    const QmdItemId id = target < 0 ? 999 : instruments.at(target);
    if (removed) {
        QVERIFY(f.doc->run(f.controller().requestRemove(id, f.controller().instrumentsIndex())));
        QVERIFY(!f.playback().instrument(id));
    }

    QCOMPARE(f.playback().deliverNotePair(id, InstrumentEvent::noteOn(P, 60, 100),
                                          InstrumentEvent::noteOff(2 * P, 60, 0)),
             accepted);
    QCOMPARE(f.playback().deliverEvent(id, InstrumentEvent::userMessage(P, "\xF8")), accepted);

    for (QmdItemId instrument : instruments) {
        if (AbstractInstrument *object = f.playback().instrument(instrument))
            QCOMPARE(object->queuedCount(), instrument == id ? 3 : 0);
    }
    QCOMPARE(f.controller().isPlaybackSilent(), !accepted);
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
    const QmdItemId hub = f.node(0, 0, QStringLiteral("C3,E3"));
    QVERIFY(f.doc->set(hub, QStringLiteral("SignallingMethod"), int(QmdLudra::Parallel)));
    for (int y : {-1, 0, 1}) {
        const QmdItemId spoke = f.node(1, y, QStringLiteral("+1"));
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

void TestQmdLudraPlayback::loadedDocumentPlays()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString fileName = dir.filePath(QStringLiteral("round.ldx"));
    {
        NetworkDocument source;
        source.addInstrument();
        const auto node = [&](qint64 x, const QString &pitches) {
            const QmdItemId id = source.addNode(TickPos{x * P, 0});
            source.set(id, QStringLiteral("PitchList"), pitches);
            return id;
        };
        const QmdItemId a = node(0, QStringLiteral("C3,E3"));
        const QmdItemId b = node(1, QStringLiteral("G3"));
        const QmdItemId c = node(2, QStringLiteral("C4"));
        source.addEdge(a, b);
        source.addEdge(b, c);
        source.addEdge(c, a);
        source.addVoiceGroup(a);
        QVERIFY(source.run(source.controller.requestSave(fileName)));
    }

    Fixture f;
    QSignalSpy loaded(&f.controller(), &QmdLudraController::fileLoaded);
    f.controller().requestLoad(fileName);
    QCOMPARE(loaded.count(), 1);
    f.controller().requestPlay();
    // Up to a little past six principals; the next note would be at eight.
    f.advancePrincipals(6.2);

    using Event = std::tuple<int, int, qint64>;
    const QList<Event> expected{
        {InstrumentEvent::NoteOn, 60, 0},     {InstrumentEvent::NoteOff, 60, P},
        {InstrumentEvent::NoteOn, 67, P},     {InstrumentEvent::NoteOff, 67, 2 * P},
        {InstrumentEvent::NoteOn, 72, 2 * P}, {InstrumentEvent::NoteOff, 72, 4 * P},
        {InstrumentEvent::NoteOn, 64, 4 * P}, {InstrumentEvent::NoteOff, 64, 5 * P},
        {InstrumentEvent::NoteOn, 67, 5 * P}, {InstrumentEvent::NoteOff, 67, 6 * P},
        {InstrumentEvent::NoteOn, 72, 6 * P}};
    const auto sent = [&f] {
        QList<Event> events;
        for (const InstrumentRecorder::Sent &sent : f.recorder.sent())
            events.append({sent.event.type, sent.event.data1, sent.event.tick});
        return events;
    };
    QTRY_COMPARE(sent().size(), expected.size());
    QCOMPARE(sent(), expected);

    QList<QmdItemId> firedNodes;
    for (const FiredNode &record : f.playback().firedNodes().takeAll())
        firedNodes.append(record.node);
    QCOMPARE(firedNodes.size(), 6);
    QCOMPARE(firedNodes.mid(3), firedNodes.mid(0, 3));
}

QTEST_GUILESS_MAIN(TestQmdLudraPlayback)
#include "tst_qmdludraplayback.moc"
