#include "ludramenubar.h"

#include "datadirectory.h"
#include "ludraapplication.h"
#include "ludrawindow.h"
#include "networkscene.h"
#include "networkview.h"
#include "qmdludracontroller.h"
#include "recentfiles.h"
#include "toolactions.h"

#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QMenu>

namespace {

const QString ShowGridKey = QStringLiteral("ShowGrid");
const QString SnapToGridKey = QStringLiteral("SnapToGrid");
const QString ShowNodeCountersKey = QStringLiteral("ShowNodeCounters");

// Where an entry of Open Recent or Open Example keeps its file.
constexpr const char *FilePathProperty = "ludraFilePath";

QIcon fileIcon(const QString &path)
{
    static const QFileIconProvider provider;
    return provider.icon(QFileInfo(path));
}

// The platform's own keys for a standard command; where it has none
// (Save As on most Linux desktops, and offscreen), the usual ones.
QKeySequence standardKeys(QKeySequence::StandardKey key, const QKeySequence &fallback)
{
    return QKeySequence::keyBindings(key).isEmpty() ? fallback : QKeySequence(key);
}

} // namespace

LudraMenuBar::LudraMenuBar(QWidget *parent) : QMenuBar(parent)
{
    LudraApplication *app = ludraApp;

    m_fileMenu = addMenu(tr("&File"));
    if (app) {
        m_fileMenu->addAction(tr("&New"), QKeySequence::New, app, &LudraApplication::newDocument);
        m_fileMenu->addAction(tr("&Open..."), QKeySequence::Open, app,
                              qOverload<>(&LudraApplication::openDocuments));
    }
    m_recentMenu = m_fileMenu->addMenu(tr("Open &Recent"));
    connect(m_recentMenu, &QMenu::aboutToShow, this, &LudraMenuBar::rebuildOpenRecentMenu);
    connect(m_recentMenu, &QMenu::triggered, this, &LudraMenuBar::onOpenFileActionTriggered);
    m_exampleMenu = m_fileMenu->addMenu(tr("Open &Example"));
    connect(m_exampleMenu, &QMenu::aboutToShow, this, &LudraMenuBar::rebuildOpenExampleMenu);
    connect(m_exampleMenu, &QMenu::triggered, this, &LudraMenuBar::onOpenFileActionTriggered);
    m_fileMenu->addSeparator();
    if (app) {
        m_fileMenu->addAction(tr("&Close"), QKeySequence::Close, app,
                              &LudraApplication::closeActiveWindow);
    }
    m_saveActions << windowAction(m_fileMenu, tr("&Save"), QKeySequence::Save, &LudraWindow::save)
                  << windowAction(m_fileMenu, tr("Save &As..."),
                                  standardKeys(QKeySequence::SaveAs,
                                               QKeySequence(QStringLiteral("Shift+Ctrl+S"))),
                                  &LudraWindow::saveAs);
    m_fileMenu->addSeparator();
    m_windowActions << windowAction(m_fileMenu, tr("Page Set&up..."),
                                    QKeySequence(QStringLiteral("Shift+Ctrl+P")),
                                    &LudraWindow::pageSetup)
                    << windowAction(m_fileMenu, tr("&Print..."), QKeySequence::Print,
                                    &LudraWindow::print);
    m_fileMenu->addSeparator();
    if (app)
        m_fileMenu->addAction(tr("E&xit"), app, &LudraApplication::appQuit);

    m_editMenu = addMenu(tr("&Edit"));
    m_undo = windowAction(m_editMenu, tr("&Undo"), QKeySequence::Undo, &LudraWindow::undo);
    m_redo = windowAction(m_editMenu, tr("&Redo"), QKeySequence::Redo, &LudraWindow::redo);
    m_editMenu->addSeparator();
    m_windowActions << windowAction(m_editMenu, tr("Cu&t"), QKeySequence::Cut, &LudraWindow::cut)
                    << windowAction(m_editMenu, tr("&Copy"), QKeySequence::Copy, &LudraWindow::copy)
                    << windowAction(m_editMenu, tr("&Paste"), QKeySequence::Paste,
                                    &LudraWindow::paste)
                    << windowAction(m_editMenu, tr("&Delete"), QKeySequence::Delete,
                                    &LudraWindow::del);
    m_editMenu->addSeparator();
    m_windowActions << windowAction(m_editMenu, tr("Select A&ll"), QKeySequence::SelectAll,
                                    &LudraWindow::selectAll);
    m_editMenu->addSeparator();
    if (app)
        m_editMenu->addAction(tr("&Preferences..."), QKeySequence(Qt::CTRL | Qt::Key_Comma), app,
                              &LudraApplication::showAppPrefs);

    m_viewMenu = addMenu(tr("&View"));
    m_windowActions << windowAction(m_viewMenu, tr("Actual Size"),
                                    QKeySequence(QStringLiteral("Ctrl+0")),
                                    &LudraWindow::zoomActualSize);
    m_zoomIn = windowAction(m_viewMenu, tr("Zoom &In"), QKeySequence::ZoomIn, &LudraWindow::zoomIn);
    m_zoomOut =
        windowAction(m_viewMenu, tr("Zoom &Out"), QKeySequence::ZoomOut, &LudraWindow::zoomOut);
    m_viewMenu->addSeparator();
    const auto controllerAction = [this](QMenu *menu, const QKeySequence &shortcut,
                                         QmdRequestId (QmdLudraController::*request)()) {
        QAction *action = menu->addAction(QString());
        action->setShortcut(shortcut);
        connect(action, &QAction::triggered, this, [this, request] {
            if (m_window)
                (m_window->controller()->*request)();
        });
        m_windowActions << action;
        return action;
    };
    m_showGrid = controllerAction(m_viewMenu, QKeySequence(QStringLiteral("Ctrl+'")),
                                  &QmdLudraController::requestToggleShowGrid);
    m_snapToGrid = controllerAction(m_viewMenu, QKeySequence(QStringLiteral("Shift+Ctrl+'")),
                                    &QmdLudraController::requestToggleSnapToGrid);
    m_showNodeCounters = controllerAction(m_viewMenu, QKeySequence(QStringLiteral("Shift+Ctrl+C")),
                                          &QmdLudraController::requestToggleShowNodeCounters);

    m_controlMenu = addMenu(tr("&Control"));
    m_play = controllerAction(m_controlMenu, QKeySequence(Qt::Key_Space),
                              &QmdLudraController::requestTogglePlayback);
    m_gotoStart = controllerAction(m_controlMenu, QKeySequence(QStringLiteral("Ctrl+Left")),
                                   &QmdLudraController::requestGotoStart);
    m_gotoStart->setText(tr("Go to &Start"));

    // Filled with the view's tools when the window is set.
    m_toolMenu = addMenu(tr("&Tool"));

    m_windowMenu = addMenu(tr("&Window"));
    if (app) {
        m_windowMenu->addAction(tr("&Synthesizer..."), app, &LudraApplication::showSynthDialog);
    }

    // The website, community and support entries come once those places
    // exist; the manual is the README.
    m_helpMenu = addMenu(tr("&Help"));
    if (app) {
        m_helpMenu->addAction(tr("Ludra &Manual"), app, &LudraApplication::openLudraManual);
        m_helpMenu->addAction(tr("&About Ludra"), app, &LudraApplication::showAppAbout);
    }

    updateToggleTexts();
    onPlaybackStateChanged(false);
    updateUndoRedoTexts();
    updateEnabled();
}

LudraMenuBar::~LudraMenuBar() = default;

QAction *LudraMenuBar::windowAction(QMenu *menu, const QString &text, const QKeySequence &shortcut,
                                    void (LudraWindow::*slot)())
{
    QAction *action = menu->addAction(text);
    action->setShortcut(shortcut);
    connect(action, &QAction::triggered, this, [this, slot] {
        if (m_window)
            (m_window->*slot)();
    });
    return action;
}

void LudraMenuBar::setLudraWindow(LudraWindow *window)
{
    for (const QMetaObject::Connection &connection : std::as_const(m_windowConnections))
        disconnect(connection);
    m_windowConnections.clear();
    for (QAction *action : std::as_const(m_toolActions))
        m_toolMenu->removeAction(action);
    m_toolActions.clear();
    m_toolMenu->clear();
    m_window = window;

    if (window) {
        // The tools are the view's actions, shared with the tool bar.
        ToolActions *tools = window->view()->toolActions();
        for (int tool = 0; tool < ToolActions::ToolCount; ++tool) {
            if (tool == ToolActions::Selection || tool == ToolActions::NodeAndEdge) {
                QAction *header = m_toolMenu->addAction(
                    tool == ToolActions::Selection ? tr("General") : tr("Elements"));
                header->setEnabled(false);
            }
            m_toolMenu->addAction(tools->action(tool));
            m_toolActions << tools->action(tool);
        }

        QmdLudraController *controller = window->controller();
        m_windowConnections
            << connect(window, &LudraWindow::blockedByDialogChanged, this,
                       &LudraMenuBar::updateEnabled)
            << connect(window, &LudraWindow::canZoomInChanged, this, &LudraMenuBar::updateEnabled)
            << connect(window, &LudraWindow::canZoomOutChanged, this, &LudraMenuBar::updateEnabled)
            << connect(controller, &QmdController::canUndoChanged, this,
                       &LudraMenuBar::updateEnabled)
            << connect(controller, &QmdController::canRedoChanged, this,
                       &LudraMenuBar::updateEnabled)
            << connect(controller, &QmdController::undoTextChanged, this,
                       &LudraMenuBar::updateUndoRedoTexts)
            << connect(controller, &QmdController::redoTextChanged, this,
                       &LudraMenuBar::updateUndoRedoTexts)
            << connect(controller, &QmdController::modelReset, this,
                       [this] {
                           updateToggleTexts();
                           updateUndoRedoTexts();
                           updateEnabled();
                       })
            << connect(controller,
                       qOverload<const QmdIndex &, const QStringList &, QmdRequestId>(
                           &QmdController::itemsChanged),
                       this, &LudraMenuBar::onItemsEffected)
            << connect(controller, &QmdLudraController::playbackStateChanged, this,
                       &LudraMenuBar::onPlaybackStateChanged);
    }
    updateToggleTexts();
    updateUndoRedoTexts();
    onPlaybackStateChanged(window && window->controller()->isPlaying());
    updateEnabled();
}

void LudraMenuBar::updateEnabled()
{
    const bool present = m_window;
    const bool free = present && !m_window->isBlockedByDialog();
    for (QAction *action : std::as_const(m_saveActions))
        action->setEnabled(present);
    for (QAction *action : std::as_const(m_windowActions))
        action->setEnabled(free);
    for (QAction *action : std::as_const(m_toolActions))
        action->setEnabled(free);
    m_undo->setEnabled(free && m_window->controller()->canUndo());
    m_redo->setEnabled(free && m_window->controller()->canRedo());
    m_zoomIn->setEnabled(free && m_window->canZoomIn());
    m_zoomOut->setEnabled(free && m_window->canZoomOut());
}

void LudraMenuBar::updateUndoRedoTexts()
{
    const QString undoText = m_window ? m_window->controller()->undoText() : QString();
    const QString redoText = m_window ? m_window->controller()->redoText() : QString();
    m_undo->setText(undoText.isEmpty() ? tr("&Undo") : tr("&Undo") + u' ' + undoText);
    m_redo->setText(redoText.isEmpty() ? tr("&Redo") : tr("&Redo") + u' ' + redoText);
}

void LudraMenuBar::updateToggleTexts()
{
    const auto flag = [this](const QString &key) {
        if (!m_window)
            return false;
        QmdLudraController *controller = m_window->controller();
        return controller->data(controller->index(key)).toBool();
    };
    m_showGrid->setText(flag(ShowGridKey) ? tr("Hide &Grid") : tr("Show &Grid"));
    m_snapToGrid->setText(flag(SnapToGridKey) ? tr("Turn &Snap to Grid Off")
                                              : tr("Turn &Snap to Grid On"));
    m_showNodeCounters->setText(flag(ShowNodeCountersKey) ? tr("Hide Node &Counters")
                                                          : tr("Show Node &Counters"));
}

void LudraMenuBar::onItemsEffected(const QmdIndex &parent, const QStringList &keys)
{
    if (parent.isValid())
        return;
    if (keys.contains(ShowGridKey) || keys.contains(SnapToGridKey) ||
        keys.contains(ShowNodeCountersKey))
        updateToggleTexts();
}

void LudraMenuBar::onPlaybackStateChanged(bool isPlaying)
{
    m_play->setText(isPlaying ? tr("Pause") : tr("Play"));
}

void LudraMenuBar::rebuildOpenRecentMenu()
{
    m_recentMenu->clear();
    RecentFiles *recent = ludraApp ? ludraApp->recentFiles() : nullptr;
    if (recent) {
        for (const RecentFiles::Entry &entry : recent->menuEntries()) {
            QAction *action = m_recentMenu->addAction(fileIcon(entry.path), entry.title);
            action->setProperty(FilePathProperty, entry.path);
        }
    }
    m_recentMenu->addSeparator();
    QAction *clear = m_recentMenu->addAction(tr("&Clear Menu"));
    clear->setEnabled(recent);
    if (recent)
        connect(clear, &QAction::triggered, recent, &RecentFiles::clear);
}

void LudraMenuBar::rebuildOpenExampleMenu()
{
    m_exampleMenu->clear();
    const QString folder = DataDirectory::examplesFolder();
    const QFileInfoList files =
        folder.isEmpty() ? QFileInfoList()
                         : QDir(folder).entryInfoList({QStringLiteral("*.ldx")}, QDir::Files,
                                                      QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo &file : files) {
        QAction *action =
            m_exampleMenu->addAction(fileIcon(file.absoluteFilePath()), file.completeBaseName());
        action->setProperty(FilePathProperty, file.absoluteFilePath());
    }
    if (files.isEmpty())
        m_exampleMenu->addAction(tr("(Empty)"))->setEnabled(false);
}

void LudraMenuBar::onOpenFileActionTriggered(QAction *action)
{
    const QString path = action->property(FilePathProperty).toString();
    if (!path.isEmpty() && ludraApp)
        ludraApp->openDocument(path);
}
