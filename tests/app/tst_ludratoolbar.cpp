#include "displayscale.h"
#include "ludratoolbar.h"
#include "ludrawindow.h"
#include "networkscene.h"
#include "networkview.h"
#include "playbackposdisplay.h"
#include "qmdludracontroller.h"

#include <QMenu>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

namespace {

constexpr qint64 Ticks = 665280;

QVariant rootValue(const QmdLudraController *controller, const char *key)
{
    return controller->data(controller->index(QString::fromLatin1(key)));
}

QToolButton *buttonOf(LudraToolBar *bar, const QString &text)
{
    for (QAction *action : bar->actions()) {
        if (action->iconText() == text)
            return qobject_cast<QToolButton *>(bar->widgetForAction(action));
    }
    return nullptr;
}

} // namespace

// The document window's tool bar as a user works it: tools, play and pause,
// the tempo and the position display.
class TestLudraToolBar : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { DisplayScale::pin(72); }
    void positionTexts_data();
    void positionTexts();
    void displayDrawsACellPerCharacter();
    void buttonsPickToolsAndPlay();
    void tempoIsWrittenOncePerFinishedEdit();
    void modeMenuChoosesTheDocumentsMode();
};

void TestLudraToolBar::positionTexts_data()
{
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("expected");
    const qint64 second = 1000000000;
    QTest::newRow("time at 0") << PlaybackPosDisplay::timeText(0) << "0:00:00.000";
    QTest::newRow("time with hours")
        << PlaybackPosDisplay::timeText((3 * 3600 + 25 * 60 + 7) * second + 42999999)
        << "3:25:07.042";
    QTest::newRow("principals, thousands")
        << PlaybackPosDisplay::principalsText(1234 * Ticks + 3 * Ticks / 4, 4) << "1,234.3";
    QTest::newRow("principals, 16 divisions")
        << PlaybackPosDisplay::principalsText(1234567 * Ticks + 5 * Ticks / 16 + 1, 16)
        << "1,234,567.05";
    QTest::newRow("principals, no divisions")
        << PlaybackPosDisplay::principalsText(999 * Ticks + Ticks / 2, 0) << "999.0";
    QTest::newRow("beats, thousands")
        << PlaybackPosDisplay::beatsText(12345 * Ticks + 23 * Ticks / 24) << "12,345.23";
}

void TestLudraToolBar::positionTexts()
{
    QFETCH(QString, shown);
    QFETCH(QString, expected);
    QCOMPARE(shown, expected);
}

void TestLudraToolBar::displayDrawsACellPerCharacter()
{
    PlaybackPosDisplay display;
    display.setText(QStringLiteral("0:00:05.120"));
    display.resize(display.sizeHint());
    const QImage shot = display.grab().toImage();
    const QImage solid(QStringLiteral(":/images/LCDSolidChars.png"));
    const QImage dim(QStringLiteral(":/images/LCDDimChars.png"));
    auto cell = [](const QImage &image, int x) {
        return image.copy(x, image.height() == 20 ? 0 : 3, 12, 20)
            .convertToFormat(QImage::Format_RGB32);
    };
    QCOMPARE(shot.width(), 11 * 12 + 6);
    // The leading zero is dim, the 5 lit, the last 0 lit.
    QCOMPARE(cell(shot, 3), cell(dim, 0));
    QCOMPARE(cell(shot, 3 + 6 * 12), cell(solid, 5 * 12));
    QCOMPARE(cell(shot, 3 + 10 * 12), cell(solid, 0));
}

void TestLudraToolBar::buttonsPickToolsAndPlay()
{
    LudraWindow window;
    window.show();
    LudraToolBar *bar = window.toolBar();
    QToolButton *selection = buttonOf(bar, QStringLiteral("Selection"));
    QToolButton *play = buttonOf(bar, QStringLiteral("Play"));
    QVERIFY(selection && play && window.view()->tool() != 0);
    QTest::mouseClick(selection, Qt::LeftButton);
    QTRY_COMPARE(window.view()->tool(), 0);
    QCOMPARE(rootValue(window.controller(), "Tool").toInt(), 0);

    QTest::mouseClick(play, Qt::LeftButton);
    QTRY_VERIFY(window.controller()->isPlaying());
    QCOMPARE(bar->playPauseAction()->text(), QStringLiteral("Pause"));
    // The timer shows the position moving on.
    QTRY_VERIFY(bar->positionDisplay()->text() != QStringLiteral("0:00:00.000"));
    QTest::mouseClick(play, Qt::LeftButton);
    QTRY_VERIFY(!window.controller()->isPlaying());
    QCOMPARE(bar->playPauseAction()->text(), QStringLiteral("Play"));
    QVERIFY(!bar->isRefreshing());
    bar->gotoStartAction()->trigger();
    QTRY_COMPARE(bar->positionDisplay()->text(), QStringLiteral("0:00:00.000"));
}

void TestLudraToolBar::tempoIsWrittenOncePerFinishedEdit()
{
    LudraWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QmdLudraController *controller = window.controller();
    QSpinBox *tempo = window.toolBar()->tempoSpinBox();
    QSignalSpy requests(controller, &QmdController::requestFinished);
    tempo->setFocus();
    tempo->selectAll();
    QTest::keyClicks(tempo, QStringLiteral("96"));
    QCOMPARE(rootValue(controller, "Tempo").toInt(), 120);
    QTest::keyClick(tempo, Qt::Key_Return);
    QTRY_COMPARE(requests.size(), 1);
    QCOMPARE(rootValue(controller, "Tempo").toInt(), 96);
    // One step back undoes the whole edit.
    QCOMPARE(controller->undoText(), QStringLiteral("Tempo"));
    controller->requestUndo();
    QTRY_COMPARE(tempo->value(), 120);
}

void TestLudraToolBar::modeMenuChoosesTheDocumentsMode()
{
    LudraWindow window;
    window.show();
    LudraToolBar *bar = window.toolBar();
    QSignalSpy modes(&window, &LudraWindow::playbackPosDisplayModeChanged);
    const QList<QAction *> entries = bar->displayModeButton()->menu()->actions();
    QCOMPARE(entries.at(2)->text(), QStringLiteral("Beats"));
    entries.at(2)->trigger();
    QTRY_COMPARE(rootValue(window.controller(), "PlaybackPosDisplayMode").toInt(), 2);
    QCOMPARE(bar->positionDisplay()->text(), QStringLiteral("0.00"));
    QCOMPARE(modes.size(), 1);
    QCOMPARE(modes.first().first().toInt(), 2);
    // A document that says otherwise, as one loaded would, is followed.
    window.controller()->requestSetData(QStringLiteral("PlaybackPosDisplayMode"), 1);
    QTRY_COMPARE(bar->positionDisplay()->text(), QStringLiteral("0.0"));
    QVERIFY(entries.at(1)->isChecked());
    QCOMPARE(bar->displayModeButton()->icon().cacheKey(), entries.at(1)->icon().cacheKey());
}

QTEST_MAIN(TestLudraToolBar)
#include "tst_ludratoolbar.moc"
