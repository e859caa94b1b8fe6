#pragma once

#include <QPointer>
#include <QTimer>
#include <QToolBar>

class NetworkView;
class PlaybackPosDisplay;
class QActionGroup;
class QmdLudraController;
class QSpinBox;
class QToolButton;

// The tool bar of a document window: the view's five editing tools, then
// the playback controls of the document (go to start, play or pause, the
// tempo) and the playback position on an LCD, in the mode chosen from the
// button beside it.
//
// Nothing here holds document state. The tools are the view's own actions;
// the tempo and the display mode are bound to the document's "Tempo" and
// "PlaybackPosDisplayMode", and a user's change becomes a request: the
// tempo an undoable one, the display mode, a way of looking like the grid
// toggles, one outside the undo history. The play button and the display
// follow the controller's playback signals; while the document plays, a
// timer reads the position from its timing source.
//
// GUI thread only. The timing source's positions may be read from any
// thread, so the display reads them without asking the playback threads.
class LudraToolBar : public QToolBar
{
    Q_OBJECT
    Q_PROPERTY(int displayMode READ displayMode WRITE setDisplayMode NOTIFY displayModeChanged)

public:
    static constexpr int RefreshIntervalMs = 40;

    // view: the window's network view, whose tools the bar shows.
    explicit LudraToolBar(NetworkView *view, QWidget *parent = nullptr);
    ~LudraToolBar() override;

    void setController(QmdLudraController *controller);

    QAction *gotoStartAction() const { return m_gotoStart; }
    QAction *playPauseAction() const { return m_playPause; }
    QSpinBox *tempoSpinBox() const { return m_tempo; }
    PlaybackPosDisplay *positionDisplay() const { return m_display; }
    QToolButton *displayModeButton() const { return m_modeButton; }
    // A PlaybackPosDisplay::Mode.
    int displayMode() const { return m_mode; }
    // Whether the display is refreshed by its timer, as while playing.
    bool isRefreshing() const { return m_refresh.isActive(); }

public Q_SLOTS:
    // Shows the position in the mode; other values show the time.
    void setDisplayMode(int mode);
    void onPlaybackStateChanged(bool isPlaying);
    // An entry of the display-mode menu was chosen.
    void onDisplayModeMenuActionTriggered(QAction *action);
    void updatePlaybackPosDisplayForCurrentMode();

Q_SIGNALS:
    // The display shows another mode, whoever chose it.
    void displayModeChanged(int mode);
    // The user chose the mode from the menu.
    void displayModeChosen(int mode);

private:
    void onRootItemsChanged(const QStringList &keys);

    QPointer<QmdLudraController> m_controller;
    QAction *m_gotoStart = nullptr;
    QAction *m_playPause = nullptr;
    QSpinBox *m_tempo = nullptr;
    PlaybackPosDisplay *m_display = nullptr;
    QToolButton *m_modeButton = nullptr;
    QActionGroup *m_modes = nullptr;
    QTimer m_refresh;
    // None until the constructor shows the first.
    int m_mode = -1;
};
