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
    void freeIdSearch_data();
    void freeIdSearch();
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
    QTest::newRow("setData by id creates and replaces") << "I{3=int:1}" << Operation([](M &m) {
        m.setData(QHash<QmdItemId, QVariant>{{3, 2}, {4, 3}});
    }) << "I{3=int:2,4=int:3}" << QStringList{"itemsChanged(/,[3,4],7)"};
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
    QTest::newRow("setData at the invalid index replaces the root")
        << nested << Operation([](M &m) {
               m.setData(QHash<QmdIndex, QVariant>{{QmdIndex(), 42}});
           })
        << "int:42" << QStringList{"rootChanged(7)"};
    QTest::newRow("remove with the invalid index clears the root")
        << nested << Operation([at](M &m) {
               m.remove(QmdIndexList{QmdIndex(), at(m, "i/1")});
           })
        << "-" << QStringList{"itemsRemoved(/i,[1],7)", "rootChanged(7)"};
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

QTEST_GUILESS_MAIN(TestQmdMemModel)
#include "tst_qmdmemmodel.moc"
