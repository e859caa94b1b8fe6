#include "modelbuild.h"
#include "modeldump.h"
#include "modelsignallog.h"
#include "qmdmemmodel.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

namespace {
Qmd::ContainerType kindNamed(const QString &name)
{
    if (name == "I")
        return Qmd::IntDict;
    if (name == "S")
        return Qmd::StrDict;
    return Qmd::NoContainer;
}

// Runs one request the way a controller frames it. A step is a verb, a
// request id and arguments; a key argument may be a path ("a/x" is key x of
// the container at a):
//   set R K V     set key K to the integer V       (text "Set R K")
//   keep R K V    the same, flagged NoUndo          (text "Keep R K")
//   type R K I|S|N  set the type of key K          (text "Type R K")
//   root R I|S|N  set the type of the root          (text "Root R")
//   del R K       remove key K                      (text "Remove R K")
//   clear R       clear the root                    (text "Clear R")
//   undo R, redo R, clean R, limit R N: the undo-state operations
void runStep(QmdMemModel &model, const QString &step)
{
    const QStringList words = step.split(' ');
    const QString &verb = words.at(0);
    const QmdRequestId rid = words.at(1).toUInt();
    const QString path = words.value(2);
    const QString key = path.section('/', -1);
    const QmdIndex parent = ModelBuild::indexAt(model, path.section('/', 0, -2));
    static const QHash<QString, QString> titles{
        {"set", "Set"},     {"keep", "Keep"},   {"type", "Type"}, {"root", "Root"},
        {"del", "Remove"},  {"clear", "Clear"}, {"undo", "Undo"}, {"redo", "Redo"},
        {"clean", "Clean"}, {"limit", "Limit"}};
    const bool keyed = QStringList{"set", "keep", "type", "del"}.contains(verb);
    const QString text =
        QString("%1 %2").arg(titles.value(verb)).arg(rid) + (keyed ? ' ' + key : QString());
    const bool undoable = QStringList{"set", "type", "root", "del", "clear"}.contains(verb);
    model.beginRequest(rid, QmdRequestOptions(undoable ? 0u : quint32(Qmd::NoUndo), text), text);
    if (verb == "set" || verb == "keep")
        model.setData(QHash<QString, QVariant>{{key, words.at(3).toInt()}}, parent);
    else if (verb == "type")
        model.setTypes(QHash<QString, Qmd::ContainerType>{{key, kindNamed(words.at(3))}}, parent);
    else if (verb == "root")
        model.setTypes(QHash<QmdIndex, Qmd::ContainerType>{{QmdIndex(), kindNamed(path)}});
    else if (verb == "del")
        model.remove(QStringList{key}, parent);
    else if (verb == "clear")
        model.clear(QmdIndex());
    else if (verb == "undo")
        model.undo();
    else if (verb == "redo")
        model.redo();
    else if (verb == "clean")
        model.markAsCleanState();
    else if (verb == "limit")
        model.setUndoRedoLimit(path.toInt());
    else
        qFatal("unknown step %s", qPrintable(step));
    model.endRequest();
}

void runSteps(QmdMemModel &model, const QStringList &steps)
{
    for (const QString &step : steps)
        runStep(model, step);
}

QString undoSummary(const QmdModel &model)
{
    return QString("count=%1 undo=%2 redo=%3 clean=%4")
        .arg(model.undoRedoCount())
        .arg(model.undoText(), model.redoText(), model.isAtCleanState() ? "true" : "false");
}

// A random value of one of the kinds a document holds, sometimes invalid.
QVariant randomValue(QRandomGenerator &random)
{
    const QVariantList values{int(random.bounded(100)), QString("s%1").arg(random.bounded(100)),
                              random.bounded(4) / 4.0, bool(random.bounded(2)), QVariant()};
    return values.at(random.bounded(5));
}

Qmd::ContainerType randomKind(QRandomGenerator &random)
{
    return Qmd::ContainerType(random.bounded(3));
}

// Every container of the tree, the root first; checks on the way that each
// child index is valid and leads back to its parent.
bool collectContainers(const QmdModel &model, const QmdIndex &index, QmdIndexList &containers)
{
    if (model.containerType(index) == Qmd::NoContainer)
        return true;
    containers << index;
    for (const QmdIndex &child : model.children(index)) {
        if (!model.isValid(child) || model.parent(child) != index)
            return false;
        if (!collectContainers(model, child, containers))
            return false;
    }
    return true;
}

template <class T> T pick(QRandomGenerator &random, const QList<T> &list)
{
    return list.at(random.bounded(int(list.size())));
}

// One random change: an operation of each form on a random container.
void randomChange(QmdMemModel &model, QRandomGenerator &random)
{
    QmdIndexList containers;
    collectContainers(model, QmdIndex(), containers);
    if (containers.isEmpty() || random.bounded(200) == 0) {
        const Qmd::ContainerType kind = random.bounded(2) ? Qmd::StrDict : Qmd::IntDict;
        model.setTypes(QHash<QmdIndex, Qmd::ContainerType>{{QmdIndex(), kind}});
        return;
    }
    const QmdIndex parent = pick(random, containers);
    QmdIndexList items;
    for (const QmdIndex &container : containers)
        items << model.children(container);
    const bool intDict = model.containerType(parent) == Qmd::IntDict;
    const QStringList keyPool{"a", "b", "c", "d", "e"};
    const QString k1 = pick(random, keyPool);
    const QString k2 = pick(random, keyPool);
    const QmdItemId id1 = random.bounded(1u, 8u);
    const QmdItemId id2 = random.bounded(1u, 8u);
    const QVariant v1 = randomValue(random);
    const QVariant v2 = randomValue(random);
    const Qmd::ContainerType kind = randomKind(random);
    // Every change makes at least one command, so each one is a step.
    switch (random.bounded(items.isEmpty() ? 6 : 9)) {
    case 0:
        if (intDict)
            model.addData({v1, v2}, parent);
        else
            model.setData(QHash<QString, QVariant>{{k1, v1}}, parent);
        break;
    case 1:
    case 2:
        if (intDict)
            model.addTypes({kind}, parent);
        else
            model.setTypes(QHash<QString, Qmd::ContainerType>{{k1, kind}}, parent);
        break;
    case 3:
        if (intDict)
            model.setData(QHash<QmdItemId, QVariant>{{id1, v1}, {id2, v2}}, parent);
        else
            model.setData(QHash<QString, QVariant>{{k1, v1}, {k2, v2}}, parent);
        break;
    case 4:
        if (intDict)
            model.setTypes(QHash<QmdItemId, Qmd::ContainerType>{{id1, kind}}, parent);
        else
            model.remove(QStringList{k1, k2}, parent);
        break;
    case 5:
        if (intDict)
            model.remove(QmdItemIdList{id1, id2}, parent);
        else
            model.clear(parent);
        break;
    case 6:
        model.setData(
            QHash<QmdIndex, QVariant>{{pick(random, items), v1}, {pick(random, items), v2}});
        break;
    case 7:
        model.setTypes(QHash<QmdIndex, Qmd::ContainerType>{{pick(random, items), kind}});
        break;
    default:
        model.remove(QmdIndexList{pick(random, items), pick(random, items)});
        break;
    }
}

// A list written as one string, its entries separated by "; ".
QStringList entries(const QString &text)
{
    return text.split(QStringLiteral("; "), Qt::SkipEmptyParts);
}

// One row of signalSequences: prelude steps, action steps, the signal log,
// the tree and the undo summary after the action.
void row(const char *name, const QString &prelude, const QString &action, const QString &log,
         const QString &tree, const QString &summary)
{
    QTest::newRow(name) << entries(prelude) << entries(action) << entries(log) << tree << summary;
}
} // namespace

class TestQmdMemModelUndo : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void signalSequences_data();
    void signalSequences();
    void removedSubtreeComesBack();
    void clearUndoRedo_data();
    void clearUndoRedo();
    void staleIndex_data();
    void staleIndex();
    void randomRoundTrip();
};

// Each row runs a prelude unobserved, then the action steps while recording
// every signal of the model in order; then checks the tree and undo state.
void TestQmdMemModelUndo::signalSequences_data()
{
    QTest::addColumn<QStringList>("prelude");
    QTest::addColumn<QStringList>("action");
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<QString>("tree");
    QTest::addColumn<QString>("summary");

    row("first change", "", "set 2 a 1",
        "itemsChanged(/,[a],2); atCleanStateChanged(false,2); canUndoChanged(true,2); "
        "undoTextChanged(Set 2 a,2); requestFinished(2,0,0)",
        "S{a=int:1}", "count=1 undo=Set 2 a redo= clean=false");
    row("undo", "set 2 a 1", "undo 3",
        "itemsRemoved(/,[a],3); atCleanStateChanged(true,3); canRedoChanged(true,3); "
        "canUndoChanged(false,3); redoTextChanged(Set 2 a,3); undoTextChanged(,3); "
        "requestFinished(3,1,0)",
        "S{}", "count=1 undo= redo=Set 2 a clean=true");
    row("nothing to undo or redo", "", "undo 2; redo 3",
        "requestFinished(2,1,0); requestFinished(3,1,0)", "S{}", "count=0 undo= redo= clean=true");
    row("same request id merges into the last step", "set 2 a 1", "set 2 b 2",
        "itemsChanged(/,[b],2); requestFinished(2,0,0)", "S{a=int:1,b=int:2}",
        "count=1 undo=Set 2 a redo= clean=false");
    row("merged step undone in one, the later change first", "set 2 a 1; set 2 a 2; set 2 b 3",
        "undo 3",
        "itemsRemoved(/,[b],3); itemsChanged(/,[a],3); itemsRemoved(/,[a],3); "
        "atCleanStateChanged(true,3); canRedoChanged(true,3); canUndoChanged(false,3); "
        "redoTextChanged(Set 2 a,3); undoTextChanged(,3); requestFinished(3,1,0)",
        "S{}", "count=1 undo= redo=Set 2 a clean=true");
    row("an earlier request id no longer merges", "set 2 a 1; set 3 b 1", "set 2 c 1",
        "itemsChanged(/,[c],2); undoTextChanged(Set 2 c,2); requestFinished(2,0,0)",
        "S{a=int:1,b=int:1,c=int:1}", "count=3 undo=Set 2 c redo= clean=false");
    row("a change discards the redo list", "set 2 a 1; set 3 b 1; undo 4", "set 5 c 1",
        "itemsChanged(/,[c],5); canRedoChanged(false,5); redoTextChanged(,5); undoTextChanged(Set "
        "5 c,5); requestFinished(5,0,0)",
        "S{a=int:1,c=int:1}", "count=2 undo=Set 5 c redo= clean=false");
    row("limit 2: the first change cannot be undone", "limit 1 2; set 2 a 1; set 3 b 1; set 4 c 1",
        "undo 5; undo 6; undo 7",
        "itemsRemoved(/,[c],5); canRedoChanged(true,5); redoTextChanged(Set 4 c,5); "
        "undoTextChanged(Set 3 b,5); requestFinished(5,1,0); itemsRemoved(/,[b],6); "
        "atCleanStateChanged(true,6); canUndoChanged(false,6); redoTextChanged(Set 3 b,6); "
        "undoTextChanged(,6); requestFinished(6,1,0); requestFinished(7,1,0)",
        "S{a=int:1}", "count=2 undo= redo=Set 3 b clean=true");
    row("lowering the limit drops the redo list before the undo list",
        "set 2 a 1; set 3 b 1; undo 4", "limit 5 1",
        "canRedoChanged(false,5); redoTextChanged(,5); requestFinished(5,1,0)", "S{a=int:1}",
        "count=1 undo=Set 2 a redo= clean=false");
    row("a negative limit counts as no limit", "limit 1 -1; set 2 a 1; set 3 b 1", "set 4 c 1",
        "itemsChanged(/,[c],4); undoTextChanged(Set 4 c,4); requestFinished(4,0,0)",
        "S{a=int:1,b=int:1,c=int:1}", "count=3 undo=Set 4 c redo= clean=false");
    row("a clean state discarded with the redo list never comes back",
        "set 2 a 1; clean 3; undo 4; set 5 b 1", "undo 6",
        "itemsRemoved(/,[b],6); canRedoChanged(true,6); canUndoChanged(false,6); "
        "redoTextChanged(Set 5 b,6); undoTextChanged(,6); requestFinished(6,1,0)",
        "S{}", "count=1 undo= redo=Set 5 b clean=false");
    row("a trimmed clean step leaves the clean state at the oldest step",
        "limit 1 2; set 2 a 1; clean 3; set 4 b 1; set 5 c 1", "undo 6; undo 7",
        "itemsRemoved(/,[c],6); canRedoChanged(true,6); redoTextChanged(Set 5 c,6); "
        "undoTextChanged(Set 4 b,6); requestFinished(6,1,0); itemsRemoved(/,[b],7); "
        "atCleanStateChanged(true,7); canUndoChanged(false,7); redoTextChanged(Set 4 b,7); "
        "undoTextChanged(,7); requestFinished(7,1,0)",
        "S{a=int:1}", "count=2 undo= redo=Set 4 b clean=true");
    row("no-undo change keeps the redo list", "set 2 a 1; set 3 b 1; undo 4", "keep 5 c 1; redo 6",
        "itemsChanged(/,[c],5); requestFinished(5,1,0); itemsChanged(/,[b],6); "
        "canRedoChanged(false,6); redoTextChanged(,6); undoTextChanged(Set 3 b,6); "
        "requestFinished(6,1,0)",
        "S{a=int:1,b=int:1,c=int:1}", "count=2 undo=Set 3 b redo= clean=false");
    row("no-undo change under the last step's id is not merged", "set 2 a 1", "keep 2 b 1; undo 3",
        "itemsChanged(/,[b],2); requestFinished(2,1,0); itemsRemoved(/,[a],3); "
        "atCleanStateChanged(true,3); canRedoChanged(true,3); canUndoChanged(false,3); "
        "redoTextChanged(Set 2 a,3); undoTextChanged(,3); requestFinished(3,1,0)",
        "S{b=int:1}", "count=1 undo= redo=Set 2 a clean=true");
    row("replacing a container reports its removal first", "type 2 a S; set 3 a/x 1",
        "set 4 a 1; undo 5",
        "itemsRemoved(/,[a],4); itemsChanged(/,[a],4); undoTextChanged(Set 4 a,4); "
        "requestFinished(4,0,0); itemsChanged(/,[a],5); canRedoChanged(true,5); "
        "redoTextChanged(Set 4 a,5); undoTextChanged(Set 3 x,5); requestFinished(5,1,0)",
        "S{a=S{x=int:1}}", "count=3 undo=Set 3 x redo=Set 4 a clean=false");
    row("clear the root and undo", "set 2 a 1", "clear 3; undo 4",
        "rootChanged(3); undoTextChanged(Clear 3,3); requestFinished(3,0,0); rootChanged(4); "
        "canRedoChanged(true,4); redoTextChanged(Clear 3,4); undoTextChanged(Set 2 a,4); "
        "requestFinished(4,1,0)",
        "S{a=int:1}", "count=2 undo=Set 2 a redo=Clear 3 clean=false");
}

void TestQmdMemModelUndo::signalSequences()
{
    QFETCH(QStringList, prelude);
    QFETCH(QStringList, action);
    QFETCH(QStringList, log);
    QFETCH(QString, tree);
    QFETCH(QString, summary);

    QmdMemModel model(Qmd::StrDict);
    runSteps(model, prelude);
    ModelSignalLog signalLog(&model);
    runSteps(model, action);
    QCOMPARE(signalLog.lines(), log);
    QCOMPARE(ModelDump::tree(model), tree);
    QCOMPARE(undoSummary(model), summary);
}

// A removed container lives on in the removal command: undo brings the very
// same containers back, so identifiers and indexes below them still hold.
void TestQmdMemModelUndo::removedSubtreeComesBack()
{
    QmdMemModel model(Qmd::IntDict);
    model.beginRequest(2, QmdRequestOptions(), "Build");
    const QmdItemId element = model.addTypes({Qmd::StrDict}).value(0);
    const QmdIndex elementIndex = model.index(element);
    model.setTypes(QHash<QString, Qmd::ContainerType>{{"List", Qmd::IntDict}}, elementIndex);
    const QmdIndex list = model.index("List", elementIndex);
    model.addData({5, 6, 7}, list);
    model.setData(QHash<QmdItemId, QVariant>{{40, "far"}}, list);
    model.addTypes({Qmd::StrDict}, list);
    model.endRequest();
    const QString before = ModelDump::tree(model);
    QCOMPARE(before, QString("I{1=S{List=I{1=int:5,2=int:6,3=int:7,40=QString:far,41=S{}}}}"));
    const QmdIndex deep = model.index(40, list);

    for (QmdRequestId round = 0; round < 2; ++round) {
        const QmdRequestId rid = 3 + 3 * round;
        model.beginRequest(rid, QmdRequestOptions(), "Remove");
        model.remove(QmdItemIdList{element});
        model.endRequest();
        QCOMPARE(ModelDump::tree(model), QString("I{}"));
        // Held by the command: its indexes stay valid and read its values.
        QVERIFY(model.isValid(deep));
        QCOMPARE(model.data(deep), QVariant("far"));

        runStep(model, QString("undo %1").arg(rid + 1));
        QCOMPARE(ModelDump::tree(model), before);
        QCOMPARE(model.index(element), elementIndex);
        QCOMPARE(model.index("List", elementIndex), list);
        QCOMPARE(model.index(40, list), deep);
        // Allocation in the restored container goes on where it stopped;
        // an identifier whose item was undone is not handed out again.
        QCOMPARE(model.addData({8}, list), QmdItemIdList{42 + round});
        runStep(model, QString("undo %1").arg(rid + 2));
    }
    QCOMPARE(ModelDump::tree(model), before);
}

// An index into a container stays valid while some command can still put
// the container back, and stops being valid once the container is destroyed;
// then it addresses the root.
void TestQmdMemModelUndo::clearUndoRedo_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<bool>("clean");

    QTest::newRow("clean state marked earlier")
        << QStringList{"set 2 a 1", "clean 3", "set 4 a 2", "set 5 a 3", "undo 6"} << false;
    QTest::newRow("at the clean state")
        << QStringList{"set 2 a 1", "set 4 a 2", "set 5 a 3", "undo 6", "clean 7"} << true;
}

void TestQmdMemModelUndo::clearUndoRedo()
{
    QFETCH(QStringList, steps);
    QFETCH(bool, clean);

    QmdMemModel model(Qmd::StrDict);
    runSteps(model, steps);
    QVERIFY(model.canUndo());
    QVERIFY(model.canRedo());
    QSignalSpy canUndo(&model, &QmdModel::canUndoChanged);
    QSignalSpy canRedo(&model, &QmdModel::canRedoChanged);
    QSignalSpy cleanChanged(&model, &QmdModel::atCleanStateChanged);

    model.clearUndoRedo();
    QCOMPARE(model.undoRedoCount(), 0);
    QCOMPARE(canUndo.count(), 1);
    QCOMPARE(canRedo.count(), 1);
    QVERIFY(model.undoText().isEmpty());
    QVERIFY(model.redoText().isEmpty());
    QCOMPARE(model.isAtCleanState(), clean);
    QCOMPARE(cleanChanged.count(), 0);
    QCOMPARE(ModelDump::tree(model), QString("S{a=int:2}"));
    model.undo();
    model.redo();
    QCOMPARE(ModelDump::tree(model), QString("S{a=int:2}"));
    model.markAsCleanState();
    QVERIFY(model.isAtCleanState());
}

void TestQmdMemModelUndo::staleIndex_data()
{
    QTest::addColumn<QStringList>("build");
    QTest::addColumn<QStringList>("hold");
    QTest::addColumn<QStringList>("destroy");

    const QStringList build{"type 2 a S", "set 3 a/x 1"};
    QTest::newRow("removal trimmed by the limit")
        << build << QStringList{"del 4 a", "limit 5 1"} << QStringList{"set 6 b 1"};
    QTest::newRow("creation trimmed from the redo list")
        << QStringList{"set 1 z 1", "type 2 a S", "set 3 a/x 1"}
        << QStringList{"undo 4", "undo 5", "limit 6 2"} << QStringList{"limit 7 1"};
    QTest::newRow("old root trimmed with its subtree")
        << build << QStringList{"clear 4", "limit 5 1"} << QStringList{"root 6 S"};
    QTest::newRow("replaced by a no-undo change")
        << build << QStringList() << QStringList{"keep 4 a 1"};
}

void TestQmdMemModelUndo::staleIndex()
{
    QFETCH(QStringList, build);
    QFETCH(QStringList, hold);
    QFETCH(QStringList, destroy);

    QmdMemModel model(Qmd::StrDict);
    runSteps(model, build);
    const QmdIndex index = ModelBuild::indexAt(model, "a/x");
    const QmdIndex parent = model.parent(index);
    QVERIFY(model.isValid(index));
    runSteps(model, hold);
    QVERIFY(model.isValid(index));
    QVERIFY(model.isValid(parent));
    runSteps(model, destroy);
    QVERIFY(!model.isValid(index));
    QVERIFY(!index.isValid());
    QCOMPARE(model.parent(index), QmdIndex());
    QCOMPARE(model.data(index), model.data(QmdIndex()));
    QCOMPARE(model.containerType(index), model.containerType(QmdIndex()));
    QCOMPARE(model.children(index), model.children(QmdIndex()));
    QCOMPARE(model.keys(index), model.keys(QmdIndex()));
}

// Random changes, some merged into the step before and some after partial
// undos; every undo and redo must then walk exactly through the recorded
// trees, identifiers included.
void TestQmdMemModelUndo::randomRoundTrip()
{
    QRandomGenerator random(1);
    QmdMemModel model(Qmd::StrDict);
    QStringList trees{ModelDump::tree(model)}; // trees[i]: the tree after i undo steps
    QmdRequestId rid = 1;
    for (int change = 0; change < 200; ++change) {
        if (random.bounded(12) == 0 && model.canUndo()) {
            const int steps = int(random.bounded(1, 4));
            for (int i = 0; i < steps && model.canUndo(); ++i) {
                runStep(model, QString("undo %1").arg(++rid));
                trees.removeLast();
                QCOMPARE(ModelDump::tree(model), trees.last());
            }
        }
        const bool merge = random.bounded(4) == 0;
        if (!merge)
            ++rid;
        model.beginRequest(rid, QmdRequestOptions(), "Change");
        randomChange(model, random);
        model.endRequest();
        QmdIndexList containers;
        QVERIFY(collectContainers(model, QmdIndex(), containers));
        QVERIFY(!model.canRedo());
        // The redo list is gone, so the count is that of the undo steps.
        if (model.undoRedoCount() > int(trees.size()) - 1)
            trees.append(ModelDump::tree(model));
        else
            trees.last() = ModelDump::tree(model);
        QCOMPARE(model.undoRedoCount(), int(trees.size()) - 1);
    }

    const QStringList forward = trees;
    while (model.canUndo()) {
        runStep(model, QString("undo %1").arg(++rid));
        trees.removeLast();
        QCOMPARE(ModelDump::tree(model), trees.last());
    }
    QCOMPARE(trees.size(), 1);
    for (qsizetype step = 1; step < forward.size(); ++step) {
        runStep(model, QString("redo %1").arg(++rid));
        QCOMPARE(ModelDump::tree(model), forward.at(step));
    }
    QVERIFY(!model.canRedo());
}

QTEST_GUILESS_MAIN(TestQmdMemModelUndo)
#include "tst_qmdmemmodelundo.moc"
