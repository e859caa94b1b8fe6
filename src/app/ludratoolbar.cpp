#include "ludratoolbar.h"

#include "abstractsync.h"
#include "editspinbox.h"
#include "networkscene.h"
#include "networkview.h"
#include "playbackposdisplay.h"
#include "qmdludracontroller.h"
#include "qmdludraplayback.h"
#include "toolactions.h"

#include <QActionGroup>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QSpinBox>
#include <QToolButton>

namespace {

const QString TempoKey = QStringLiteral("Tempo");
const QString DisplayModeKey = QStringLiteral("PlaybackPosDisplayMode");
const QString DivsPerPrincipalKey = QStringLiteral("DivsPerPrincipal");

struct ModeEntry
{
    const char *text;
    const char *icon;
};
constexpr ModeEntry ModeEntries[PlaybackPosDisplay::ModeCount] = {
    {QT_TRANSLATE_NOOP("LudraToolBar", "Time"), ":/images/LCDTimeIcon.png"},
    {QT_TRANSLATE_NOOP("LudraToolBar", "Principals"), ":/images/LCDPrincipalsIcon.png"},
    {QT_TRANSLATE_NOOP("LudraToolBar", "Beats"), ":/images/LCDBeatsIcon.png"},
};

} // namespace

LudraToolBar::LudraToolBar(NetworkView *view, QWidget *parent) : QToolBar(tr("Tools"), parent)
{
    setObjectName(QStringLiteral("toolBar"));
    setFloatable(false);
    setIconSize(QSize(24, 24));
    addActions(view->toolActions()->actions());
    addSeparator();

    m_gotoStart =
        addAction(QIcon(QStringLiteral(":/images/Transport/GotoStart.png")), tr("Go to Start"));
    m_gotoStart->setObjectName(QStringLiteral("gotoStartAction"));
    m_playPause = addAction(QIcon(QStringLiteral(":/images/Transport/Play.png")), tr("Play"));
    m_playPause->setObjectName(QStringLiteral("playPauseAction"));
    connect(m_gotoStart, &QAction::triggered, this, [this] {
        if (m_controller)
            m_controller->requestGotoStart();
    });
    connect(m_playPause, &QAction::triggered, this, [this] {
        if (m_controller)
            m_controller->requestTogglePlayback();
    });
    addSeparator();

    m_tempo = new EditSpinBox(1, 999, QStringLiteral("tempoSpinBox"));
    m_tempo->setValue(120);
    m_tempo->setToolTip(tr("Tempo"));
    addWidget(m_tempo);
    auto *bpm = new QLabel(tr("BPM"));
    bpm->setContentsMargins(4, 0, 8, 0);
    bpm->setBuddy(m_tempo);
    addWidget(bpm);

    m_display = new PlaybackPosDisplay;
    m_display->setObjectName(QStringLiteral("positionDisplay"));
    addWidget(m_display);
    m_modes = new QActionGroup(this);
    m_modes->setExclusive(true);
    auto *menu = new QMenu(this);
    for (int mode = 0; mode < PlaybackPosDisplay::ModeCount; ++mode) {
        QAction *action = menu->addAction(QIcon(QString::fromLatin1(ModeEntries[mode].icon)),
                                          tr(ModeEntries[mode].text));
        action->setCheckable(true);
        action->setData(mode);
        m_modes->addAction(action);
    }
    connect(menu, &QMenu::triggered, this, &LudraToolBar::onDisplayModeMenuActionTriggered);
    m_modeButton = new QToolButton;
    m_modeButton->setObjectName(QStringLiteral("displayModeButton"));
    m_modeButton->setMenu(menu);
    m_modeButton->setPopupMode(QToolButton::InstantPopup);
    m_modeButton->setToolTip(tr("Position Display Mode"));
    addWidget(m_modeButton);

    m_refresh.setInterval(RefreshIntervalMs);
    connect(&m_refresh, &QTimer::timeout, this,
            &LudraToolBar::updatePlaybackPosDisplayForCurrentMode);
    setDisplayMode(PlaybackPosDisplay::Time);
    setEnabled(false);
}

LudraToolBar::~LudraToolBar()
{
    setController(nullptr);
}

void LudraToolBar::setController(QmdLudraController *controller)
{
    if (m_controller == controller)
        return;
    if (m_controller) {
        m_controller->disconnect(this);
        m_controller->unbind(m_tempo);
        m_controller->unbind(this);
    }
    m_controller = controller;
    setEnabled(m_controller);
    if (!m_controller) {
        onPlaybackStateChanged(false);
        return;
    }
    connect(m_controller, &QmdLudraController::playbackStateChanged, this,
            &LudraToolBar::onPlaybackStateChanged);
    connect(m_controller, &QmdLudraController::playbackJogged, this,
            &LudraToolBar::updatePlaybackPosDisplayForCurrentMode);
    connect(m_controller, &QmdController::modelReset, this,
            &LudraToolBar::updatePlaybackPosDisplayForCurrentMode);
    connect(m_controller,
            qOverload<const QmdIndex &, const QStringList &, QmdRequestId>(
                &QmdController::itemsChanged),
            this, [this](const QmdIndex &parent, const QStringList &keys) {
                if (!parent.isValid())
                    onRootItemsChanged(keys);
            });
    m_controller->bind(m_tempo, "value", SIGNAL(valueChanged(int)), TempoKey, QmdIndex(), 120, 120,
                       tr("Tempo"));
    // A way of looking at the document, like the grid toggles: outside the
    // undo history.
    m_controller->bind(this, "displayMode", SIGNAL(displayModeChosen(int)), DisplayModeKey,
                       QmdIndex(), int(PlaybackPosDisplay::Time), int(PlaybackPosDisplay::Time),
                       QString(), QmdRequestOptions(Qmd::NoUndo, QString()));
    onPlaybackStateChanged(m_controller->isPlaying());
}

void LudraToolBar::setDisplayMode(int mode)
{
    if (mode < 0 || mode >= PlaybackPosDisplay::ModeCount)
        mode = PlaybackPosDisplay::Time;
    if (mode == m_mode)
        return;
    m_mode = mode;
    QAction *action = m_modes->actions().value(mode);
    action->setChecked(true);
    m_modeButton->setIcon(action->icon());
    updatePlaybackPosDisplayForCurrentMode();
    Q_EMIT displayModeChanged(mode);
}

void LudraToolBar::onPlaybackStateChanged(bool isPlaying)
{
    m_playPause->setText(isPlaying ? tr("Pause") : tr("Play"));
    m_playPause->setIcon(QIcon(isPlaying ? QStringLiteral(":/images/Transport/Pause.png")
                                         : QStringLiteral(":/images/Transport/Play.png")));
    if (isPlaying)
        m_refresh.start();
    else
        m_refresh.stop();
    // Where play stopped, or where it starts from.
    updatePlaybackPosDisplayForCurrentMode();
}

void LudraToolBar::onDisplayModeMenuActionTriggered(QAction *action)
{
    const int mode = action->data().toInt();
    if (mode == m_mode)
        return;
    setDisplayMode(mode);
    Q_EMIT displayModeChosen(m_mode);
}

void LudraToolBar::updatePlaybackPosDisplayForCurrentMode()
{
    const AbstractSync *source = m_controller ? m_controller->playback().timingSource() : nullptr;
    switch (m_mode) {
    case PlaybackPosDisplay::Principals: {
        const qint64 divisions =
            m_controller ? m_controller->data(m_controller->index(DivsPerPrincipalKey)).toLongLong()
                         : 1;
        m_display->setText(
            PlaybackPosDisplay::principalsText(source ? source->tickPosition() : 0, divisions));
        break;
    }
    case PlaybackPosDisplay::Beats:
        m_display->setText(PlaybackPosDisplay::beatsText(source ? source->beatPosition() : 0));
        break;
    default:
        m_display->setText(PlaybackPosDisplay::timeText(source ? source->timePosition() : 0));
        break;
    }
}

void LudraToolBar::onRootItemsChanged(const QStringList &keys)
{
    if (keys.contains(DivsPerPrincipalKey))
        updatePlaybackPosDisplayForCurrentMode();
}
