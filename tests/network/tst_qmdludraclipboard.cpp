#include "modeldump.h"
#include "modelsignallog.h"
#include "networkdocument.h"

#include <QTest>

namespace {

using QmdLudra::TickPos;
constexpr qint64 P = QmdLudra::TicksPerPrincipal;
// A division of the default grid of four divisions per principal.
constexpr qint64 D = P / 4;

QmdItemIdList sorted(QmdItemIdList ids)
{
    std::sort(ids.begin(), ids.end());
    return ids;
}

// The elements a request added, in the order of their ids.
template <class Request> QmdItemIdList addedBy(NetworkDocument &doc, Request request)
{
    const QmdItemIdList before = doc.controller.ids(doc.elements());
    if (!doc.run(request()))
        return {};
    QmdItemIdList added;
    for (QmdItemId id : doc.controller.ids(doc.elements())) {
        if (!before.contains(id))
            added << id;
    }
    return sorted(added);
}

// What the GUI would keep on the system clipboard.
QByteArray clipboard;

QmdItemIdList paste(NetworkDocument &doc, const TickPos &center)
{
    return addedBy(doc, [&] { return doc.controller.requestPaste(clipboard, center); });
}

bool copy(NetworkDocument &doc, const QmdItemIdList &ids)
{
    clipboard = doc.controller.copyElements(QmdItemIdSet(ids.cbegin(), ids.cend()));
    return !clipboard.isEmpty();
}

TickPos position(const NetworkDocument &doc, QmdItemId id)
{
    return doc.value(id, "TickPos").value<TickPos>();
}

} // namespace

class TestQmdLudraClipboard : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pasteSnapsFirstNode_data();
    void pasteSnapsFirstNode();
    void pasteRenumbersEdgeBookkeeping();
};

void TestQmdLudraClipboard::pasteSnapsFirstNode_data()
{
    QTest::addColumn<TickPos>("center");
    QTest::addColumn<TickPos>("expected");

    QTest::newRow("just short of a point") << TickPos{2 * D - 1, 0} << TickPos{2 * D, 0};
    QTest::newRow("half way goes up") << TickPos{2 * D + D / 2, 0} << TickPos{3 * D, 0};
    QTest::newRow("half way below zero goes down")
        << TickPos{-2 * D - D / 2, 0} << TickPos{-3 * D, 0};
}

void TestQmdLudraClipboard::pasteSnapsFirstNode()
{
    QFETCH(TickPos, center);
    QFETCH(TickPos, expected);

    // The grid snaps the first node even when snapping is off for moves.
    NetworkDocument doc;
    QVERIFY(doc.setRoot("SnapToGrid", false));
    const QmdItemId node = doc.addNode({7, -11});
    QVERIFY(copy(doc, {node}));
    const QmdItemIdList pasted = paste(doc, center);
    QCOMPARE(pasted.size(), 1);
    QCOMPARE(position(doc, pasted.first()), expected);
    QCOMPARE(position(doc, node), (TickPos{7, -11}));
}

// A fresh document hands out small ids, some of them the old ids of other
// copied edges.
void TestQmdLudraClipboard::pasteRenumbersEdgeBookkeeping()
{
    NetworkDocument doc;
    const QmdItemId n = doc.addNode({0, 0});
    const QmdItemId a = doc.addNode({P, 0});
    const QmdItemId b = doc.addNode({P, P});
    const QmdItemId e1 = doc.addEdge(n, a);
    const QmdItemId e2 = doc.addEdge(n, b);
    const QmdItemId e3 = doc.addEdge(n, a);
    QVERIFY(doc.set(n, "ArcUsageList", QString("%1=2,,%2=3,%3=1,%1=4").arg(e1).arg(e2).arg(e3)));
    QVERIFY(copy(doc, {n, a, e1, e3}));

    NetworkDocument target;
    const QmdItemIdList pasted = paste(target, {0, 2 * P});
    QCOMPARE(pasted.size(), 4);
    const QmdItemId n2 = pasted.at(0);
    const QmdItemId a2 = pasted.at(1);
    const QmdItemId e1b = pasted.at(2);
    const QmdItemId e3b = pasted.at(3);
    QCOMPARE(target.value(n2, "ArcUsageList"),
             QVariant(QString("%1=2,%2=1,%1=4").arg(e1b).arg(e3b)));
    QCOMPARE(sorted(target.idsIn(n2, "ArcIdentifiers")), sorted({e1b, e3b}));
    const QmdIndex identifiers = target.controller.index("ArcIdentifiers", target.element(n2));
    const auto identifierOf = [&](QmdItemId edge) {
        return target.controller.data(target.controller.index(edge, identifiers));
    };
    QCOMPARE(identifierOf(e1b), QVariant(0u));
    QCOMPARE(identifierOf(e3b), QVariant(2u));
    for (QmdItemId edge : {e1b, e3b}) {
        QCOMPARE(target.value(edge, "FromNode"), QVariant(n2));
        QCOMPARE(target.value(edge, "ToNode"), QVariant(a2));
    }
    for (QmdItemId id : pasted)
        QVERIFY(target.controller.isValid(target.state(id)));

    // The pasted edges are known by their from-node like any other.
    QVERIFY(target.removeElements({e1b}));
    QCOMPARE(target.value(n2, "ArcUsageList"), QVariant(QString("%1=1").arg(e3b)));
    QCOMPARE(target.idsIn(n2, "ArcIdentifiers"), QmdItemIdList{e3b});
    const QmdItemId added = target.addEdge(n2, a2);
    QCOMPARE(identifierOf(added), QVariant(0));
}

QTEST_GUILESS_MAIN(TestQmdLudraClipboard)
#include "tst_qmdludraclipboard.moc"
