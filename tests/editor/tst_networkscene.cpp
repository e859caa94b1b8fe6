#include "abstractsync.h"
#include "displayscale.h"
#include "graphicsedgeitem.h"
#include "graphicsnodeitem.h"
#include "graphicstextboxitem.h"
#include "graphicsvoicegroupitem.h"
#include "manualclock.h"
#include "networkdocument.h"
#include "networkscene.h"
#include "qmdludrapalette.h"
#include "recordinginstrument.h"

#include <QDir>
#include <QGraphicsSceneMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QTextEdit>
#include <QtTest>

// At 72 DPI one principal is 120 pixels and one point one pixel, so every
// position below is exact.
namespace {
constexpr double P = 120.0;

QImage render(QGraphicsScene &scene, const QRectF &source)
{
    QImage image(source.size().toSize(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    scene.render(&painter, QRectF(QPointF(), source.size()), source);
    return image;
}

QList<QPointF> points(const QPainterPath &path)
{
    QList<QPointF> result;
    for (int i = 0; i < path.elementCount(); ++i)
        result.append(path.elementAt(i));
    return result;
}
} // namespace

class TestNetworkScene : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { DisplayScale::pin(72); }
    void imagesAreBuiltIn();
    void examplesShowOneItemPerElement();
    void edgePath_data();
    void edgePath();
    void edgeFollowsItsNodesAndSelection();
    void voiceGroupFollowsNodeAndInstrument();
    void gridDrawsTheDivisions();
    void flashesShowOneSlicePerColour();
    void feedbackTakesAFrameAtATime();
    void textBoxWritesOnlyAnEditedText();
};

void TestNetworkScene::imagesAreBuiltIn()
{
    QFile list(qEnvironmentVariable("LUDRA_SOURCE_DIR") + "/resources/images/images.qrc");
    QVERIFY(list.open(QIODevice::ReadOnly));
    const QRegularExpression file("<file>(.*)</file>");
    int count = 0;
    for (auto it = file.globalMatch(QString::fromUtf8(list.readAll())); it.hasNext(); ++count) {
        const QString name = ":/images/" + it.next().captured(1);
        QVERIFY2(!QImage(name).isNull(), qPrintable(name));
    }
    QVERIFY(count >= 18);
}

void TestNetworkScene::examplesShowOneItemPerElement()
{
    const QDir examples(qEnvironmentVariable("LUDRA_SOURCE_DIR") + "/resources/examples");
    const QStringList files = examples.entryList({"*.ldx"});
    QVERIFY(!files.isEmpty());
    const QString previews = qEnvironmentVariable("LUDRA_PREVIEW_DIR");
    for (const QString &file : files) {
        NetworkDocument doc;
        NetworkScene scene;
        scene.setController(&doc.controller);
        QSignalSpy loaded(&doc.controller, &QmdLudraController::fileLoaded);
        doc.controller.requestLoad(examples.filePath(file));
        QCOMPARE(loaded.count(), 1);

        const QmdItemIdList ids = doc.controller.ids(doc.elements());
        QVERIFY(ids.size() > 3);
        QCOMPARE(scene.elementItemCount(), ids.size());
        static const QHash<uint, int> itemTypes = {
            {QmdLudra::Edge, ElementItem::EdgeType},
            {QmdLudra::Node, ElementItem::NodeType},
            {QmdLudra::TextBox, ElementItem::TextBoxType},
            {QmdLudra::VoiceGroup, ElementItem::VoiceGroupType}};
        for (QmdItemId id : ids) {
            ElementItem *item = scene.itemForId(id);
            QVERIFY2(item, qPrintable(file));
            QCOMPARE(item->graphicsItem()->type(),
                     itemTypes.value(doc.value(id, QmdLudra::TypeKey).toUInt()));
        }
        // A load selects nothing, and the network's extent is known.
        QVERIFY(scene.selectedItems().isEmpty());
        QVERIFY(!scene.contentsRect().isNull());

        if (!previews.isEmpty()) {
            // What playing shows: counters, and a node that two voices fire.
            QVERIFY(doc.setRoot("ShowNodeCounters", true));
            for (QmdItemId id : ids) {
                if (auto *node = dynamic_cast<GraphicsNodeItem *>(scene.itemForId(id))) {
                    node->setHitCount(12);
                    node->flashOn(1, QColor(255, 160, 40));
                    node->flashOn(2, QColor(80, 200, 255));
                    break;
                }
            }
            const QRectF shown = scene.contentsRect().adjusted(-60, -60, 60, 60);
            render(scene, shown).save(previews + "/" + QFileInfo(file).baseName() + ".png");
        }
    }
}

void TestNetworkScene::edgePath_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QPointF>("to"); // in principals, from the origin
    QTest::addColumn<QList<QPointF>>("route");
    QTest::addColumn<double>("arrowAngle");

    using L = QList<QPointF>;
    QTest::newRow("horizontal first")
        << 0 << QPointF(1, 1) << L{{10, 0}, {P, 0}, {P, P - 19}} << 90.0;
    QTest::newRow("vertical first") << 1 << QPointF(1, 1) << L{{0, 10}, {0, P}, {P - 19, P}} << 0.0;
    QTest::newRow("axis-parallel has no corner")
        << 0 << QPointF(1, 0) << L{{10, 0}, {P - 19, 0}} << 0.0;
    QTest::newRow("negative directions")
        << 0 << QPointF(-1, -1) << L{{-10, 0}, {-P, 0}, {-P, -P + 19}} << -90.0;
    // A second leg shorter than the arrow: a jog, and the arrow keeps the
    // first leg's direction.
    QTest::newRow("short vertical leg")
        << 0 << QPointF(1, 0.1) << L{{10, 0}, {P - 19, 0}, {P - 19, 12}} << 0.0;
    QTest::newRow("short horizontal leg, flipped, negative")
        << 1 << QPointF(-0.1, -1) << L{{0, -10}, {0, -P + 19}, {-12, -P + 19}} << -90.0;
    const double r = 10 / std::sqrt(2.0);
    const double b = 19 / std::sqrt(2.0);
    QTest::newRow("direct") << 2 << QPointF(1, 1) << L{{r, r}, {P - b, P - b}} << 45.0;
}

void TestNetworkScene::edgePath()
{
    QFETCH(int, kind);
    QFETCH(QPointF, to);
    QFETCH(QList<QPointF>, route);
    QFETCH(double, arrowAngle);

    NetworkDocument doc;
    NetworkScene scene;
    scene.setController(&doc.controller);
    const QmdItemId a = doc.node(0, 0);
    const QmdItemId b = doc.node(to.x(), to.y());
    const QmdItemId e = doc.edge(a, b, {{"Path", kind}});
    auto *edge = static_cast<GraphicsEdgeItem *>(scene.itemForId(e)->graphicsItem());

    QCOMPARE(edge->pos(), QPointF(0, 0));
    QCOMPARE(points(edge->path()), route);
    QCOMPARE(edge->arrowAngle(), arrowAngle);
    QCOMPARE(edge->arrowHead()->pos(), route.last());
}

void TestNetworkScene::edgeFollowsItsNodesAndSelection()
{
    NetworkDocument doc;
    NetworkScene scene;
    scene.setController(&doc.controller);
    const QmdItemId a = doc.node(0, 0);
    const QmdItemId b = doc.node(1, 1);
    const QmdItemId c = doc.node(2, 0);
    const QmdItemId ab = doc.edge(a, b);
    const QmdItemId ac = doc.edge(a, c);
    auto *edgeAb = static_cast<GraphicsEdgeItem *>(scene.itemForId(ab)->graphicsItem());
    auto *edgeAc = static_cast<GraphicsEdgeItem *>(scene.itemForId(ac)->graphicsItem());

    // Moving both ends alike moves the edge and keeps its shape.
    const QPainterPath before = edgeAb->path();
    QVERIFY(doc.set(a, QmdLudra::TickPosKey, QVariant::fromValue(NetworkDocument::at(0, 1))));
    QVERIFY(doc.set(b, QmdLudra::TickPosKey, QVariant::fromValue(NetworkDocument::at(1, 2))));
    QCOMPARE(edgeAb->pos(), QPointF(0, P));
    QCOMPARE(edgeAb->path(), before);
    // Moving one end reshapes it.
    QVERIFY(doc.set(b, QmdLudra::TickPosKey, QVariant::fromValue(NetworkDocument::at(2, 2))));
    QCOMPARE(edgeAb->path().currentPosition(), QPointF(2 * P, P - 19));

    // The node alone selected: its edges in their identifiers' colours, on
    // top; anything else selected: back to the edges' colour.
    const QColor base(10, 20, 30);
    scene.setEdgesColor(base);
    scene.clearSelection();
    scene.itemForId(a)->graphicsItem()->setSelected(true);
    QCOMPARE(doc.controller.elementSelection(), QmdItemIdSet{a});
    for (auto [edge, id] : {std::pair{edgeAb, ab}, std::pair{edgeAc, ac}}) {
        const int identifier =
            doc.controller
                .data(doc.controller.index(
                    id, doc.controller.index(QmdLudra::ArcIdentifiersKey, doc.element(a))))
                .toInt();
        QCOMPARE(edge->currentColor(), QmdLudraPalette::color(identifier));
        QCOMPARE(edge->zValue(), 1.0);
    }
    QVERIFY(edgeAb->currentColor() != edgeAc->currentColor());
    scene.itemForId(b)->graphicsItem()->setSelected(true);
    QCOMPARE(edgeAb->currentColor(), base);
    QCOMPARE(edgeAc->zValue(), 0.0);
}

void TestNetworkScene::voiceGroupFollowsNodeAndInstrument()
{
    NetworkDocument doc;
    NetworkScene scene;
    scene.setController(&doc.controller);
    const QmdItemId n = doc.node(1, 1);
    const QmdItemId instrument = doc.addInstrument();
    const QmdItemId g = doc.group(n, {{"InitialInstrument", instrument}});
    auto *group = static_cast<GraphicsVoiceGroupItem *>(scene.itemForId(g)->graphicsItem());
    QCOMPARE(group->pos(), QPointF(P, P));
    // Its tip touches the node's left rim.
    QCOMPARE(group->mapToScene(QPointF(-10, 0)), QPointF(P - 10, P));
    QVERIFY(group->polygon().contains(QPointF(-10, 0)));

    QVERIFY(doc.set(n, QmdLudra::TickPosKey, QVariant::fromValue(NetworkDocument::at(2, 0))));
    QCOMPARE(group->pos(), QPointF(2 * P, 0));

    QVERIFY(doc.run(doc.controller.requestSetData(
        {{"Color", QColor(200, 0, 0, 100)}, {"Label", "Bass"}}, doc.instrument(instrument))));
    QCOMPARE(group->pen().color(), QColor(200, 0, 0, 255));
    QCOMPARE(group->brush().color(), QColor(200, 0, 0, 50));
    QCOMPARE(group->toolTip(), QString("Bass"));
}

void TestNetworkScene::gridDrawsTheDivisions()
{
    NetworkDocument doc;
    NetworkScene scene;
    scene.setController(&doc.controller);
    const QColor background(0, 0, 0), divisions(0, 200, 0), principals(200, 0, 0);
    QVERIFY(
        doc.run(doc.controller.requestSetData({{"ShowGrid", true},
                                               {"DivsPerPrincipal", 4},
                                               {"StyleBackgroundColor", background},
                                               {"StyleDivisionLinesColor", divisions},
                                               {"StylePrincipalLinesColor", principals},
                                               {"StyleDivisionPointsColor", QColor(0, 0, 0, 0)},
                                               {"StylePrincipalPointsColor", QColor(0, 0, 0, 0)}},
                                              QmdIndex())));

    QImage image = render(scene, QRectF(0, 0, 2 * P, 2 * P));
    QCOMPARE(image.pixelColor(15, 50), background);
    QCOMPARE(image.pixelColor(30, 50), divisions);
    QCOMPARE(image.pixelColor(120, 50), principals);
    QCOMPARE(image.pixelColor(50, 90), divisions);

    QVERIFY(doc.setRoot("DivsPerPrincipal", 2));
    image = render(scene, QRectF(0, 0, 2 * P, 2 * P));
    QCOMPARE(image.pixelColor(30, 50), background);
    QCOMPARE(image.pixelColor(60, 50), divisions);

    QVERIFY(doc.setRoot("ShowGrid", false));
    image = render(scene, QRectF(0, 0, 2 * P, 2 * P));
    QCOMPARE(image.pixelColor(60, 50), background);
}

void TestNetworkScene::flashesShowOneSlicePerColour()
{
    NetworkDocument doc;
    NetworkScene scene;
    scene.setController(&doc.controller);
    const QmdItemId n = doc.node(1, 1);
    auto *node = static_cast<GraphicsNodeItem *>(scene.itemForId(n)->graphicsItem());
    scene.clearSelection();
    const QRectF around(P - 10, P - 10, 20, 20);
    const QColor red(255, 0, 0), blue(0, 0, 255), green(0, 255, 0);
    const auto at = [&](double x, double y) {
        return render(scene, around).pixelColor(int(x - around.left()), int(y - around.top()));
    };

    // Two halves, the first from 45 degrees: upper left, then lower right.
    node->flashOn(1, red);
    node->flashOn(2, blue);
    QCOMPARE(at(P - 4, P - 4), red);
    QCOMPARE(at(P + 4, P + 4), blue);
    // Thirds from 0 degrees; one voice may flash twice.
    node->flashOn(2, green);
    QCOMPARE(node->flashCount(), 3);
    QCOMPARE(at(P + 2, P - 6), red);
    QCOMPARE(at(P - 6, P + 1), blue);
    QCOMPARE(at(P + 2, P + 6), green);

    // A voice's flashes go out in the order they came.
    node->flashOff(2);
    node->flashOff(1);
    QCOMPARE(at(P, P - 6), green);
    node->flashOff(2);
    QCOMPARE(node->flashCount(), 0);
    QVERIFY(at(P, P - 6) != green);
}

void TestNetworkScene::feedbackTakesAFrameAtATime()
{
    ManualClock clock;
    InstrumentRecorder recorder;
    NetworkDocument doc(recorder.services(&clock));
    NetworkScene scene;
    scene.setController(&doc.controller);
    const QmdItemId a = doc.node(0, 0);
    const QmdItemId b = doc.node(1, 0);
    const QmdItemId instrument = doc.addInstrument();
    QVERIFY(doc.run(
        doc.controller.requestSetData("Color", QColor(255, 0, 0), doc.instrument(instrument))));
    doc.controller.requestPlay();
    QVERIFY(doc.controller.playback().timingSource()->isRunning());

    // A burst of 40 firings, half of them on each node.
    const qint64 now = doc.controller.playback().timingSource()->tickPosition();
    for (quint32 voice = 0; voice < 40; ++voice) {
        FiredNode record;
        record.arrivalTick = now;
        record.voiceGroup = 7;
        record.voice = voice;
        record.node = voice % 2 ? b : a;
        record.instrument = instrument;
        record.velocity = 127;
        record.duration = QmdLudra::TicksPerPrincipal;
        doc.controller.playback().firedNodes().append(record);
    }
    auto *nodeA = static_cast<GraphicsNodeItem *>(scene.itemForId(a)->graphicsItem());
    auto *nodeB = static_cast<GraphicsNodeItem *>(scene.itemForId(b)->graphicsItem());
    scene.checkFeedbackPipe();
    QCOMPARE(nodeA->flashCount() + nodeB->flashCount(), NetworkScene::MaxRecordsPerFrame);
    scene.checkFeedbackPipe();
    QCOMPARE(nodeA->flashCount(), 20);
    QCOMPARE(nodeB->flashCount(), 20);

    // Stopping puts every flash out.
    doc.controller.requestPause();
    scene.checkFeedbackPipe();
    QCOMPARE(nodeA->flashCount() + nodeB->flashCount(), 0);
}

void TestNetworkScene::textBoxWritesOnlyAnEditedText()
{
    NetworkDocument doc;
    NetworkScene scene;
    scene.setController(&doc.controller);
    const QmdItemId t = doc.addTextBox(NetworkDocument::at(1, 1));
    auto *box = static_cast<GraphicsTextBoxItem *>(scene.itemForId(t)->graphicsItem());
    // A new text box opens for typing at once.
    QVERIFY(box->editor());
    QVERIFY(box->editor()->textEdit()->textCursor().hasSelection());
    box->closeEditor();
    QCOMPARE(doc.controller.undoText(), QString("Text Box"));

    // A click on the selected box opens it again; typing and leaving writes
    // the text once.
    box->setSelected(true);
    QGraphicsSceneMouseEvent press(QEvent::GraphicsSceneMousePress);
    press.setButton(Qt::LeftButton);
    press.setPos(box->boundingRect().center());
    QGraphicsSceneMouseEvent release(QEvent::GraphicsSceneMouseRelease);
    release.setButton(Qt::LeftButton);
    release.setPos(box->boundingRect().center());
    scene.sendEvent(box, &press);
    scene.sendEvent(box, &release);
    QVERIFY(box->editor());
    QSignalSpy finished(&doc.controller, &QmdLudraController::requestFinished);
    box->editor()->textEdit()->selectAll();
    QTest::keyClicks(box->editor()->textEdit(), "Chorus");
    Q_EMIT box->editor()->editingFinished();
    QVERIFY(!box->editor());
    // The change is made at once (so an unchanged close above would have
    // shown), and finishes as one request.
    QCOMPARE(doc.controller.undoText(), QString("Text"));
    QTRY_COMPARE(finished.count(), 1);
    QVERIFY(doc.value(t, "Text").toString().contains("Chorus"));
}

QTEST_MAIN(TestNetworkScene)
#include "tst_networkscene.moc"
