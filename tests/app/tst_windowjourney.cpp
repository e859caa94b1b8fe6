#include "displayscale.h"
#include "elementitem.h"
#include "inspector.h"
#include "listedit.h"
#include "ludraapplication.h"
#include "ludramenubar.h"
#include "ludratoolbar.h"
#include "ludrawindow.h"
#include "networkscene.h"
#include "networkview.h"
#include "privatehome.h"
#include "qmdludracontroller.h"
#include "toolactions.h"

#include <QDir>
#include <QFileDialog>
#include <QGraphicsItem>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <spawn.h>
#include <sys/wait.h>

#include <cmath>

extern char **environ;

// A new user's first two days with Ludra, as one story told in two
// processes of this program: the first day opens an example, plays it,
// draws on it, saves it under a name of its own and quits; the second day
// is a fresh start of the application, with the same settings folder, that
// finds the file in the recent files. The second start is a process of its
// own rather than a second application object in this one, so that what
// it finds went through the settings file and the saved document, as it
// does for the user, and nothing of the first application lingers.
namespace {

constexpr const char *SecondStartArgument = "--second-start";
const QString SavedName = QStringLiteral("my-round");

// The window the user works in: the one opened last.
LudraWindow *frontWindow()
{
    return ludraApp->ludraWindows().isEmpty() ? nullptr : ludraApp->ludraWindows().last();
}

QAction *actionWithText(const QList<QAction *> &actions, const QString &text)
{
    for (QAction *action : actions) {
        if (action->text() == text && action->isVisible())
            return action;
    }
    return nullptr;
}

// Clicks through the window's menus by the texts the user reads, from the
// menu bar down; the texts of the last menu that opened go to shown.
bool chooseFromMenus(LudraWindow *window, const QStringList &path, QStringList *shown = nullptr)
{
    QMenuBar *bar = window->menuBar();
    QAction *action = actionWithText(bar->actions(), path.first());
    if (!action)
        return false;
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(action).center());
    for (const QString &text : path.mid(1)) {
        QMenu *menu = action->menu();
        if (!menu || !QTest::qWaitFor([menu] { return menu->isVisible(); }))
            return false;
        if (shown) {
            shown->clear();
            for (const QAction *entry : menu->actions())
                *shown << entry->text();
        }
        action = actionWithText(menu->actions(), text);
        if (!action) {
            menu->close();
            return false;
        }
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
    }
    return true;
}

void pickTool(LudraWindow *window, int tool)
{
    QTest::mouseClick(
        window->toolBar()->widgetForAction(window->view()->toolActions()->action(tool)),
        Qt::LeftButton);
    QTRY_COMPARE(window->view()->tool(), tool);
}

QPoint onScreen(LudraWindow *window, const QmdLudra::TickPos &pos)
{
    return window->view()->mapFromScene(DisplayScale::tickPosToScenePos(pos));
}

// A place inside the view, away from every item, a short drag from the
// point.
QPoint emptySpotNear(NetworkView *view, QPoint from)
{
    const QRect inside = view->viewport()->rect().adjusted(40, 40, -40, -40);
    for (const int radius : {150, 220, 300}) {
        for (int step = 0; step < 8; ++step) {
            const double angle = step * M_PI / 4;
            const QPoint to =
                from + QPoint(int(radius * std::cos(angle)), int(radius * std::sin(angle)));
            if (inside.contains(to) &&
                view->items(QRect(to - QPoint(40, 40), QSize(80, 80))).isEmpty())
                return to;
        }
    }
    return {};
}

ListEdit *pitchField(LudraWindow *window)
{
    return window->inspector()->findChild<ListEdit *>(QStringLiteral("pitchListEdit"));
}

// The node under the point becomes the one the inspector shows.
void inspectNodeAt(LudraWindow *window, QPoint pos)
{
    pickTool(window, ToolActions::Selection);
    QTest::mouseClick(window->view()->viewport(), Qt::LeftButton, {}, pos);
    QTRY_COMPARE(window->inspector()->currentPage(), int(Inspector::NodePageIndex));
    QTRY_COMPARE(window->inspector()->pendingPage(), -1);
}

void typePitches(LudraWindow *window, const QString &pitches)
{
    ListEdit *field = pitchField(window);
    QTest::mouseClick(field, Qt::LeftButton);
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(field, pitches);
    QTest::keyClick(field, Qt::Key_Return);
    QTRY_COMPARE(window->ludraMenuBar()->undoAction()->text(), QStringLiteral("&Undo Pitch List"));
}

// What the first day leaves for the second to find: where the new node is
// and how many elements the saved network holds.
struct Remembered
{
    QmdLudra::TickPos node;
    int elements = 0;
};

} // namespace

class TestFirstDay : public QObject
{
    Q_OBJECT

public:
    TestFirstDay(const QString &folder, Remembered *remembered)
        : m_folder(folder), m_remembered(remembered)
    {
    }

private Q_SLOTS:
    void initTestCase() { QTRY_COMPARE_WITH_TIMEOUT(ludraApp->ludraWindows().size(), 1, 60000); }
    void openPlayDrawUndoSaveAndQuit();

private:
    const QString m_folder;
    Remembered *const m_remembered;
};

void TestFirstDay::openPlayDrawUndoSaveAndQuit()
{
    // The example opens in a window of its own, in front.
    QVERIFY(chooseFromMenus(frontWindow(), {"&File", "Open &Example", "round-in-g"}));
    QTRY_COMPARE(ludraApp->ludraWindows().size(), 2);
    LudraWindow *window = frontWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QCOMPARE(window->windowTitle(), QStringLiteral("round-in-g.ldx[*]"));
    QVERIFY(window->scene()->elementItemCount() > 0);
    LudraMenuBar *menus = window->ludraMenuBar();

    // The space bar plays and pauses.
    QTest::keyClick(window, Qt::Key_Space);
    QTRY_VERIFY(window->controller()->isPlaying());
    QCOMPARE(menus->playAction()->text(), QStringLiteral("Pause"));
    QTest::keyClick(window, Qt::Key_Space);
    QTRY_VERIFY(!window->controller()->isPlaying());
    QCOMPARE(menus->playAction()->text(), QStringLiteral("Play"));

    // A drag with the Node & Edge tool out of one of its nodes into empty
    // space makes a node there and the edge to it.
    const QList<QGraphicsItem *> items = window->scene()->items();
    const auto node = std::find_if(items.cbegin(), items.cend(), [window](QGraphicsItem *item) {
        return item->type() == ElementItem::NodeType &&
               window->view()
                   ->viewport()
                   ->rect()
                   .adjusted(20, 20, -20, -20)
                   .contains(window->view()->mapFromScene(item->sceneBoundingRect().center()));
    });
    QVERIFY(node != items.cend());
    const QPoint from = window->view()->mapFromScene((*node)->sceneBoundingRect().center());
    const QPoint to = emptySpotNear(window->view(), from);
    QVERIFY(!to.isNull());
    QmdLudraController *c = window->controller();
    const QmdItemIdList before = c->ids(c->elementsIndex());
    pickTool(window, ToolActions::NodeAndEdge);
    QWidget *viewport = window->view()->viewport();
    QTest::mousePress(viewport, Qt::LeftButton, {}, from);
    for (int i = 1; i <= 8; ++i)
        QTest::mouseMove(viewport, from + (to - from) * i / 8);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, to);
    QTRY_COMPARE(window->scene()->elementItemCount(), int(before.size()) + 2);
    QCOMPARE(menus->undoAction()->text(), QStringLiteral("&Undo Node && Edge"));
    QVERIFY(window->isWindowModified());
    QmdItemId added = 0;
    for (QmdItemId id : c->ids(c->elementsIndex())) {
        const QmdIndex element = c->index(id, c->elementsIndex());
        if (!before.contains(id) &&
            c->data(c->index(QmdLudra::TypeKey, element)).toUInt() == QmdLudra::Node)
            added = id;
    }
    QVERIFY(added);
    m_remembered->node =
        c->data(c->index(QmdLudra::TickPosKey, c->index(added, c->elementsIndex())))
            .value<QmdLudra::TickPos>();

    // Its pitches, typed in the inspector, and then one more; the one more
    // is undone from the network, where the user clicked last. The example
    // was opened, not saved, so undoing asks nothing.
    const QPoint newNode = onScreen(window, m_remembered->node);
    inspectNodeAt(window, newNode);
    typePitches(window, QStringLiteral("C4,E4,G4"));
    typePitches(window, QStringLiteral("C4,E4,G4,C5"));
    QTest::mouseClick(viewport, Qt::LeftButton, {}, newNode);
    QTest::keyClick(window, Qt::Key_Z, Qt::ControlModifier);
    QTRY_COMPARE(pitchField(window)->text(), QStringLiteral("C4,E4,G4"));
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(menus->undoAction()->text(), QStringLiteral("&Undo Pitch List"));
    QCOMPARE(menus->redoAction()->text(), QStringLiteral("&Redo Pitch List"));

    // Save As, in the user's music folder, under a name typed in the
    // dialog. (Typed there as a whole path, the dialog's completer takes
    // the keys; the folder is where the user would have gone first.)
    QTest::keyClick(window, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    QTRY_VERIFY(qobject_cast<QFileDialog *>(QApplication::activeModalWidget()));
    auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Save As"));
    dialog->setDirectory(m_folder);
    auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    QVERIFY(name);
    QTest::keyClick(name, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(name, SavedName);
    QTest::keyClick(name, Qt::Key_Return);
    const QString saved = m_folder + u'/' + SavedName + QStringLiteral(".ldx");
    QTRY_COMPARE(window->windowTitle(), SavedName + QStringLiteral(".ldx[*]"));
    QTRY_VERIFY(!window->isWindowModified());
    QCOMPARE(window->fileName(), saved);
    m_remembered->elements = window->scene()->elementItemCount();

    // File > Exit: nothing is left to save, so nothing asks, and the
    // application ends.
    QTimer::singleShot(0, window, [window] {
        QVERIFY(chooseFromMenus(window, {"&File", "E&xit"}));
    });
    QTimer::singleShot(120000, this, [] { QCoreApplication::exit(1); });
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(ludraApp->ludraWindows().isEmpty());
}

class TestSecondDay : public QObject
{
    Q_OBJECT

public:
    explicit TestSecondDay(const Remembered &remembered) : m_remembered(remembered) {}

private Q_SLOTS:
    void initTestCase() { QTRY_COMPARE_WITH_TIMEOUT(ludraApp->ludraWindows().size(), 1, 60000); }
    void openTheSavedNetworkFromRecentFiles();

private:
    const Remembered m_remembered;
};

void TestSecondDay::openTheSavedNetworkFromRecentFiles()
{
    // The network saved yesterday heads the recent files, above the
    // example it came from.
    QStringList recent;
    QVERIFY(chooseFromMenus(frontWindow(), {"&File", "Open &Recent", SavedName}, &recent));
    QCOMPARE(recent.mid(0, 2), (QStringList{SavedName, QStringLiteral("round-in-g")}));
    QTRY_COMPARE(ludraApp->ludraWindows().size(), 2);
    LudraWindow *window = frontWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QCOMPARE(window->windowTitle(), SavedName + QStringLiteral(".ldx[*]"));
    QVERIFY(!window->isWindowModified());

    // The node and its edge are there, and the node has the pitches typed
    // before the undo.
    QTRY_COMPARE(window->scene()->elementItemCount(), m_remembered.elements);
    inspectNodeAt(window, onScreen(window, m_remembered.node));
    QCOMPARE(pitchField(window)->text(), QStringLiteral("C4,E4,G4"));
}

namespace {

// Starts this program again for the second day and waits for its end.
int startAgain(const char *program, const Remembered &remembered)
{
    const QByteArray x = QByteArray::number(remembered.node.x);
    const QByteArray y = QByteArray::number(remembered.node.y);
    const QByteArray elements = QByteArray::number(remembered.elements);
    char *arguments[] = {const_cast<char *>(program),
                         const_cast<char *>(SecondStartArgument),
                         const_cast<char *>(x.constData()),
                         const_cast<char *>(y.constData()),
                         const_cast<char *>(elements.constData()),
                         nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, program, nullptr, nullptr, arguments, environ) != 0)
        return 1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return 1;
    return WEXITSTATUS(status);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 5 && qstrcmp(argv[1], SecondStartArgument) == 0) {
        // The settings folder and temporary folder are the first day's,
        // inherited.
        const Remembered remembered{
            {QByteArray(argv[2]).toLongLong(), QByteArray(argv[3]).toLongLong()},
            QByteArray(argv[4]).toInt()};
        int count = 1;
        LudraApplication app(count, argv, {});
        if (app.handedOver())
            return 1;
        TestSecondDay test(remembered);
        return QTest::qExec(&test, count, argv);
    }

    // Settings, and the instance's socket, of this test alone.
    const PrivateHome home;
    QDir(home.path()).mkpath(QStringLiteral("music"));

    Remembered remembered;
    {
        LudraApplication app(argc, argv, {});
        if (app.handedOver())
            return 1;
        TestFirstDay test(home.filePath(QStringLiteral("music")), &remembered);
        if (const int failed = QTest::qExec(&test, argc, argv))
            return failed;
    }
    // The first application has ended, and with it its claim to be the
    // running instance.
    return startAgain(argv[0], remembered);
}

#include "tst_windowjourney.moc"
