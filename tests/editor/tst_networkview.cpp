#include "displayscale.h"
#include "graphicsedgeitem.h"
#include "manualclock.h"
#include "midisync.h"
#include "networkdocument.h"
#include "networkscene.h"
#include "networkview.h"
#include "recordinginstrument.h"
#include "toolactions.h"
#include "zoomcombobox.h"

#include <QGraphicsPolygonItem>
#include <QMainWindow>
#include <QMenu>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>

// At 72 DPI one principal is 120 pixels at zoom 1. Points below are given
// in principals and reached through the view, as the user aims at them.
namespace {
constexpr qint64 T = QmdLudra::TicksPerPrincipal;
using QmdLudra::TickPos;
using Note = std::pair<int, qint64>;

// A document in a window: the view in the middle, the tools in a tool bar.
struct Editor
{
    explicit Editor(bool shown = true)
    {
        scene.setController(&doc.controller);
        view->setController(&doc.controller);
        window.setCentralWidget(view);
        tools->addActions(view->toolActions()->actions());
        window.resize(900, 700);
        if (shown)
            show();
    }
    void show()
    {
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }

    QWidget *viewport() const { return view->viewport(); }
    QPoint at(double x, double y) const { return view->mapFromScene(QPointF(x * 120, y * 120)); }
    bool pick(int tool)
    {
        QTest::mouseClick(tools->widgetForAction(view->toolActions()->action(tool)),
                          Qt::LeftButton);
        return QTest::qWaitFor([&] { return view->tool() == tool; });
    }
    void click(QPoint pos, Qt::KeyboardModifiers keys = {})
    {
        QTest::mouseClick(viewport(), Qt::LeftButton, keys, pos);
    }
    void drag(QPoint from, QPoint to, Qt::KeyboardModifiers keys = {})
    {
        QTest::mousePress(viewport(), Qt::LeftButton, keys, from);
        QTest::mouseMove(viewport(), (from + to) / 2);
        QTest::mouseRelease(viewport(), Qt::LeftButton, keys, to);
    }
    int steps() const { return doc.controller.undoRedoCount(); }
    // The scene hears of new elements from the event loop, once the
    // requests that made them have done all they do.
    bool shows(int count)
    {
        return QTest::qWaitFor([&] { return scene.elementItemCount() == count; });
    }
    QmdItemIdList elements() const { return doc.controller.ids(doc.elements()); }
    QmdItemIdList ofType(uint type) const
    {
        QmdItemIdList found;
        for (QmdItemId id : elements()) {
            if (doc.value(id, QmdLudra::TypeKey).toUInt() == type)
                found.append(id);
        }
        return found;
    }
    TickPos pos(QmdItemId id) const { return doc.value(id, QmdLudra::TickPosKey).value<TickPos>(); }

    NetworkDocument doc;
    NetworkScene scene;
    QMainWindow window;
    NetworkView *view = new NetworkView(&scene, &window);
    QToolBar *tools = window.addToolBar(QStringLiteral("Tools"));
};

QAction *entry(QMenu *menu, const QString &text)
{
    for (QAction *action : menu->actions()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}
} // namespace

class TestNetworkView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { DisplayScale::pin(72); }
    void snapping_data();
    void snapping();
    void dragMovesTheSelectionAsOneStep();
    void nodeAndEdge();
    void escapeCancelsCreation();
    void zoomTool();
    void contextMenuOfAnEdge();
    void voiceGroupOnlyOnANode();
    void auditionPlaysThePitchList();
    void anOpenedNetworkIsInView_data();
    void anOpenedNetworkIsInView();
};

void TestNetworkView::snapping_data()
{
    QTest::addColumn<int>("divisions");
    QTest::addColumn<qint64>("value");
    QTest::addColumn<qint64>("snapped");
    const qint64 max = std::numeric_limits<qint64>::max();
    // 0 divisions count as 1; 665280 / 13 leaves a rest, so its step is odd.
    QTest::newRow("0, half") << 0 << T / 2 << T;
    QTest::newRow("4, below half") << 4 << T / 8 - 1 << qint64(0);
    QTest::newRow("4, half") << 4 << T / 8 << T / 4;
    QTest::newRow("7, half") << 7 << T / 2 << 4 * (T / 7);
    QTest::newRow("7, below half") << 7 << T / 2 - 1 << 3 * (T / 7);
    QTest::newRow("13, half of an odd step")
        << 13 << qint64(2 * 51175 + 25588) << 3 * qint64(51175);
    QTest::newRow("13, below half") << 13 << qint64(2 * 51175 + 25587) << 2 * qint64(51175);
    QTest::newRow("beyond 64 bits, towards zero") << 4 << max << max - max % (T / 4);
}

void TestNetworkView::snapping()
{
    QFETCH(int, divisions);
    QFETCH(qint64, value);
    QFETCH(qint64, snapped);
    Editor e;
    QVERIFY(e.doc.setRoot("DivsPerPrincipal", divisions));
    // Negative positions round away from zero too.
    QCOMPARE(e.view->snapped({value, -value}), (TickPos{snapped, -snapped}));
    QVERIFY(e.doc.setRoot("SnapToGrid", false));
    QCOMPARE(e.view->snapped({value, 1}), (TickPos{value, 1}));
}

void TestNetworkView::dragMovesTheSelectionAsOneStep()
{
    Editor e;
    QVERIFY(e.doc.setRoot("DivsPerPrincipal", 4));
    const QmdItemId a = e.doc.node(0, 0), b = e.doc.node(1, 0), c = e.doc.node(0, 1);
    QVERIFY(e.pick(ToolActions::Selection));
    e.click(e.at(0, 0));
    e.click(e.at(1, 0), Qt::ShiftModifier);
    e.click(e.at(0, 1), Qt::ShiftModifier);
    QCOMPARE(e.scene.selectedIds(), (QmdItemIdSet{a, b, c}));
    const int steps = e.steps();

    // Grabbed 7 and 5 pixels off its centre, dropped where the centre is
    // 127 and 32 pixels on: the node lands on the nearest division.
    const QPoint from = e.view->mapFromScene(QPointF(7, 5));
    const QPoint to = e.view->mapFromScene(QPointF(134, 37));
    QTest::mousePress(e.viewport(), Qt::LeftButton, {}, from);
    for (int i = 1; i <= 10; ++i)
        QTest::mouseMove(e.viewport(), from + (to - from) * i / 10);
    QTest::mouseRelease(e.viewport(), Qt::LeftButton, {}, to);

    QCOMPARE(e.steps(), steps + 1);
    QCOMPARE(e.doc.controller.undoText(), QString("Move"));
    QCOMPARE(e.pos(a), (TickPos{T, T / 4}));
    QCOMPARE(e.pos(b), (TickPos{2 * T, T / 4}));
    QCOMPARE(e.pos(c), (TickPos{T, T + T / 4}));
    QVERIFY(e.doc.run(e.doc.controller.requestUndo()));
    QCOMPARE(e.pos(c), (TickPos{0, T}));
}

void TestNetworkView::nodeAndEdge()
{
    Editor e;
    const QmdItemId a = e.doc.node(0, 0), b = e.doc.node(1, 0);
    int steps = e.steps();

    // Onto a node, Shift held: the edge alone, vertical first.
    QTest::keyPress(e.view, Qt::Key_Shift);
    e.drag(e.at(1, 0), e.at(0, 0), Qt::ShiftModifier);
    QTest::keyRelease(e.view, Qt::Key_Shift);
    QVERIFY(e.shows(3));
    QCOMPARE(e.steps(), steps + 1);
    QCOMPARE(e.doc.controller.undoText(), QString("Edge"));
    const QmdItemId back = e.ofType(QmdLudra::Edge).value(0);
    QCOMPARE(e.doc.value(back, "FromNode").toUInt(), b);
    QCOMPARE(e.doc.value(back, "Path").toInt(), int(QmdLudra::CityBlockFlipped));

    // From empty space onto a node, and from a node back onto itself:
    // nothing.
    steps = e.steps();
    e.drag(e.at(0, 1), e.at(1, 0));
    e.drag(e.at(0, 0), e.at(0, 0) + QPoint(3, 2));
    QCOMPARE(e.steps(), steps);

    // From a node into empty space: a node and an edge, undone together.
    e.drag(e.at(0, 0), e.at(1, 1));
    QVERIFY(e.shows(5));
    QCOMPARE(e.steps(), steps + 1);
    QCOMPARE(e.doc.controller.undoText(), QString("Node && Edge"));
    const QmdItemIdList all = e.elements();
    const QmdItemIdSet made = QmdItemIdSet(all.cbegin(), all.cend()) - QmdItemIdSet{a, b, back};
    QCOMPARE(made.size(), 2);
    for (QmdItemId id : made) {
        if (e.doc.value(id, QmdLudra::TypeKey).toUInt() == QmdLudra::Node)
            QCOMPARE(e.pos(id), (TickPos{T, T}));
        else
            QCOMPARE(e.doc.value(id, "FromNode").toUInt(), a);
    }
    QVERIFY(e.doc.run(e.doc.controller.requestUndo()));
    QCOMPARE(e.elements().size(), 3);
}

void TestNetworkView::escapeCancelsCreation()
{
    Editor e;
    e.doc.node(0, 0);
    const int steps = e.steps();
    const int items = e.scene.items().size();
    QTest::mousePress(e.viewport(), Qt::LeftButton, {}, e.at(0, 0));
    QTest::mouseMove(e.viewport(), e.at(1, 1));
    QVERIFY(e.scene.items().size() > items);
    QTest::keyClick(e.view, Qt::Key_Escape);
    QTest::mouseRelease(e.viewport(), Qt::LeftButton, {}, e.at(1, 1));
    QCOMPARE(e.steps(), steps);
    QCOMPARE(e.scene.items().size(), items);
}

void TestNetworkView::zoomTool()
{
    Editor e;
    e.doc.node(0, 0);
    e.doc.node(1, 1);
    QVERIFY(e.pick(ToolActions::Zoom));
    const auto clickAndSee = [&](double scale, Qt::KeyboardModifiers keys = {}) {
        e.click(e.view->viewport()->rect().center(), keys);
        return QTest::qWaitFor([&] { return e.view->transform().m11() == scale; });
    };
    QVERIFY(clickAndSee(2));
    QVERIFY(clickAndSee(4));
    QVERIFY(clickAndSee(8));
    const int steps = e.steps();
    QVERIFY(clickAndSee(8));
    QCOMPARE(e.steps(), steps);
    QCOMPARE(e.view->viewport()->cursor().pixmap().toImage().convertToFormat(QImage::Format_ARGB32),
             QImage(":/images/Cursors/ZoomNone.png").convertToFormat(QImage::Format_ARGB32));
    QTRY_COMPARE(e.view->zoomComboBox()->currentText(), QString("800%"));
    // However far in, the whole network can still be scrolled to.
    QVERIFY(e.view->sceneRect().contains(e.scene.contentsRect()));

    QVERIFY(clickAndSee(4, Qt::AltModifier));
    QCOMPARE(e.doc.controller.undoText(), QString("Zoom"));
    QTRY_COMPARE(e.view->zoomComboBox()->currentText(), QString("400%"));
}

void TestNetworkView::contextMenuOfAnEdge()
{
    Editor e;
    const QmdItemId a = e.doc.node(0, 0), b = e.doc.node(1, 1);
    const QmdItemId edge = e.doc.edge(a, b);
    auto *item = static_cast<GraphicsEdgeItem *>(e.scene.itemForId(edge)->graphicsItem());
    const QPoint head = e.view->mapFromScene(item->arrowHead()->mapToScene(QPointF(3, 0)));
    e.scene.clearSelection();

    QTest::mousePress(e.viewport(), Qt::RightButton, {}, head);
    QTest::mouseRelease(e.viewport(), Qt::RightButton, {}, head);
    QCOMPARE(e.scene.selectedIds(), QmdItemIdSet{edge});
    const std::unique_ptr<QMenu> menu = e.view->createContextMenu(head);
    QVERIFY(!entry(menu.get(), "&Sequential")->isVisible());
    QVERIFY(entry(menu.get(), "&Wormhole")->isVisible());
    QVERIFY(entry(menu.get(), "City &Block")->isChecked());
    QVERIFY(!entry(menu.get(), "&Paste")->isEnabled());

    QSignalSpy finished(&e.doc.controller, &QmdLudraController::requestFinished);
    const int steps = e.steps();
    entry(menu.get(), "Direc&t")->trigger();
    QCOMPARE(e.steps(), steps + 1);
    QCOMPARE(e.doc.controller.undoText(), QString("Path"));
    QCOMPARE(e.doc.value(edge, "Path").toInt(), int(QmdLudra::Direct));
    QTRY_COMPARE(finished.count(), 1);

    const std::unique_ptr<QMenu> nodeMenu = e.view->createContextMenu(e.at(0, 0));
    QCOMPARE(e.scene.selectedIds(), QmdItemIdSet{a});
    QVERIFY(entry(nodeMenu.get(), "Para&llel")->isVisible());
    QVERIFY(!entry(nodeMenu.get(), "Direc&t")->isVisible());
}

void TestNetworkView::voiceGroupOnlyOnANode()
{
    Editor e;
    const QmdItemId n = e.doc.node(0, 0);
    QVERIFY(e.pick(ToolActions::VoiceGroup));
    const int steps = e.steps();
    e.click(e.at(1, 0));
    QCOMPARE(e.steps(), steps);
    e.click(e.at(0, 0));
    QTRY_COMPARE(e.ofType(QmdLudra::VoiceGroup).size(), 1);
    QCOMPARE(e.doc.controller.undoText(), QString("Voice Group"));
    QCOMPARE(e.doc.value(e.ofType(QmdLudra::VoiceGroup).first(), "ToNode").toUInt(), n);
}

void TestNetworkView::auditionPlaysThePitchList()
{
    ManualClock clock;
    MidiSync sync(&clock);
    InstrumentRecorder recorder;
    RecordingInstrument instrument(1, &recorder);
    instrument.setTimingSource(&sync);
    instrument.start();
    instrument.play();
    sync.setRunning(true);
    clock.advance(sync.ticksToTime(3 * T));
    const qint64 now = sync.tickPosition();

    Editor e;
    e.doc.node(0, 0, {{"PitchList", "D3,+3,-70,+200"}});
    e.view->setAuditionOutput(&instrument, &sync);
    QVERIFY(e.pick(ToolActions::Selection));
    e.click(e.at(0, 0), Qt::AltModifier);
    clock.advance(sync.ticksToTime(5 * T));
    // Relative entries move on from the last pitch, within 0..127.
    QTRY_COMPARE(recorder.notesOn(),
                 (QList<Note>{{62, now}, {65, now + T}, {0, now + 2 * T}, {127, now + 3 * T}}));
    QCOMPARE(recorder.sent().last().event.type, qint32(InstrumentEvent::NoteOff));
}

void TestNetworkView::anOpenedNetworkIsInView_data()
{
    QTest::addColumn<QList<QPointF>>("nodes");
    QTest::addColumn<bool>("fits");
    QTest::newRow("small, far from the origin") << QList<QPointF>{{20, 12}, {22, 13}} << true;
    QTest::newRow("larger than the view")
        << QList<QPointF>{{-30, -20}, {-10, 0}, {-25, -5}, {-12, -18}} << false;
}

// A network the user opens is shown whole where it fits, else from its top
// left, whatever the window's size when the file was read.
void TestNetworkView::anOpenedNetworkIsInView()
{
    QFETCH(QList<QPointF>, nodes);
    QFETCH(bool, fits);
    QTemporaryDir folder;
    const QString file = folder.filePath("far.ldx");
    {
        NetworkDocument made;
        for (const QPointF &node : nodes)
            made.node(node.x(), node.y());
        QVERIFY(made.run(made.controller.requestSave(file)));
    }
    // Read before the window is shown, as a window that opens a file does.
    Editor e(false);
    QVERIFY(e.doc.run(e.doc.controller.requestLoad(file)));
    e.show();
    QVERIFY(e.shows(int(nodes.size())));

    const QRectF network = e.scene.contentsRect();
    const QRectF visible = e.view->mapToScene(e.viewport()->rect()).boundingRect();
    if (fits) {
        QVERIFY(visible.contains(network));
    } else {
        QVERIFY(visible.contains(network.topLeft()));
        // With no more than a margin of empty grid above and to the left.
        QVERIFY(!visible.contains(network.topLeft() - QPointF(120, 120)));
    }
}

QTEST_MAIN(TestNetworkView)
#include "tst_networkview.moc"
