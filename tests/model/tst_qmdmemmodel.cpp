#include "modelbuild.h"
#include "modeldump.h"
#include "modelsignallog.h"
#include "qmdmemmodel.h"
#include "qmdmemmodelcontainers.h"

#include <QTest>

#include <functional>
#include <limits>

using Operation = std::function<void(QmdMemModel &)>;
Q_DECLARE_METATYPE(Operation)

namespace {
constexpr QmdRequestId Rid = 7;
constexpr QmdItemId MaxId = std::numeric_limits<QmdItemId>::max();

QStringList itemSignals(const QStringList &lines)
{
    QStringList result;
    for (const QString &line : lines) {
        if (line.startsWith("items") || line.startsWith("root"))
            result << line;
    }
    return result;
}

} // namespace

class TestQmdMemModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void operations_data();
    void operations();
    void allocation_data();
    void allocation();
    void freeIdSearch_data();
    void freeIdSearch();
    void navigation();
    void validity();
    void removalOverSeveralContainers();
};

// Each row builds a tree, then runs one operation inside request 7 and checks
// the tree and the item signals it caused.
void TestQmdMemModel::operations_data()
{
    QTest::addColumn<QString>("tree");
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<QString>("dump");
    QTest::addColumn<QStringList>("log");

    using M = QmdMemModel;
    const QString nested = "S{i=I{1=int:10,2=int:20},s=S{x=int:1,y=int:2},v=int:5}";
    const auto at = [](const QmdModel &m, const char *path) {
        return ModelBuild::indexAt(m, path);
    };

    QTest::newRow("addData appends under new identifiers") << "I{}" << Operation([](M &m) {
        m.addData({7, "x"});
    }) << "I{1=int:7,2=QString:x}" << QStringList{"itemsChanged(/,[1,2],7)"};
    QTest::newRow("addTypes adds empty containers and invalid values")
        << "I{}" << Operation([](M &m) {
               m.addTypes({Qmd::IntDict, Qmd::StrDict, Qmd::NoContainer});
           })
        << "I{1=I{},2=S{},3=-}" << QStringList{"itemsChanged(/,[1,2,3],7)"};
    QTest::newRow("setData by id creates and replaces") << "I{3=int:1}" << Operation([](M &m) {
        m.setData(QHash<QmdItemId, QVariant>{{3, 2}, {4, 3}});
    }) << "I{3=int:2,4=int:3}" << QStringList{"itemsChanged(/,[3,4],7)"};
    QTest::newRow("zero identifier refused") << "I{}" << Operation([](M &m) {
        m.setData(QHash<QmdItemId, QVariant>{{0, 1}, {2, 5}});
    }) << "I{2=int:5}" << QStringList{"itemsChanged(/,[2],7)"};
    QTest::newRow("only a zero identifier: nothing stored, no signal")
        << "I{}" << Operation([](M &m) {
               m.setTypes(QHash<QmdItemId, Qmd::ContainerType>{{0, Qmd::IntDict}});
           })
        << "I{}" << QStringList();
    QTest::newRow("empty key refused") << "S{}" << Operation([](M &m) {
        m.setData(QHash<QString, QVariant>{{"", 1}, {"a", 2}});
    }) << "S{a=int:2}" << QStringList{"itemsChanged(/,[a],7)"};
    QTest::newRow("setData by key into an IntDict does nothing") << "I{}" << Operation([](M &m) {
        m.setData(QHash<QString, QVariant>{{"a", 1}});
    }) << "I{}" << QStringList();
    QTest::newRow("setTypes NoContainer keeps the item with an invalid value")
        << "S{a=int:5}" << Operation([](M &m) {
               m.setTypes(QHash<QString, Qmd::ContainerType>{{"a", Qmd::NoContainer}});
           })
        << "S{a=-}" << QStringList{"itemsChanged(/,[a],7)"};
    QTest::newRow("setTypes replaces a value by an empty container")
        << "I{4=int:5}" << Operation([](M &m) {
               m.setTypes(QHash<QmdItemId, Qmd::ContainerType>{{4, Qmd::StrDict}});
           })
        << "I{4=S{}}" << QStringList{"itemsChanged(/,[4],7)"};
    QTest::newRow("a replaced container is reported removed first")
        << nested << Operation([](M &m) {
               m.setData(QHash<QString, QVariant>{{"i", 1}, {"v", 2}});
           })
        << "S{i=int:1,s=S{x=int:1,y=int:2},v=int:2}"
        << QStringList{"itemsRemoved(/,[i],7)", "itemsChanged(/,[i,v],7)"};
    QTest::newRow("setData by index: one change per container, IntDicts first")
        << nested << Operation([at](M &m) {
               m.setData(QHash<QmdIndex, QVariant>{
                   {at(m, "s/x"), 100}, {at(m, "i/2"), 200}, {at(m, "s/y"), 300}});
           })
        << "S{i=I{1=int:10,2=int:200},s=S{x=int:100,y=int:300},v=int:5}"
        << QStringList{"itemsChanged(/i,[2],7)", "itemsChanged(/s,[x,y],7)"};
    QTest::newRow("setTypes by index")
        << nested << Operation([at](M &m) {
               m.setTypes(QHash<QmdIndex, Qmd::ContainerType>{{at(m, "v"), Qmd::IntDict},
                                                              {at(m, "i/1"), Qmd::StrDict}});
           })
        << "S{i=I{1=S{},2=int:20},s=S{x=int:1,y=int:2},v=I{}}"
        << QStringList{"itemsChanged(/i,[1],7)", "itemsChanged(/,[v],7)"};
    QTest::newRow("setData at the invalid index replaces the root")
        << nested << Operation([](M &m) {
               m.setData(QHash<QmdIndex, QVariant>{{QmdIndex(), 42}});
           })
        << "int:42" << QStringList{"rootChanged(7)"};
    QTest::newRow("remove skips missing identifiers") << nested << Operation([](M &m) {
        m.remove(QmdItemIdList{2, 9}, m.index("i"));
    }) << "S{i=I{1=int:10},s=S{x=int:1,y=int:2},v=int:5}"
                                                      << QStringList{"itemsRemoved(/i,[2],7)"};
    QTest::newRow("remove of missing keys only: no signal")
        << nested << Operation([](M &m) { m.remove(QStringList{"q"}, m.index("s")); }) << nested
        << QStringList();
    QTest::newRow("remove with the invalid index clears the root")
        << nested << Operation([at](M &m) {
               m.remove(QmdIndexList{QmdIndex(), at(m, "i/1")});
           })
        << "-" << QStringList{"itemsRemoved(/i,[1],7)", "rootChanged(7)"};
    QTest::newRow("clear empties a container")
        << nested << Operation([](M &m) { m.clear(m.index("i")); })
        << "S{i=I{},s=S{x=int:1,y=int:2},v=int:5}" << QStringList{"itemsRemoved(/i,[1,2],7)"};
    QTest::newRow("clear of the invalid index replaces the root by an invalid value")
        << nested << Operation([](M &m) { m.clear(QmdIndex()); }) << "-"
        << QStringList{"rootChanged(7)"};
}

void TestQmdMemModel::operations()
{
    QFETCH(QString, tree);
    QFETCH(Operation, operation);
    QFETCH(QString, dump);
    QFETCH(QStringList, log);

    QmdMemModel model;
    QVERIFY(ModelBuild::tree(model, tree));
    ModelSignalLog signalLog(&model);
    model.beginRequest(Rid, QmdRequestOptions(), "Operation");
    operation(model);
    model.endRequest();
    QCOMPARE(ModelDump::tree(model), dump);
    QCOMPARE(itemSignals(signalLog.lines()), log);
}

void TestQmdMemModel::allocation_data()
{
    QTest::addColumn<QmdItemIdList>("explicitIds");
    QTest::addColumn<int>("count");
    QTest::addColumn<QmdItemIdList>("expected");

    QTest::newRow("after an explicit 10 comes 11") << QmdItemIdList{10} << 1 << QmdItemIdList{11};
    QTest::newRow("identifiers in use are skipped")
        << QmdItemIdList{5, 6, 4} << 2 << QmdItemIdList{7, 8};
    QTest::newRow("continues from a lower explicit identifier")
        << QmdItemIdList{10, 3} << 1 << QmdItemIdList{4};
    QTest::newRow("reaches the largest, then wraps")
        << QmdItemIdList{1, MaxId - 2} << 3 << QmdItemIdList{MaxId - 1, MaxId, 2};
}

void TestQmdMemModel::allocation()
{
    QFETCH(QmdItemIdList, explicitIds);
    QFETCH(int, count);
    QFETCH(QmdItemIdList, expected);

    QmdMemModel model(Qmd::IntDict);
    for (QmdItemId id : explicitIds)
        model.setData(QHash<QmdItemId, QVariant>{{id, "explicit"}});
    const QmdItemIdList ids = model.addData(QList<QVariant>(count, "added"));
    QCOMPARE(ids, expected);
    for (QmdItemId id : ids)
        QCOMPARE(model.data(model.index(id)), QVariant("added"));
    QCOMPARE(model.ids().size(), explicitIds.size() + count);
}

// The allocation search itself, over a small identifier range so that
// exhaustion can be reached.
void TestQmdMemModel::freeIdSearch_data()
{
    QTest::addColumn<QmdItemId>("last");
    QTest::addColumn<QmdItemId>("largest");
    QTest::addColumn<QmdItemIdList>("used");
    QTest::addColumn<QmdItemId>("expected");

    QTest::newRow("skips used") << 3u << 10u << QmdItemIdList{4, 5} << 6u;
    QTest::newRow("wraps past used ones") << 8u << 10u << QmdItemIdList{9, 10, 1, 2} << 3u;
    QTest::newRow("only the last is left") << 3u << 5u << QmdItemIdList{1, 2, 4, 5} << 3u;
    QTest::newRow("exhausted") << 2u << 5u << QmdItemIdList{1, 2, 3, 4, 5} << 0u;
}

void TestQmdMemModel::freeIdSearch()
{
    QFETCH(QmdItemId, last);
    QFETCH(QmdItemId, largest);
    QFETCH(QmdItemIdList, used);
    QFETCH(QmdItemId, expected);

    if (expected == 0) {
        QTest::ignoreMessage(QtWarningMsg,
                             "registerNewItemId: item IDs have been exhausted for the given hash");
    } else {
        QTest::failOnWarning(QRegularExpression(".*"));
    }
    const QmdItemIdSet inUse(used.cbegin(), used.cend());
    int probes = 0;
    const QmdItemId id =
        QmdMemModel::IntDictSpecialItem::findFreeItemId(last, largest, [&](QmdItemId candidate) {
            ++probes;
            return inUse.contains(candidate);
        });
    QCOMPARE(id, expected);
    // Every identifier is looked at once, at most twice when it wraps.
    QVERIFY(probes <= 2 * int(largest));
}

void TestQmdMemModel::navigation()
{
    QmdMemModel model(Qmd::StrDict);
    model.setTypes(QHash<QString, Qmd::ContainerType>{{"net", Qmd::IntDict}});
    const QmdIndex net = model.index("net");
    const QmdItemId element = model.addTypes({Qmd::StrDict}, net).value(0);
    QCOMPARE(element, 1u);
    const QmdIndex elementIndex = model.index(element, net);
    model.setData(QHash<QString, QVariant>{{"Name", "n"}}, elementIndex);
    const QmdIndex name = model.index("Name", elementIndex);

    QCOMPARE(model.data(name), QVariant("n"));
    QCOMPARE(model.parent(name), elementIndex);
    QCOMPARE(model.parent(elementIndex), net);
    QCOMPARE(model.parent(net), QmdIndex());
    QCOMPARE(model.parent(QmdIndex()), QmdIndex());
    // The invalid index addresses the root.
    QCOMPARE(model.children(QmdIndex()), QmdIndexList{net});
    QCOMPARE(model.children(elementIndex), QmdIndexList{name});
    QCOMPARE(model.keys(elementIndex), QStringList{"Name"});
    QVERIFY(model.ids(elementIndex).isEmpty());

    // Items must exist to have an index; the kind of the parent must fit.
    QVERIFY(!model.isValid(model.index("Other", elementIndex)));
    QVERIFY(!model.isValid(model.index(2, net)));
    QVERIFY(!model.isValid(model.index(1, elementIndex)));
    QVERIFY(!model.isValid(model.index("net", net)));
    QVERIFY(!model.isValid(model.index("x", name)));

    // The index of a removed item stays valid while its container lives,
    // and reads as a missing item rather than as the root.
    model.remove(QStringList{"Name"}, elementIndex);
    QVERIFY(model.isValid(name));
    QVERIFY(!model.data(name).isValid());
    QCOMPARE(model.containerType(name), Qmd::NoContainer);
}

void TestQmdMemModel::validity()
{
    QmdMemModel model(Qmd::IntDict);
    QmdMemModel other(Qmd::IntDict);
    model.addData({1});
    other.addData({1});
    const QmdIndex mine = model.index(1);
    const QmdIndex theirs = other.index(1);

    QVERIFY(model.isValid(mine));
    QVERIFY(mine.isValid());
    QVERIFY(!model.isValid(theirs));
    QVERIFY(!model.isValid(QmdIndex()));
    QVERIFY(!model.isValid(QmdIndex(0u, mine.internalPointer(), &model)));
    QVERIFY(!model.isValid(QmdIndex(QString(), mine.internalPointer(), &model)));
    QVERIFY(!model.isValid(QmdIndex(1u, theirs.internalPointer(), &model)));
    // The other model's index addresses this model's root here.
    QCOMPARE(model.ids(theirs), QmdItemIdList{1});
}

// Three containers touched by one removal: one signal each, the IntDict
// groups before the StrDict group whatever the order of the indexes.
void TestQmdMemModel::removalOverSeveralContainers()
{
    QmdMemModel model(Qmd::StrDict);
    model.setTypes(QHash<QString, Qmd::ContainerType>{
        {"a", Qmd::IntDict}, {"b", Qmd::IntDict}, {"s", Qmd::StrDict}});
    model.addData({1, 2}, model.index("a"));
    model.addData({3}, model.index("b"));
    model.setData(QHash<QString, QVariant>{{"x", 1}}, model.index("s"));
    ModelSignalLog log(&model);
    const auto at = [&model](const char *path) { return ModelBuild::indexAt(model, path); };
    model.remove(QmdIndexList{at("s/x"), at("a/1"), at("b/1"), at("a/2")});

    const QStringList lines = itemSignals(log.lines());
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines.last(), QString("itemsRemoved(/s,[x],0)"));
    QVERIFY(lines.contains("itemsRemoved(/a,[1,2],0)"));
    QVERIFY(lines.contains("itemsRemoved(/b,[1],0)"));
    QCOMPARE(ModelDump::tree(model), QString("S{a=I{},b=I{},s=S{}}"));
    // Outside any request every change carries request id 0, so all of them
    // share one undo step.
    QCOMPARE(model.undoRedoCount(), 1);
}

QTEST_GUILESS_MAIN(TestQmdMemModel)
#include "tst_qmdmemmodel.moc"
