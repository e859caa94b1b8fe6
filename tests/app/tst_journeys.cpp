#include "abstractsync.h"
#include "datadirectory.h"
#include "displayscale.h"
#include "edgeusagelisteditor.h"
#include "edgeusagetile.h"
#include "inspector.h"
#include "listedit.h"
#include "ludratoolbar.h"
#include "ludrawindow.h"
#include "manualclock.h"
#include "networkscene.h"
#include "networkview.h"
#include "nodepage.h"
#include "qmdludracontroller.h"
#include "recordinginstrument.h"
#include "requestfinisher.h"
#include "toolactions.h"
#include "zoomcombobox.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QMenu>
#include <QtTest>

// A new user's first sessions in a document window as the program opens
// one: everything they do goes through the mouse and the keyboard, and what
// they hear is what the window's document plays on instruments that record
// it. At 72 DPI one principal is 120 pixels at zoom 1; points below are in
// principals, reached through the view as the user aims at them.
//
// LUDRA_JOURNEY_SHOTS=folder saves what the window shows at two moments, to
// look at: a Node & Edge drag at 150% and a node's page with three tiles.
namespace {
constexpr qint64 T = QmdLudra::TicksPerPrincipal;
using Note = std::pair<int, qint64>;

struct Session
{
    Session()
    {
        window.controller()->setPlaybackServices(recorder.services(&clock));
        window.startFromTemplate(DataDirectory::templateFile());
        window.resize(1200, 800);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
    }

    QmdLudraController *controller() const { return window.controller(); }
    NetworkView *view() const { return window.view(); }
    QWidget *viewport() const { return view()->viewport(); }
    static QmdLudra::TickPos ticks(double x, double y)
    {
        return {qint64(std::llround(x * T)), qint64(std::llround(y * T))};
    }
    QPoint at(double x, double y) const
    {
        return view()->mapFromScene(DisplayScale::tickPosToScenePos(ticks(x, y)));
    }
    void clickToolBar(QAction *action)
    {
        QTest::mouseClick(window.toolBar()->widgetForAction(action), Qt::LeftButton);
    }
    bool pick(int tool)
    {
        clickToolBar(view()->toolActions()->action(tool));
        return QTest::qWaitFor([&] { return view()->tool() == tool; });
    }
    void click(QPoint pos) { QTest::mouseClick(viewport(), Qt::LeftButton, {}, pos); }
    void drag(QPoint from, QPoint to, const std::function<void()> &midway = {})
    {
        QTest::mousePress(viewport(), Qt::LeftButton, {}, from);
        for (int i = 1; i <= 8; ++i)
            QTest::mouseMove(viewport(), from + (to - from) * i / 8);
        if (midway)
            midway();
        QTest::mouseRelease(viewport(), Qt::LeftButton, {}, to);
    }
    // The right button selects what is under it; the platform then asks
    // for the menu, in which the user clicks an entry.
    bool chooseFromContextMenu(QPoint pos, const QString &text)
    {
        QTest::mousePress(viewport(), Qt::RightButton, {}, pos);
        QTest::mouseRelease(viewport(), Qt::RightButton, {}, pos);
        bool chosen = false;
        QTimer::singleShot(0, viewport(), [&chosen, &text] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            if (!menu)
                return;
            for (QAction *action : menu->actions()) {
                if (action->text() == text && action->isVisible()) {
                    QTest::mouseClick(menu, Qt::LeftButton, {},
                                      menu->actionGeometry(action).center());
                    chosen = true;
                    break;
                }
            }
            menu->close();
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, pos, viewport()->mapToGlobal(pos));
        QApplication::sendEvent(viewport(), &event);
        return chosen;
    }
    // The undo text of each request a gesture made, once they have
    // finished: between two gestures the window's event loop runs, and with
    // it what the document does with a request when it is done.
    QStringList requestsOf(const std::function<void()> &gesture)
    {
        QStringList texts;
        const QMetaObject::Connection connection =
            QObject::connect(controller(), &QmdController::requestFinished,
                             [&] { texts.append(controller()->undoText()); });
        gesture();
        if (QTest::qWaitFor([&] { return !texts.isEmpty(); }))
            QCoreApplication::processEvents();
        QObject::disconnect(connection);
        return texts;
    }
    // A combo box's list opens with a click; the keys move to an entry
    // and Return chooses it.
    static bool chooseFromList(QComboBox *box, std::initializer_list<Qt::Key> keys)
    {
        QTest::mouseClick(box, Qt::LeftButton);
        QAbstractItemView *list = box->view();
        if (!QTest::qWaitFor([list] { return list->isVisible(); }))
            return false;
        for (Qt::Key key : keys)
            QTest::keyClick(list, key);
        QTest::keyClick(list, Qt::Key_Return);
        return !list->isVisible();
    }
    // The scene hears of new elements once their requests are done.
    bool shows(int count)
    {
        return QTest::qWaitFor([&] { return window.scene()->elementItemCount() == count; });
    }
    void shoot(const QString &name)
    {
        if (const QString folder = qEnvironmentVariable("LUDRA_JOURNEY_SHOTS"); !folder.isEmpty())
            QVERIFY(window.grab().save(folder + u'/' + name + QStringLiteral(".png")));
    }

    QmdIndex element(QmdItemId id) const
    {
        return controller()->index(id, controller()->elementsIndex());
    }
    QVariant value(QmdItemId id, const QString &key) const
    {
        return controller()->data(controller()->index(key, element(id)));
    }
    QmdItemIdList ofType(uint type) const
    {
        QmdItemIdList found;
        for (QmdItemId id : controller()->ids(controller()->elementsIndex())) {
            if (value(id, QmdLudra::TypeKey).toUInt() == type)
                found.append(id);
        }
        return found;
    }
    QmdItemId nodeAt(double x, double y) const
    {
        for (QmdItemId id : ofType(QmdLudra::Node)) {
            if (value(id, QmdLudra::TickPosKey).value<QmdLudra::TickPos>() == ticks(x, y))
                return id;
        }
        return 0;
    }

    // Pitch and tick of each event of a type, in the order sent.
    QList<Note> sent(qint32 type) const
    {
        QList<Note> notes;
        for (const InstrumentRecorder::Sent &sent : recorder.sent()) {
            if (sent.event.type == type)
                notes.append({sent.event.data1, sent.event.tick});
        }
        return notes;
    }
    // Play on the tool bar, then a time on the clock.
    void playFor(double principals)
    {
        clickToolBar(window.toolBar()->playPauseAction());
        QVERIFY(controller()->isPlaying());
        const AbstractSync *sync = controller()->playback().timingSource();
        clock.advance(sync->ticksToTime(qint64(principals * T)));
    }

    ManualClock clock;
    InstrumentRecorder recorder;
    LudraWindow window;
};
} // namespace

class TestJourneys : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { DisplayScale::pin(72); }
    void drawAndPlayANetwork();
    void fillANodeInTheInspector();
};

// Three nodes, two edges, one of them made direct, and a voice group, drawn
// at 150%; then the network plays.
void TestJourneys::drawAndPlayANetwork()
{
    Session s;
    ZoomComboBox *zoom = s.view()->zoomComboBox();
    QVERIFY(s.chooseFromList(zoom, {Qt::Key_Down, Qt::Key_Down}));
    QCOMPARE(zoom->currentText(), QStringLiteral("150%"));
    QTRY_COMPARE(s.view()->transform().m11(), 1.5);

    // A new document draws nodes and edges: A by a click, B by a drag out
    // of A, C by a click, and the edge from B to C by a drag onto C.
    s.click(s.at(-1.5, -1));
    QVERIFY(s.shows(1));
    s.drag(s.at(-1.5, -1), s.at(0, -1), [&] { s.shoot(QStringLiteral("node-and-edge-drag")); });
    QVERIFY(s.shows(3));
    s.click(s.at(1.5, 1));
    QVERIFY(s.shows(4));
    s.drag(s.at(0, -1), s.at(1.5, 1));
    QVERIFY(s.shows(5));
    const QmdItemId a = s.nodeAt(-1.5, -1), b = s.nodeAt(0, -1), c = s.nodeAt(1.5, 1);
    QVERIFY(a && b && c);

    // The edge from B runs right, then down to C: made direct on its first
    // leg, clear of the edge from A.
    QVERIFY(s.chooseFromContextMenu(s.at(0.75, -1), QStringLiteral("Direc&t")));
    QCOMPARE(s.controller()->undoText(), QStringLiteral("Path"));

    QVERIFY(s.pick(ToolActions::VoiceGroup));
    s.click(s.at(-1.5, -1));
    QVERIFY(s.shows(6));

    QHash<QmdItemId, QPair<QmdItemId, int>> edges;
    for (QmdItemId edge : s.ofType(QmdLudra::Edge))
        edges.insert(s.value(edge, "FromNode").toUInt(),
                     {s.value(edge, "ToNode").toUInt(), s.value(edge, "Path").toInt()});
    QCOMPARE(edges, (QHash<QmdItemId, QPair<QmdItemId, int>>{{a, {b, QmdLudra::CityBlock}},
                                                             {b, {c, QmdLudra::Direct}}}));
    const QmdItemIdList groups = s.ofType(QmdLudra::VoiceGroup);
    QCOMPARE(groups.size(), 1);
    QCOMPARE(s.value(groups.first(), "ToNode").toUInt(), a);

    // Every node plays its C3 until the next one fires: A at once, B a
    // principal and a half on, C two and a half principals of straight line
    // after B; C, with no edge out, holds its note one principal.
    s.playFor(6);
    QTRY_COMPARE(s.sent(InstrumentEvent::NoteOff),
                 (QList<Note>{{60, 3 * T / 2}, {60, 4 * T}, {60, 5 * T}}));
    QCOMPARE(s.sent(InstrumentEvent::NoteOn), (QList<Note>{{60, 0}, {60, 3 * T / 2}, {60, 4 * T}}));
}

// A node the user already has, with three edges out and back, each round
// trip two principals long: they give it a melody, let it choose its edges
// at random and put its edge usage in another order.
void TestJourneys::fillANodeInTheInspector()
{
    Session s;
    QmdLudraController *c = s.controller();
    // Runs a request to its end; the element it added.
    const auto add = [c](const std::function<QmdRequestId()> &request) {
        const QmdItemIdList before = c->ids(c->elementsIndex());
        if (!finishRequest(c, request()))
            return QmdItemId(0);
        for (QmdItemId id : c->ids(c->elementsIndex())) {
            if (!before.contains(id))
                return id;
        }
        return QmdItemId(0);
    };
    const QmdItemId node = add([&] { return c->requestAddNode({0, 0}); });
    QmdItemIdList edges;
    for (const QmdLudra::TickPos &pos : {QmdLudra::TickPos{T, 0}, {0, T}, {-T, 0}}) {
        const QmdItemId other = add([&] { return c->requestAddNode(pos); });
        QVERIFY(finishRequest(c, c->requestSetData("DontPlayNote", true, s.element(other))));
        edges.append(add([&] { return c->requestAddEdge(s.element(node), s.element(other)); }));
        QVERIFY(add([&] { return c->requestAddEdge(s.element(other), s.element(node)); }));
    }
    QVERIFY(add([&] { return c->requestAddVoiceGroup(s.element(node)); }));
    QVERIFY(s.shows(11));
    const auto usage = [&](std::initializer_list<int> order) {
        QStringList entries;
        for (int i : order)
            entries.append(QStringLiteral("%1=1").arg(edges.at(i)));
        return entries.join(u',');
    };
    QCOMPARE(s.value(node, "ArcUsageList").toString(), usage({0, 1, 2}));

    QVERIFY(s.pick(ToolActions::Selection));
    s.click(s.at(0, 0));
    Inspector *inspector = s.window.inspector();
    QTRY_COMPARE(inspector->currentPage(), int(Inspector::NodePageIndex));
    QTRY_COMPARE(inspector->pendingPage(), -1);
    s.shoot(QStringLiteral("node-page"));

    auto *pitches = inspector->findChild<ListEdit *>(QStringLiteral("pitchListEdit"));
    QCOMPARE(s.requestsOf([&] {
        QTest::mouseClick(pitches, Qt::LeftButton);
        QTest::keyClick(pitches, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(pitches, "C4,E4,G4");
        QTest::keyClick(pitches, Qt::Key_Return);
    }),
             QStringList{"Pitch List"});
    QCOMPARE(s.value(node, "PitchList").toString(), QStringLiteral("C4,E4,G4"));

    auto *signalling = inspector->findChild<QComboBox *>(QStringLiteral("signallingComboBox"));
    QCOMPARE(s.requestsOf([&] { QVERIFY(Session::chooseFromList(signalling, {Qt::Key_End})); }),
             QStringList{"Signalling"});
    QCOMPARE(signalling->currentText(), QStringLiteral("Random"));
    QCOMPARE(s.value(node, "SignallingMethod").toInt(), int(QmdLudra::Random));

    // The first tile, dragged past the other two.
    EdgeUsageListEditor *tiles = inspector->nodePage()->edgeUsageEditor();
    const QPoint first = tiles->mapFromScene(tiles->tiles().at(0)->sceneBoundingRect().center());
    const QPoint last = first + QPoint(5 * EdgeUsageTile::SlotWidth / 2, 0);
    QCOMPARE(s.requestsOf([&] {
        QTest::mousePress(tiles->viewport(), Qt::LeftButton, {}, first);
        for (int i = 1; i <= 5; ++i)
            QTest::mouseMove(tiles->viewport(), first + (last - first) * i / 5);
        QTest::mouseRelease(tiles->viewport(), Qt::LeftButton, {}, last);
    }),
             QStringList{"Edge Usage"});
    QCOMPARE(s.value(node, "ArcUsageList").toString(), usage({1, 2, 0}));

    // Whichever edge it takes, the voice is back two principals later.
    s.playFor(7);
    QTRY_COMPARE(s.sent(InstrumentEvent::NoteOn),
                 (QList<Note>{{72, 0}, {76, 2 * T}, {79, 4 * T}, {72, 6 * T}}));
}

QTEST_MAIN(TestJourneys)
#include "tst_journeys.moc"
