#include "modelbuild.h"
#include "modeldump.h"
#include "modelsignallog.h"
#include "qmdmemmodel.h"

#include <QRandomGenerator>
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
//   type R K I|S  set the type of key K            (text "Type R K")
//   undo R, redo R, clean R, forget R: the undo-state operations
//   limit R N     keep at most N undo and redo steps
void runStep(QmdMemModel &model, const QString &step)
{
    const QStringList words = step.split(' ');
    const QString &verb = words.at(0);
    const QmdRequestId rid = words.at(1).toUInt();
    const QString path = words.value(2);
    const QString key = path.section('/', -1);
    const QmdIndex parent = ModelBuild::indexAt(model, path.section('/', 0, -2));
    const bool undoable = verb == "set" || verb == "type";
    QString text = verb.at(0).toUpper() + verb.mid(1) + ' ' + words.at(1);
    if (undoable)
        text += ' ' + key;
    model.beginRequest(rid, QmdRequestOptions(undoable ? 0u : quint32(Qmd::NoUndo), text), text);
    if (verb == "set")
        model.setData(QHash<QString, QVariant>{{key, words.at(3).toInt()}}, parent);
    else if (verb == "type")
        model.setTypes(QHash<QString, Qmd::ContainerType>{{key, kindNamed(words.at(3))}}, parent);
    else if (verb == "undo")
        model.undo();
    else if (verb == "redo")
        model.redo();
    else if (verb == "clean")
        model.markAsCleanState();
    else if (verb == "forget")
        model.clearUndoRedo();
    else if (verb == "limit")
        model.setUndoRedoLimit(words.at(2).toInt());
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
    row("a clean state discarded with the redo list never comes back",
        "set 2 a 1; clean 3; undo 4; set 5 b 1", "undo 6",
        "itemsRemoved(/,[b],6); canRedoChanged(true,6); canUndoChanged(false,6); "
        "redoTextChanged(Set 5 b,6); undoTextChanged(,6); requestFinished(6,1,0)",
        "S{}", "count=1 undo= redo=Set 5 b clean=false");
    row("a clean state dropped off a limited history never comes back",
        "limit 1 2; set 2 a 1; set 3 a 2; set 4 a 3", "undo 5; undo 6",
        "itemsChanged(/,[a],5); canRedoChanged(true,5); redoTextChanged(Set 4 a,5); "
        "undoTextChanged(Set 3 a,5); requestFinished(5,1,0); itemsChanged(/,[a],6); "
        "canUndoChanged(false,6); redoTextChanged(Set 3 a,6); undoTextChanged(,6); "
        "requestFinished(6,1,0)",
        "S{a=int:1}", "count=2 undo= redo=Set 3 a clean=false");
    // Forgetting the history keeps the document and whether it is clean.
    row("forgotten history away from the clean state",
        "set 2 a 1; clean 3; set 4 a 2; set 5 a 3; undo 6", "forget 7",
        "canRedoChanged(false,7); canUndoChanged(false,7); redoTextChanged(,7); "
        "undoTextChanged(,7); requestFinished(7,1,0)",
        "S{a=int:2}", "count=0 undo= redo= clean=false");
    row("forgotten history at the clean state", "set 2 a 1; set 4 a 2; set 5 a 3; undo 6; clean 7",
        "forget 8; undo 9",
        "canRedoChanged(false,8); canUndoChanged(false,8); redoTextChanged(,8); "
        "undoTextChanged(,8); requestFinished(8,1,0); requestFinished(9,1,0)",
        "S{a=int:2}", "count=0 undo= redo= clean=true");
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
