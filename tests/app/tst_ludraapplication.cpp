#include "jackserver.h"
#include "ludraapplication.h"
#include "ludrawindow.h"
#include "midievent.h"
#include "midiinput.h"
#include "midiinstrument.h"
#include "privatehome.h"
#include "settingscontroller.h"
#include "settingsmodel.h"
#include "virtualmidiports.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

using Keys = SettingsModel;

// A widget that takes focus and keeps the MIDI messages it is given.
class MidiRecorder : public QWidget
{
public:
    MidiRecorder() { setFocusPolicy(Qt::StrongFocus); }

    QList<QByteArray> takeAll() { return std::exchange(m_messages, {}); }
    const QList<QByteArray> &messages() const { return m_messages; }

protected:
    bool event(QEvent *event) override
    {
        if (event->type() != MidiEvent::staticType())
            return QWidget::event(event);
        m_messages.append(static_cast<MidiEvent *>(event)->bytes());
        event->accept();
        return true;
    }

private:
    QList<QByteArray> m_messages;
};

} // namespace

// The application itself, in this process: what reaches its MIDI input goes
// to the focused widget and out of the thru port, and it ends with its last
// window.
class TestLudraApplication : public QObject
{
    Q_OBJECT

public:
    explicit TestLudraApplication(JackServer *jack) : m_jack(jack) {}

private Q_SLOTS:
    void initTestCase();
    void midiReachesFocusedWidgetAndThruPort();
    void closingTheLastWindowQuits();

private:
    JackServer *const m_jack;
};

void TestLudraApplication::initTestCase()
{
    // Started from the event loop, with one untitled window.
    QTRY_COMPARE_WITH_TIMEOUT(ludraApp->ludraWindows().size(), 1, 60000);
}

void TestLudraApplication::midiReachesFocusedWidgetAndThruPort()
{
    REQUIRE_JACK(m_jack);
    VirtualMidiSource keyboard;
    VirtualMidiSink thru;
    ludraApp->pollMidiPorts();
    QVERIFY(ludraApp->midiInputPortNames().contains(keyboard.portName()));
    QVERIFY(ludraApp->midiOutputPortNames().contains(thru.portName()));

    SettingsController *settings = ludraApp->settingsController();
    settings->requestChangeValue(Keys::MidiInputPortKey, keyboard.portName());
    settings->requestChangeValue(Keys::MidiThruPortKey, thru.portName());
    // Both are on unless the user turned them off.
    QTRY_VERIFY(ludraApp->midiInput()->isOpen());
    QTRY_VERIFY(ludraApp->thruInstrument()->isOpen());
    QCOMPARE(ludraApp->midiInput()->portName(), keyboard.portName());
    QCOMPARE(ludraApp->thruInstrument()->portName(), thru.portName());

    MidiRecorder recorder;
    recorder.show();
    recorder.activateWindow();
    recorder.setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), &recorder);

    // Through the application to the thru port: both legs connected.
    const auto sendFromKeyboard = [&keyboard](const QByteArray &bytes) { keyboard.send(bytes); };
    QVERIFY(thru.awaitConnection(sendFromKeyboard));
    recorder.takeAll();

    const QByteArray noteOn("\x90\x3c\x64", 3);
    keyboard.send(noteOn);
    QTRY_COMPARE(recorder.messages(), QList<QByteArray>{noteOn});
    QTRY_VERIFY(thru.messages().contains(noteOn));
    QCOMPARE(thru.takeAll(), QList<QByteArray>{noteOn});

    // Thru off: the widget still hears the note, the port does not.
    settings->requestChangeValue(Keys::MidiThruEnabledKey, false);
    QTRY_VERIFY(!ludraApp->thruInstrument()->isOpen());
    const QByteArray unheard("\x90\x3e\x5a", 3);
    keyboard.send(unheard);
    QTRY_COMPARE(recorder.messages(), (QList<QByteArray>{noteOn, unheard}));

    // Thru on again: what comes through now would come after the note,
    // had it been echoed.
    settings->requestChangeValue(Keys::MidiThruEnabledKey, true);
    QTRY_VERIFY(ludraApp->thruInstrument()->isOpen());
    const QByteArray probe("\x8f\x7f\x00", 3);
    bool through = false;
    for (int attempt = 0; attempt < 150 && !through; ++attempt) {
        keyboard.send(probe);
        through = QTest::qWaitFor([&thru, &probe] { return thru.messages().contains(probe); }, 200);
    }
    QVERIFY(through);
    QVERIFY(!thru.messages().contains(unheard));
}

void TestLudraApplication::closingTheLastWindowQuits()
{
    LudraWindow *second = ludraApp->newDocument();
    QCOMPARE(ludraApp->ludraWindows().size(), 2);
    QCOMPARE(ludraApp->untitledCount(), 2);
    // Only a window alone is maximized.
    QVERIFY(ludraApp->ludraWindows().first()->isMaximized());
    QVERIFY(!second->isMaximized());

    // The window the user works in is followed, up to its end.
    QSignalSpy focusChanges(ludraApp, &LudraApplication::ludraFocusWindowChanged);
    second->activateWindow();
    QTRY_COMPARE(ludraApp->focusWindow(), second);

    // The event loop ends when the last window has gone, and only then.
    const QList<LudraWindow *> windows = ludraApp->ludraWindows();
    int leftWhenQuit = -1;
    connect(ludraApp, &QCoreApplication::aboutToQuit, this,
            [&leftWhenQuit] { leftWhenQuit = int(ludraApp->ludraWindows().size()); });
    QTimer::singleShot(0, this, [&windows] {
        for (LudraWindow *window : windows)
            window->close();
    });
    // Should nothing end the loop, the test fails instead of hanging.
    QTimer::singleShot(120000, this, [] { QCoreApplication::exit(1); });
    QCOMPARE(QCoreApplication::exec(), 0);
    QCOMPARE(leftWhenQuit, 0);
    QVERIFY(ludraApp->ludraWindows().isEmpty());
    QCOMPARE(ludraApp->focusWindow(), nullptr);
    QCOMPARE(focusChanges.last().at(0).value<LudraWindow *>(), nullptr);
}

int main(int argc, char *argv[])
{
    // Made first, while the temporary folder is still the one the other
    // test processes share: its lock lets one of them at a time use JACK.
    std::unique_ptr<JackServer> jack;
    if (JackServer::isInstalled())
        jack = std::make_unique<JackServer>();

    const PrivateHome home;

    LudraApplication app(argc, argv, {});
    if (app.handedOver())
        return 1;
    // Before the event loop first runs the application's start-up, which
    // chooses the MIDI service.
    QString error;
    if (jack && !jack->start(&error)) {
        qWarning("%s", qPrintable(error));
        return 1;
    }
    TestLudraApplication test(jack.get());
    return QTest::qExec(&test, argc, argv);
}

#include "tst_ludraapplication.moc"
