#include "modeldump.h"
#include "modelsignallog.h"
#include "networkdocument.h"
#include "qmdludraimporter.h"

#include <QBuffer>
#include <QRegularExpression>
#include <QTest>

namespace {

using QmdLudra::TickPos;
constexpr qint64 P = QmdLudra::TicksPerPrincipal;
// A division of the default grid of four divisions per principal.
constexpr qint64 D = P / 4;

const QString MimeType = QStringLiteral("text/ludra-elements");

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

// The GUI pastes only a payload of the network's own format.
void putOnClipboard(const QByteArray &payload, const QString &type = MimeType)
{
    clipboard = type == MimeType ? payload : QByteArray();
}

int modelRequestsFinished(const QStringList &log)
{
    return int(log.filter(QRegularExpression("^requestFinished\\(")).size());
}

} // namespace

class TestQmdLudraClipboard : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void copyWritesOneFormat();
    void pasteSnapsFirstNode_data();
    void pasteSnapsFirstNode();
    void pasteKeepsDistances_data();
    void pasteKeepsDistances();
    void pasteDropsWhatLostItsEnds();
    void pasteRenumbersEdgeBookkeeping_data();
    void pasteRenumbersEdgeBookkeeping();
    void pasteOfNothingChangesNothing_data();
    void pasteOfNothingChangesNothing();
};

void TestQmdLudraClipboard::copyWritesOneFormat()
{
    NetworkDocument doc;
    const QmdItemId from = doc.addNode({P, -P});
    const QmdItemId to = doc.addNode({2 * P, 0});
    const QmdItemId edge = doc.addEdge(from, to);
    QVERIFY(doc.addInstrument() != 0);
    const QString tree = ModelDump::tree(doc.model);
    const int steps = doc.model.undoRedoCount();

    QVERIFY(copy(doc, {from, edge}));
    QCOMPARE(ModelDump::tree(doc.model), tree);
    QCOMPARE(doc.model.undoRedoCount(), steps);

    const QByteArray payload = clipboard;
    QVERIFY(payload.contains("<!DOCTYPE plist"));
    QVERIFY(payload.contains("<string>{665280, -665280}</string>"));
    QVERIFY(!payload.contains("Instruments"));
    QVERIFY(!payload.contains("HitCount"));

    QmdMemModel read;
    QBuffer buffer;
    buffer.setData(payload);
    buffer.open(QIODevice::ReadOnly);
    QVERIFY(QmdLudraImporter(&read, &buffer).importIndex());
    QCOMPARE(read.containerType(QmdIndex()), Qmd::IntDict);
    QCOMPARE(sorted(read.ids()), sorted({from, edge}));
}

void TestQmdLudraClipboard::pasteSnapsFirstNode_data()
{
    QTest::addColumn<uint>("divisions");
    QTest::addColumn<TickPos>("center");
    QTest::addColumn<TickPos>("expected");

    QTest::newRow("just short of a point") << 4u << TickPos{2 * D - 1, 0} << TickPos{2 * D, 0};
    QTest::newRow("half way goes up") << 4u << TickPos{2 * D + D / 2, 0} << TickPos{3 * D, 0};
    QTest::newRow("half way below zero goes down")
        << 4u << TickPos{-2 * D - D / 2, 0} << TickPos{-3 * D, 0};
    QTest::newRow("three divisions")
        << 3u << TickPos{P / 3 + P / 6 + 1, 0} << TickPos{2 * P / 3, 0};
    QTest::newRow("no divisions count as one")
        << 0u << TickPos{P / 2 + 1, P / 2 - 1} << TickPos{P, 0};
}

void TestQmdLudraClipboard::pasteSnapsFirstNode()
{
    QFETCH(uint, divisions);
    QFETCH(TickPos, center);
    QFETCH(TickPos, expected);

    NetworkDocument doc;
    QVERIFY(doc.run(doc.controller.requestSetData("DivsPerPrincipal", divisions)));
    QVERIFY(doc.run(doc.controller.requestSetData("SnapToGrid", false)));
    const QmdItemId node = doc.addNode({7, -11});
    QVERIFY(copy(doc, {node}));
    const QmdItemIdList pasted = paste(doc, center);
    QCOMPARE(pasted.size(), 1);
    QCOMPARE(position(doc, pasted.first()), expected);
    QCOMPARE(position(doc, node), (TickPos{7, -11}));
}

void TestQmdLudraClipboard::pasteKeepsDistances_data()
{
    QTest::addColumn<QList<TickPos>>("boxes");
    QTest::addColumn<TickPos>("center");
    QTest::addColumn<TickPos>("expected");

    // Text boxes copied with a node at 0: the bounding box of them all is
    // centred on the centre, the node goes from there to the nearest
    // division point, and the boxes keep their distance to it.
    QTest::newRow("box spanning 2P by 3")
        << QList<TickPos>{{2 * P, 0}, {P, 3}} << TickPos{5 * D + 3, 2 * D + 1} << TickPos{D, 2 * D};
    // With a box of odd size the middle is a tick short of the true one;
    // the centre is chosen so that the node then lies exactly half a
    // division away from a point and rounds up, while a middle rounded the
    // other way would send it down to 0.
    QTest::newRow("odd width halves toward zero")
        << QList<TickPos>{{3, 0}} << TickPos{D / 2 + 1, 0} << TickPos{D, 0};
    QTest::newRow("odd height halves toward zero")
        << QList<TickPos>{{0, 5}} << TickPos{0, D / 2 + 2} << TickPos{0, D};
}

void TestQmdLudraClipboard::pasteKeepsDistances()
{
    QFETCH(QList<TickPos>, boxes);
    QFETCH(TickPos, center);
    QFETCH(TickPos, expected);

    NetworkDocument doc;
    QmdItemIdList copied{doc.addNode({0, 0})};
    for (const TickPos &box : boxes)
        copied << doc.addTextBox(box);
    QVERIFY(copy(doc, copied));
    const QmdItemIdList pasted = paste(doc, center);
    QCOMPARE(pasted.size(), copied.size());
    QCOMPARE(position(doc, pasted.at(0)), expected);
    for (int i = 0; i < boxes.size(); ++i)
        QCOMPARE(position(doc, pasted.at(i + 1)), expected + boxes.at(i));
}

void TestQmdLudraClipboard::pasteDropsWhatLostItsEnds()
{
    NetworkDocument doc;
    const QmdItemId a = doc.addNode({0, 0});
    const QmdItemId b = doc.addNode({P, 0});
    const QmdItemId ab = doc.addEdge(a, b);
    const QmdItemId ba = doc.addEdge(b, a);
    const QmdItemId aa = doc.addEdge(a, a);
    const QmdItemId groupA = doc.addVoiceGroup(a);
    const QmdItemId groupB = doc.addVoiceGroup(b);
    QVERIFY(copy(doc, {a, ab, ba, aa, groupA, groupB}));
    const QString before = ModelDump::tree(doc.model);
    const int steps = doc.model.undoRedoCount();

    const QmdItemIdList pasted = paste(doc, {0, P});
    QCOMPARE(pasted.size(), 3);
    QCOMPARE(doc.model.undoRedoCount(), steps + 1);
    QCOMPARE(doc.controller.undoText(), QString("Paste"));
    const QmdItemId node = pasted.at(0);
    const QmdItemId loop = pasted.at(1);
    const QmdItemId group = pasted.at(2);
    QCOMPARE(doc.value(node, "Type").toUInt(), uint(QmdLudra::Node));
    QCOMPARE(doc.value(loop, "FromNode"), QVariant(node));
    QCOMPARE(doc.value(loop, "ToNode"), QVariant(node));
    QCOMPARE(doc.value(group, "ToNode"), QVariant(node));
    QCOMPARE(doc.idsIn(node, "ArcIdentifiers"), QmdItemIdList{loop});
    QCOMPARE(doc.value(node, "ArcUsageList"), QVariant(QString("%1=1").arg(loop)));
    for (QmdItemId id : {node, loop})
        QVERIFY(doc.controller.isValid(doc.state(id)));

    // One step to undo and redo, each reported finished once.
    const QString after = ModelDump::tree(doc.model);
    ModelSignalLog log(&doc.model);
    QVERIFY(doc.run(doc.controller.requestUndo()));
    QCOMPARE(ModelDump::tree(doc.model), before);
    QVERIFY(doc.run(doc.controller.requestRedo()));
    QCOMPARE(ModelDump::tree(doc.model), after);
    QCOMPARE(modelRequestsFinished(log.lines()), 2);
}

void TestQmdLudraClipboard::pasteRenumbersEdgeBookkeeping_data()
{
    QTest::addColumn<bool>("otherDocument");

    QTest::newRow("same document") << false;
    // A fresh document hands out small ids, some of them the old ids of
    // other copied edges.
    QTest::newRow("other document") << true;
}

void TestQmdLudraClipboard::pasteRenumbersEdgeBookkeeping()
{
    QFETCH(bool, otherDocument);

    NetworkDocument doc;
    const QmdItemId n = doc.addNode({0, 0});
    const QmdItemId a = doc.addNode({P, 0});
    const QmdItemId b = doc.addNode({P, P});
    const QmdItemId e1 = doc.addEdge(n, a);
    const QmdItemId e2 = doc.addEdge(n, b);
    const QmdItemId e3 = doc.addEdge(n, a);
    QVERIFY(doc.set(n, "ArcUsageList", QString("%1=2,,%2=3,%3=1,%1=4").arg(e1).arg(e2).arg(e3)));
    QVERIFY(copy(doc, {n, a, e1, e3}));

    NetworkDocument other;
    NetworkDocument &target = otherDocument ? other : doc;
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

void TestQmdLudraClipboard::pasteOfNothingChangesNothing_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QByteArray>("payload");

    const QByteArray header = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
    QTest::newRow("other format") << "text/plain" << QByteArray("<plist/>");
    QTest::newRow("empty") << MimeType << QByteArray();
    QTest::newRow("not a plist") << MimeType << QByteArray("<?xml version=\"1.0\"?><html/>");
    QTest::newRow("string dictionary")
        << MimeType
        << header + "<dict><key>ContainerType</key><string>StrDict</string>"
                    "<key>Type</key><string>Node</string></dict></plist>";
}

void TestQmdLudraClipboard::pasteOfNothingChangesNothing()
{
    QFETCH(QString, type);
    QFETCH(QByteArray, payload);

    NetworkDocument doc;
    QVERIFY(doc.addNode() != 0);
    putOnClipboard(payload, type);
    const QString before = ModelDump::tree(doc.model);
    const int steps = doc.model.undoRedoCount();
    const QmdRequestId rid = doc.controller.requestPaste(clipboard, {P, P});
    QVERIFY(rid != 0);
    QVERIFY(doc.run(rid));
    QCOMPARE(ModelDump::tree(doc.model), before);
    QCOMPARE(doc.model.undoRedoCount(), steps);
}

QTEST_GUILESS_MAIN(TestQmdLudraClipboard)
#include "tst_qmdludraclipboard.moc"
