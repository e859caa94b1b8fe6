#include "controllersignalrecorder.h"
#include "modeldump.h"
#include "modelsignallog.h"
#include "networkdocument.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

namespace {

constexpr qint64 P = QmdLudra::TicksPerPrincipal;

// The model's end-of-request reports for one request: a reaction that wrote
// during a replay would add one.
int modelRequestsFinished(const QStringList &log, QmdRequestId rid)
{
    return int(
        log.filter(QRegularExpression(QStringLiteral("^requestFinished\\(%1,").arg(rid))).size());
}

} // namespace

class TestQmdLudraEditing : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void deletingNodeRemovesDependentsInOneStep();
    void deletingInstrumentResetsReferences();
    void instrumentDataSignals();
};

void TestQmdLudraEditing::deletingNodeRemovesDependentsInOneStep()
{
    NetworkDocument doc;
    const QmdItemId m = doc.addNode({0, 0});
    const QmdItemId n = doc.addNode({P, 0});
    const QmdItemId a = doc.addNode({2 * P, 0});
    const QmdItemId b = doc.addNode({2 * P, P});
    const QmdItemId into = doc.addEdge(m, n);
    const QmdItemId other = doc.addEdge(m, a);
    const QmdItemId out1 = doc.addEdge(n, a);
    const QmdItemId out2 = doc.addEdge(n, b);
    const QmdItemId group = doc.addVoiceGroup(n);
    const QmdItemId keptGroup = doc.addVoiceGroup(a);
    QVERIFY(doc.set(m, "ArcUsageList", QString("%1=2,%2=1,%1=3").arg(other).arg(into)));
    const QmdItemIdList gone{n, into, out1, out2, group};
    const QString before = ModelDump::tree(doc.model);
    const int steps = doc.model.undoRedoCount();

    ControllerSignalRecorder recorder(&doc.controller);
    ModelSignalLog log(&doc.model);
    const QmdRequestId rid = doc.controller.requestRemove(n, doc.elements(), QString("Delete"));
    QVERIFY(doc.run(rid));

    QmdItemIdList left = doc.controller.ids(doc.elements());
    std::sort(left.begin(), left.end());
    QCOMPARE(left, (QmdItemIdList{m, a, b, other, keptGroup}));
    for (QmdItemId id : gone)
        QVERIFY(!doc.controller.isValid(doc.state(id)));
    QVERIFY(doc.controller.isValid(doc.state(other)));
    QCOMPARE(doc.idsIn(m, "ArcIdentifiers"), QmdItemIdList{other});
    QCOMPARE(doc.value(m, "ArcUsageList"), QVariant(QString("%1=2,%1=3").arg(other)));
    QCOMPARE(doc.model.undoRedoCount(), steps + 1);
    QCOMPARE(doc.controller.undoText(), QString("Delete"));
    QCOMPARE(recorder.namesFor(rid).count("requestFinished"), 1);
    QmdItemIdSet removedIds;
    for (const ControllerEvent &event : recorder.only({"elementsRemoved"})) {
        for (QmdItemId id : event.args.at(0).value<QmdItemIdList>())
            removedIds.insert(id);
    }
    QCOMPARE(removedIds, QmdItemIdSet(gone.cbegin(), gone.cend()));
    const QString after = ModelDump::tree(doc.model);

    log.take();
    const QmdRequestId undo = doc.controller.requestUndo();
    QVERIFY(doc.run(undo));
    QCOMPARE(ModelDump::tree(doc.model), before);
    QCOMPARE(modelRequestsFinished(log.take(), undo), 1);

    QVERIFY(doc.run(doc.controller.requestRedo()));
    QCoreApplication::processEvents();
    QCOMPARE(ModelDump::tree(doc.model), after);
    const QStringList redoLog = log.take();
    QCOMPARE(redoLog.filter("requestFinished(").size(), 1);
    QCOMPARE(doc.model.undoRedoCount(), steps + 1);
    QVERIFY(!doc.model.canRedo());
}

void TestQmdLudraEditing::deletingInstrumentResetsReferences()
{
    NetworkDocument doc;
    QmdLudraController &c = doc.controller;
    const QmdItemId gone = doc.addInstrument();
    const QmdItemId stays = doc.addInstrument();
    const QmdItemId switching =
        doc.node(0, 0, {{"DoInstrumentChange", true}, {"Instrument", gone}});
    const QmdItemId other = doc.node(1, 0, {{"DoInstrumentChange", true}, {"Instrument", stays}});
    const QmdItemId group = doc.group(switching, {{"InitialInstrument", gone}});
    const QmdItemId keptGroup = doc.group(other, {{"InitialInstrument", stays}});
    const QString before = ModelDump::tree(doc.model);
    const int steps = doc.model.undoRedoCount();

    QSignalSpy removed(&c, &QmdLudraController::instrumentsRemoved);
    QSignalSpy added(&c, &QmdLudraController::instrumentsAdded);
    const QmdRequestId rid = c.requestRemove(gone, c.instrumentsIndex(), QString("Delete"));
    QVERIFY(doc.run(rid));
    QCOMPARE(doc.value(switching, "DoInstrumentChange"), QVariant(false));
    QCOMPARE(doc.value(switching, "Instrument"), QVariant(0u));
    QCOMPARE(doc.value(group, "InitialInstrument"), QVariant(0u));
    QCOMPARE(doc.value(other, "DoInstrumentChange"), QVariant(true));
    QCOMPARE(doc.value(other, "Instrument"), QVariant(stays));
    QCOMPARE(doc.value(keptGroup, "InitialInstrument"), QVariant(stays));
    QCOMPARE(doc.model.undoRedoCount(), steps + 1);
    QCOMPARE(removed.count(), 1);
    QCOMPARE(removed.first().at(0).value<QmdItemIdList>(), QmdItemIdList{gone});
    QCOMPARE(removed.first().at(1).value<QmdRequestId>(), rid);

    ModelSignalLog log(&doc.model);
    const QmdRequestId undo = c.requestUndo();
    QVERIFY(doc.run(undo));
    QCOMPARE(ModelDump::tree(doc.model), before);
    QCOMPARE(modelRequestsFinished(log.take(), undo), 1);
    QCOMPARE(added.count(), 1);
    QCOMPARE(added.first().at(0).value<QmdItemIdList>(), QmdItemIdList{gone});

    const QmdRequestId redo = c.requestRedo();
    QVERIFY(doc.run(redo));
    QCOMPARE(doc.value(switching, "Instrument"), QVariant(0u));
    QCOMPARE(log.take().filter("requestFinished(").size(), 1);
    QCOMPARE(removed.count(), 2);
}

void TestQmdLudraEditing::instrumentDataSignals()
{
    NetworkDocument doc;
    QmdLudraController &c = doc.controller;
    const QmdItemId instrument = doc.addInstrument();
    const QmdItemId node = doc.addNode();
    QSignalSpy changed(&c, &QmdLudraController::instrumentDataChanged);
    QSignalSpy removed(&c, &QmdLudraController::instrumentDataRemoved);

    const QmdRequestId set = c.requestSetData("Label", "Bass", doc.instrument(instrument));
    QVERIFY(doc.run(set));
    QVERIFY(doc.set(node, "Label", "not an instrument"));
    const QmdRequestId cut = c.requestRemove("MidiProgram", doc.instrument(instrument));
    QVERIFY(doc.run(cut));

    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.first().at(0).value<QmdItemId>(), instrument);
    QCOMPARE(changed.first().at(1).toStringList(), QStringList{"Label"});
    QCOMPARE(changed.first().at(2).value<QmdRequestId>(), set);
    QCOMPARE(removed.count(), 1);
    QCOMPARE(removed.first().at(0).value<QmdItemId>(), instrument);
    QCOMPARE(removed.first().at(1).toStringList(), QStringList{"MidiProgram"});
    QCOMPARE(removed.first().at(2).value<QmdRequestId>(), cut);
}

QTEST_GUILESS_MAIN(TestQmdLudraEditing)
#include "tst_qmdludraediting.moc"
