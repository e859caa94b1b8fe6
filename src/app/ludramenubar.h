#pragma once

#include "qmdglobal.h"
#include "qmdindex.h"

#include <QMenuBar>
#include <QMetaObject>
#include <QPointer>

class LudraWindow;
class QAction;
class QMenu;

// The menu bar of a document window: File, Edit, View, Control, Tool,
// Window and Help. Each action is made once, here; the tool entries are the
// view's own tool actions, so the menu and the tool bar show one tool.
//
// It follows its window (setLudraWindow): the window's commands are enabled
// while there is a window that no dialog blocks, Save and Save As whenever
// there is a window. The texts that change with the document follow its
// controller: undo and redo name the step they would take, the view
// toggles say what they would do, Play turns into Pause while the document
// plays. The recent and example documents are listed afresh each time their
// menu opens.
//
// GUI thread only.
class LudraMenuBar : public QMenuBar
{
    Q_OBJECT

public:
    explicit LudraMenuBar(QWidget *parent = nullptr);
    ~LudraMenuBar() override;

    LudraWindow *ludraWindow() const { return m_window; }
    void setLudraWindow(LudraWindow *window);

    QMenu *fileMenu() const { return m_fileMenu; }
    QMenu *openRecentMenu() const { return m_recentMenu; }
    QMenu *openExampleMenu() const { return m_exampleMenu; }
    QMenu *editMenu() const { return m_editMenu; }
    QMenu *viewMenu() const { return m_viewMenu; }
    QMenu *controlMenu() const { return m_controlMenu; }
    QMenu *toolMenu() const { return m_toolMenu; }
    QMenu *helpMenu() const { return m_helpMenu; }

    QAction *undoAction() const { return m_undo; }
    QAction *redoAction() const { return m_redo; }
    QAction *showGridAction() const { return m_showGrid; }
    QAction *snapToGridAction() const { return m_snapToGrid; }
    QAction *showNodeCountersAction() const { return m_showNodeCounters; }
    QAction *playAction() const { return m_play; }
    QAction *gotoStartAction() const { return m_gotoStart; }

public Q_SLOTS:
    // Opens the file an entry of Open Recent or Open Example stands for.
    void onOpenFileActionTriggered(QAction *action);
    void rebuildOpenRecentMenu();
    void rebuildOpenExampleMenu();
    void updateEnabled();
    void updateUndoRedoTexts();
    void updateToggleTexts();
    void onPlaybackStateChanged(bool isPlaying);

private:
    void onItemsEffected(const QmdIndex &parent, const QStringList &keys);
    QAction *windowAction(QMenu *menu, const QString &text, const QKeySequence &shortcut,
                          void (LudraWindow::*slot)());

    QPointer<LudraWindow> m_window;
    QList<QMetaObject::Connection> m_windowConnections;

    QMenu *m_fileMenu = nullptr;
    QMenu *m_recentMenu = nullptr;
    QMenu *m_exampleMenu = nullptr;
    QMenu *m_editMenu = nullptr;
    QMenu *m_viewMenu = nullptr;
    QMenu *m_controlMenu = nullptr;
    QMenu *m_toolMenu = nullptr;
    QMenu *m_windowMenu = nullptr;
    QMenu *m_helpMenu = nullptr;

    // Enabled while there is a window that no dialog blocks.
    QList<QAction *> m_windowActions;
    // Enabled while there is a window.
    QList<QAction *> m_saveActions;
    QList<QAction *> m_toolActions;
    QAction *m_zoomIn = nullptr;
    QAction *m_zoomOut = nullptr;
    QAction *m_undo = nullptr;
    QAction *m_redo = nullptr;
    QAction *m_showGrid = nullptr;
    QAction *m_snapToGrid = nullptr;
    QAction *m_showNodeCounters = nullptr;
    QAction *m_play = nullptr;
    QAction *m_gotoStart = nullptr;
};
