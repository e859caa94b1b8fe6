#include "ludraapplication.h"
#include "ludramenubar.h"
#include "ludrawindow.h"
#include "networkscene.h"
#include "networkview.h"
#include "privatehome.h"
#include "qmdludracontroller.h"
#include "recentfiles.h"
#include "settingscontroller.h"
#include "zoomcombobox.h"

#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace {

// The dialog of the given kind in front, once it shows.
template <class Dialog> Dialog *modal()
{
    Dialog *dialog = nullptr;
    (void)QTest::qWaitFor([&dialog] {
        dialog = qobject_cast<Dialog *>(QApplication::activeModalWidget());
        return dialog && dialog->isVisible();
    });
    return dialog;
}

// Answers the message boxes to come, in turn, from inside the calls that run
// them, as the user would: with the button each chooser picks. Their texts
// are kept.
class Answerer : public QObject
{
public:
    Answerer()
    {
        m_timer.setInterval(10);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || !box->isVisible() || box == m_answered || m_choosers.isEmpty())
                return;
            m_answered = box;
            texts << box->text();
            m_choosers.takeFirst()(box)->click();
        });
        m_timer.start();
    }
    void answer(const std::function<QAbstractButton *(QMessageBox *)> &choose)
    {
        m_choosers.append(choose);
    }
    void answer(QMessageBox::StandardButton button)
    {
        answer([button](QMessageBox *box) { return box->button(button); });
    }

    QStringList texts;

private:
    QTimer m_timer;
    QList<std::function<QAbstractButton *(QMessageBox *)>> m_choosers;
    QPointer<QMessageBox> m_answered;
};

QAbstractButton *buttonWithText(QMessageBox *box, const QString &text)
{
    const QList<QAbstractButton *> buttons = box->buttons();
    for (QAbstractButton *button : buttons) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

int elementCount(LudraWindow *window)
{
    QmdLudraController *c = window->controller();
    return int(c->ids(c->elementsIndex()).size());
}

// A change a user makes: a node where they click.
void addNode(LudraWindow *window)
{
    const int before = elementCount(window);
    window->controller()->requestAddNode({0, 0});
    QTRY_COMPARE(elementCount(window), before + 1);
    QTRY_VERIFY(window->isWindowModified());
}

QStringList menuTexts(QMenu *menu)
{
    menu->popup(QPoint(0, 0));
    if (!QTest::qWaitFor([menu] { return menu->isVisible(); }))
        return {};
    QStringList texts;
    const QList<QAction *> actions = menu->actions();
    for (const QAction *action : actions) {
        if (!action->isSeparator())
            texts << action->text();
    }
    menu->hide();
    return texts;
}

} // namespace

// A document window as a musician uses it: saving, undoing past the save,
// closing and quitting with changes, the recent files, the menus and
// printing.
class TestLudraWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void savingUntitledAsksWhereAndUndoPastTheSaveAsks();
    void fileErrorsAreReportedAndChangeNothing();
    void closingWithChanges();
    void recentFiles();
    void menuTextsFollowTheDocument();
    void printingToPdf();
    void quittingAsksForEachWindowAndStopsWhilePlaying();

private:
    LudraWindow *newWindow();

    QTemporaryDir m_dir;
};

void TestLudraWindow::initTestCase()
{
    QTRY_COMPARE_WITH_TIMEOUT(ludraApp->ludraWindows().size(), 1, 60000);
    QVERIFY(m_dir.isValid());
}

LudraWindow *TestLudraWindow::newWindow()
{
    LudraWindow *window = ludraApp->newDocument();
    window->show();
    window->activateWindow();
    return window;
}

void TestLudraWindow::savingUntitledAsksWhereAndUndoPastTheSaveAsks()
{
    LudraWindow *window = newWindow();
    // At the default zoom of new windows, not the template's.
    QTRY_COMPARE(window->view()->zoomComboBox()->currentText(), QStringLiteral("75%"));
    const int base = elementCount(window);
    addNode(window);

    // Untitled: Save asks where, offering the window's untitled name.
    window->save();
    auto *dialog = modal<QFileDialog>();
    QVERIFY(dialog);
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Save As"));
    const QString offered = QStringLiteral("Untitled.%1").arg(ludraApp->untitledCount());
    QCOMPARE(dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->text(), offered);
    QVERIFY(window->ludraMenuBar()->undoAction()->isEnabled() == false);
    dialog->setDirectory(m_dir.path());
    QTest::keyClick(dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")), Qt::Key_Return);

    const QString saved = m_dir.filePath(offered + QStringLiteral(".ldx"));
    QTRY_COMPARE(window->fileName(), saved);
    QVERIFY(QFileInfo(saved).size() > 0);
    QCOMPARE(window->windowTitle(), offered + QStringLiteral(".ldx[*]"));
    QVERIFY(!window->isWindowModified());
    QCOMPARE(ludraApp->recentFiles()->paths().value(0), saved);

    // Changed while the file is being written: what was written is the
    // saved state, so the change still counts, and undoing it is back there.
    QSignalSpy written(window->controller(), &QmdDocController::fileSaved);
    window->save();
    window->controller()->requestAddNode({0, 0});
    QTRY_COMPARE(written.size(), 1);
    QVERIFY(!window->controller()->isAtCleanState());
    window->undo();
    QTRY_VERIFY(!window->isWindowModified());
    QVERIFY(!QApplication::activeModalWidget());

    // Undoing the node would leave what was saved: asked, and kept.
    window->undo();
    auto *box = modal<QMessageBox>();
    QVERIFY(box);
    QCOMPARE(box->text(), QStringLiteral("Warning"));
    QCOMPARE(box->informativeText(),
             QStringLiteral("You are about to undo past the last point that this file was "
                            "saved. Do you want to do this?"));
    QCOMPARE(box->defaultButton()->text(), QStringLiteral("&Undo"));
    buttonWithText(box, QStringLiteral("&Don't Undo"))->click();
    QTRY_VERIFY(!QApplication::activeModalWidget());
    QCOMPARE(elementCount(window), base + 1);
    QVERIFY(!window->isWindowModified());

    // Asked again and undone.
    window->undo();
    box = modal<QMessageBox>();
    QVERIFY(box);
    buttonWithText(box, QStringLiteral("&Undo"))->click();
    QTRY_COMPARE(elementCount(window), base);
    QTRY_VERIFY(window->isWindowModified());
    window->controller()->requestRedo();
    QTRY_VERIFY(!window->isWindowModified());
    window->close();
}

void TestLudraWindow::fileErrorsAreReportedAndChangeNothing()
{
    LudraWindow *window = newWindow();
    const int base = elementCount(window);
    addNode(window);
    const QString path = m_dir.filePath(QStringLiteral("locked.ldx"));
    QVERIFY(window->controller()->requestSave(path));
    QTRY_COMPARE(window->fileName(), path);

    // Write-protected since: saving says so, and the document stays
    // modified.
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    addNode(window);
    window->save();
    auto *box = modal<QMessageBox>();
    QVERIFY(box);
    QCOMPARE(box->text(), QStringLiteral("The network could not be saved as “locked.ldx”. You "
                                         "may not have permission."));
    QCOMPARE(box->informativeText(), QStringLiteral("Code: 13"));
    box->button(QMessageBox::Ok)->click();
    QTRY_VERIFY(!QApplication::activeModalWidget());
    QVERIFY(window->isWindowModified());

    // A file that is no network: the window keeps its document and name.
    const QString broken = m_dir.filePath(QStringLiteral("broken.ldx"));
    QFile file(broken);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("<?xml version=\"1.0\"?><plist><dict><key>Elements</key>");
    file.close();
    QVERIFY(!window->loadFile(broken));
    box = modal<QMessageBox>();
    QVERIFY(box);
    QCOMPARE(box->text(), QStringLiteral("The network “broken.ldx” could not be opened. An "
                                         "unknown error occurred."));
    QCOMPARE(box->informativeText(), QStringLiteral("Code: 1"));
    box->button(QMessageBox::Ok)->click();
    QCOMPARE(window->fileName(), path);
    QCOMPARE(elementCount(window), base + 2);
    QVERIFY(window->isWindowModified());

    Answerer user;
    user.answer(QMessageBox::Discard);
    window->close();
}

void TestLudraWindow::closingWithChanges()
{
    QPointer<LudraWindow> window = newWindow();
    addNode(window);
    Answerer user;

    // Cancel keeps the window and its changes.
    user.answer(QMessageBox::Cancel);
    QVERIFY(!window->close());
    QCOMPARE(user.texts.value(0),
             QStringLiteral("Do you want to save the changes you made to the network "
                            "“Untitled”?"));
    QVERIFY(window->isVisible());

    // Save on an untitled document asks where first; cancelling that keeps
    // the window, and it no longer closes by itself.
    user.answer(QMessageBox::Save);
    QVERIFY(!window->close());
    auto *dialog = modal<QFileDialog>();
    QVERIFY(dialog);
    dialog->reject();
    QTRY_VERIFY(!QApplication::activeModalWidget());
    QVERIFY(window);
    QVERIFY(!window->isClosingAfterSave());

    // Saved there, it closes once the file is written.
    user.answer(QMessageBox::Save);
    QVERIFY(!window->close());
    dialog = modal<QFileDialog>();
    QVERIFY(dialog);
    dialog->setDirectory(m_dir.path());
    auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    name->clear();
    QTest::keyClicks(name, QStringLiteral("closed.ldx"));
    QTest::keyClick(name, Qt::Key_Return);
    QTRY_VERIFY(!window);
    QVERIFY(QFileInfo(m_dir.filePath(QStringLiteral("closed.ldx"))).size() > 0);

    // Discard closes at once.
    window = newWindow();
    addNode(window);
    user.answer(QMessageBox::Discard);
    QVERIFY(window->close());
    QTRY_VERIFY(!window);
}

void TestLudraWindow::recentFiles()
{
    RecentFiles *recent = ludraApp->recentFiles();
    recent->clear();
    // one/one1 .. one/one5, one/same, two/two1 .. two/two5, two/same
    QStringList files;
    for (const QString &folder : {QStringLiteral("one"), QStringLiteral("two")}) {
        QVERIFY(QDir(m_dir.path()).mkpath(folder));
        for (int i = 1; i <= 6; ++i) {
            const QString name = i < 6 ? folder + QString::number(i) : QStringLiteral("same");
            files << m_dir.filePath(folder + u'/' + name + QStringLiteral(".ldx"));
            QFile file(files.last());
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
    }
    // Eleven files: the first one added is dropped.
    for (int i = 0; i < 11; ++i)
        recent->add(files.at(i));
    QCOMPARE(recent->paths().size(), RecentFiles::MaxCount);
    QVERIFY(!recent->paths().contains(files.at(0)));
    QCOMPARE(recent->paths().first(), files.at(10));
    // Saved again: on top, once.
    recent->add(files.at(3));
    QCOMPARE(recent->paths().first(), files.at(3));
    QCOMPARE(recent->paths().count(files.at(3)), 1);
    QCOMPARE(recent->paths().size(), RecentFiles::MaxCount);
    recent->add(files.at(11));

    // The menu tells the two "same" files by their folders, and leaves out
    // one that is gone.
    QVERIFY(QFile::remove(files.at(4)));
    LudraWindow *window = newWindow();
    const QStringList titles = menuTexts(window->ludraMenuBar()->openRecentMenu());
    QCOMPARE(titles.mid(0, 3), (QStringList{QStringLiteral("same — two"), QStringLiteral("one4"),
                                            QStringLiteral("two5")}));
    QVERIFY(titles.contains(QStringLiteral("same — one")));
    QVERIFY(!titles.contains(QStringLiteral("one5")));
    QCOMPARE(titles.size(), 10);
    QCOMPARE(titles.last(), QStringLiteral("&Clear Menu"));

    // Kept in the settings for the next start.
    QTRY_COMPARE(RecentFiles(ludraApp->settingsController()).paths(), recent->paths());
    window->close();
}

void TestLudraWindow::menuTextsFollowTheDocument()
{
    LudraWindow *window = newWindow();
    LudraMenuBar *menus = window->ludraMenuBar();
    QAction *grid = menus->showGridAction();
    const QString before = grid->text();
    QVERIFY(before == QStringLiteral("Show &Grid") || before == QStringLiteral("Hide &Grid"));
    grid->trigger();
    QTRY_VERIFY(grid->text() != before);
    grid->trigger();
    QTRY_COMPARE(grid->text(), before);

    QCOMPARE(menus->playAction()->text(), QStringLiteral("Play"));
    menus->playAction()->trigger();
    QTRY_COMPARE(menus->playAction()->text(), QStringLiteral("Pause"));
    menus->playAction()->trigger();
    QTRY_COMPARE(menus->playAction()->text(), QStringLiteral("Play"));

    QVERIFY(!menus->undoAction()->text().contains(QStringLiteral("Node")));
    addNode(window);
    QTRY_COMPARE(menus->undoAction()->text(), QStringLiteral("&Undo Node"));
    menus->undoAction()->trigger();
    QTRY_COMPARE(menus->redoAction()->text(), QStringLiteral("&Redo Node"));

    // The tools are the view's: picked in the menu, the document has it.
    const QStringList tools = menuTexts(menus->toolMenu());
    QCOMPARE(tools, (QStringList{"General", "   &Selection", "   &Zoom", "Elements",
                                 "   &Node && Edge", "   &Voice Group", "   &Text Box"}));
    menus->toolMenu()->actions().at(1)->trigger();
    QTRY_COMPARE(window->controller()->data(window->controller()->index("Tool")).toInt(), 0);
    QTRY_VERIFY(window->isWindowModified());

    Answerer user;
    user.answer(QMessageBox::Discard);
    window->close();
}

void TestLudraWindow::printingToPdf()
{
    LudraWindow *window = newWindow();
    addNode(window);
    const QString pdf = m_dir.filePath(QStringLiteral("network.pdf"));
    window->printer()->setOutputFormat(QPrinter::PdfFormat);
    window->printer()->setOutputFileName(pdf);
    window->print();
    auto *dialog = modal<QPrintDialog>();
    QVERIFY(dialog);
    QVERIFY(!window->ludraMenuBar()->showGridAction()->isEnabled());
    dialog->accept();
    QTRY_VERIFY(QFileInfo(pdf).size() > 0);
    QVERIFY(window->ludraMenuBar()->showGridAction()->isEnabled());
    Answerer user;
    user.answer(QMessageBox::Discard);
    window->close();
}

void TestLudraWindow::quittingAsksForEachWindowAndStopsWhilePlaying()
{
    QTRY_COMPARE(ludraApp->ludraWindows().size(), 1);
    LudraWindow *first = ludraApp->ludraWindows().first();
    LudraWindow *second = newWindow();
    addNode(first);
    addNode(second);
    second->controller()->requestPlay();
    QTRY_VERIFY(second->controller()->isPlaying());

    // Cancel at the first: nothing closes and nothing more is asked.
    Answerer user;
    user.answer(QMessageBox::Cancel);
    ludraApp->appQuit();
    QCOMPARE(user.texts.size(), 1);
    QCOMPARE(ludraApp->ludraWindows().size(), 2);

    // Discard both: the application ends, the second window still playing.
    user.answer(QMessageBox::Discard);
    user.answer(QMessageBox::Discard);
    QTimer::singleShot(0, ludraApp, &LudraApplication::appQuit);
    QTimer::singleShot(120000, this, [] { QCoreApplication::exit(1); });
    QCOMPARE(QCoreApplication::exec(), 0);
    QCOMPARE(user.texts.size(), 3);
    QVERIFY(ludraApp->ludraWindows().isEmpty());
}

int main(int argc, char *argv[])
{
    const PrivateHome home;

    LudraApplication app(argc, argv, {});
    if (app.handedOver())
        return 1;
    TestLudraWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_ludrawindow.moc"
