#include "ludraapplication.h"

#include "datadirectory.h"
#include "displayscale.h"
#include "inspector.h"
#include "ludrawindow.h"
#include "midievent.h"
#include "midiinput.h"
#include "midiinstrument.h"
#include "midioutput.h"
#include "midisync.h"
#include "midisynth.h"
#include "midisynthdialog.h"
#include "preferencesdialog.h"
#include "qmdludracontroller.h"
#include "recentfiles.h"
#include "settingscontroller.h"
#include "settingsmodel.h"
#include "singleinstance.h"
#include "soundbanklocator.h"
#include "splashscreen.h"

#include <QColorDialog>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QIcon>
#include <QMessageBox>
#include <QPixmapCache>
#include <QStyleFactory>
#include <QSysInfo>
#include <QTextStream>
#include <QTimer>
#include <QUrl>

#include <algorithm>

Q_LOGGING_CATEGORY(lcLudraApp, "ludra.app", QtWarningMsg)

LudraApplication *ludraApp = nullptr;

namespace {

using Keys = SettingsModel;

constexpr int PixmapCacheKb = 65536;

// The application icon at the sizes a title bar, a task bar and the about
// box ask for, drawn for each rather than scaled from one.
QIcon applicationIcon()
{
    QIcon icon;
    for (const int size : {16, 32, 48, 256})
        icon.addFile(QStringLiteral(":/artwork/icons/%1x%1/ludra.png").arg(size),
                     QSize(size, size));
    return icon;
}

QStringList sorted(const QSet<QString> &names)
{
    QStringList list(names.cbegin(), names.cend());
    list.sort();
    return list;
}

QString describe(const LudraWindow *window)
{
    const QString name = window->fileName();
    return name.isEmpty() ? QStringLiteral("untitled") : u'"' + name + u'"';
}

} // namespace

LudraApplication::LudraApplication(int &argc, char **argv, const QStringList &files)
    : QApplication(argc, argv), m_files(files)
{
    ludraApp = this;
    setApplicationName(QStringLiteral("Ludra"));
    setApplicationVersion(versionString());
    setOrganizationName(QStringLiteral("Ludra"));
    setOrganizationDomain(QStringLiteral("ludra.invalid"));
    setDesktopFileName(QStringLiteral("ludra"));

    m_singleInstance = new SingleInstance(singleInstanceId(), this);
    if (!m_singleInstance->decide()) {
        if (m_singleInstance->error().isEmpty()) {
            m_handedOver = true;
            m_handOverExitCode = handOver(m_singleInstance, m_files);
            return;
        }
        // Neither listening nor reaching another instance works: this one
        // runs on its own rather than not at all.
        qCWarning(lcLudraApp) << "single instance:" << m_singleInstance->error();
    }
    qCInfo(lcLudraApp) << "first instance";

    setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    setWindowIcon(applicationIcon());

    m_aboutBox = std::make_unique<QMessageBox>();
    m_aboutBox->setWindowTitle(tr("About Ludra"));
    m_aboutBox->setIconPixmap(windowIcon().pixmap(96));
    m_aboutBox->setTextFormat(Qt::RichText);
    m_aboutBox->setText(QStringLiteral("<h2>Ludra</h2><p>%1 %2</p>")
                            .arg(tr("Version:"), versionString().toHtmlEscaped()));
    m_aboutBox->setInformativeText(
        tr("A network score that plays itself.<br><br>Built with Qt, RtMidi, JACK and "
           "FluidSynth; the General MIDI sounds come from the sound bank installed "
           "with it."));
    m_aboutBox->setModal(false);

    m_splash = std::make_unique<SplashScreen>(QPixmap(QStringLiteral(":/artwork/splash.png")),
                                              versionString());
    m_splash->setStatus(tr("Launching..."));
    m_splash->showCentered();

    // Until init() is done, closing a window (a warning about a file) must
    // not end the application.
    setQuitOnLastWindowClosed(false);
    QTimer::singleShot(0, this, &LudraApplication::init);
}

LudraApplication::~LudraApplication()
{
    const QList<LudraWindow *> windows = m_windows;
    m_windows.clear();
    m_focusWindow = nullptr;
    // Windows first: each one's controller stops its playback, which may
    // still be sounding through the devices below.
    qDeleteAll(windows);
    delete m_preferences;
    m_recentFiles.reset();
    if (m_midiSynth)
        m_midiSynth->setInput(nullptr);
    m_midiSynth.reset();
    m_synthInput.reset();
    m_midiInput.reset();
    if (m_thruInstrument)
        m_thruInstrument->setTimingSource(nullptr);
    m_thruInstrument.reset();
    m_midiSync.reset();
    m_fontDialog.reset();
    m_colorDialog.reset();
    m_aboutBox.reset();
    m_splash.reset();
    ludraApp = nullptr;
}

int LudraApplication::handOver(SingleInstance *running, const QStringList &files)
{
    // The running instance has a working directory of its own.
    QStringList messages;
    for (const QString &file : files)
        messages.append(QFileInfo(file).absoluteFilePath());
    if (messages.isEmpty())
        messages.append(QStringLiteral("new"));
    qCInfo(lcLudraApp) << "handing over to the running instance";
    if (running->sendMessages(messages))
        return 0;
    QTextStream(stderr) << tr("ludra: the running Ludra does not answer") << Qt::endl;
    return 1;
}

QString LudraApplication::versionString()
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(LUDRA_VERSION_MAJOR)
        .arg(LUDRA_VERSION_MINOR)
        .arg(LUDRA_VERSION_PATCH)
        .arg(LUDRA_VERSION_TWEAK);
}

QString LudraApplication::singleInstanceId()
{
    return QStringLiteral("%1/%2 (%3; %4)")
        .arg(QStringLiteral("Ludra"), versionString(), QSysInfo::kernelType(),
             QSysInfo::currentCpuArchitecture());
}

void LudraApplication::setSplashStatus(const QString &status)
{
    if (!m_splash)
        return;
    m_splash->setStatus(status);
    processEvents();
}

void LudraApplication::init()
{
    QPixmapCache::setCacheLimit(PixmapCacheKb);

    setSplashStatus(tr("Loading settings..."));
    m_settingsModel = std::make_unique<SettingsModel>();
    m_settingsController = std::make_unique<SettingsController>(m_settingsModel.get());
    attach(m_settingsController.get());
    m_recentFiles = std::make_unique<RecentFiles>(m_settingsController.get());

    setSplashStatus(tr("Initializing MIDI..."));
    initMidi();
    setQuitOnLastWindowClosed(true);

    // The network is drawn to the display's scale, known before any window.
    DisplayScale::update();

    setSplashStatus(tr("Loading user interface..."));
    connect(this, &QApplication::focusChanged, this, &LudraApplication::onFocusChanged);

    m_fontDialog = std::make_unique<QFontDialog>();
    m_fontDialog->setOption(QFontDialog::NoButtons);
    m_fontDialog->setModal(false);
    m_colorDialog = std::make_unique<QColorDialog>();
    m_colorDialog->setOptions(QColorDialog::ShowAlphaChannel | QColorDialog::NoButtons);
    m_colorDialog->setModal(false);
    m_colorDialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                  Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
    m_colorDialog->setFixedSize(m_colorDialog->sizeHint());

    if (!m_files.isEmpty())
        openDocuments(m_files);
    if (m_playFilesOnOpen) {
        // Only the named files have windows yet. Their instruments play on
        // the ports the documents name, else on the default port: the first
        // whose name holds "synth", the built-in synthesizer's unless another
        // one sorts before it.
        for (LudraWindow *window : std::as_const(m_windows))
            window->controller()->requestPlay();
    }
    if (m_windows.isEmpty())
        newDocument();

    m_splash->setStatus(QString());
    QTimer::singleShot(0, m_splash.get(), &QWidget::hide);
    connect(m_singleInstance, &SingleInstance::messageReceived, this,
            &LudraApplication::handleMessage);
    m_singleInstance->startDelivering();
}

void LudraApplication::initMidi()
{
    m_portPoll = new QTimer(this);
    m_portPoll->setInterval(PortPollIntervalMs);
    connect(m_portPoll, &QTimer::timeout, this, &LudraApplication::pollMidiPorts);
    m_portPoll->start();
    pollMidiPorts();

    m_midiInput = std::make_unique<MidiInput>();
    // Announced on the MIDI library's thread, handled here.
    connect(m_midiInput.get(), &MidiInput::readyRead, this, &LudraApplication::onMidiInputReadyRead,
            Qt::QueuedConnection);

    m_midiSync = std::make_unique<MidiSync>();
    m_thruInstrument = std::make_unique<MidiInstrument>(0);
    InstrumentSettings thru;
    thru.label = tr("MIDI Thru");
    // Every channel: leaving a port silences what the keyboard left
    // sounding on any of them.
    thru.channels = QBitArray(MidiOutput::ChannelCount, true);
    m_thruInstrument->applySettings(
        thru, {InstrumentSettings::LabelKey, InstrumentSettings::ChannelsKey});
    m_thruInstrument->setTimingSource(m_midiSync.get());
    m_thruInstrument->start();
    m_midiSync->setRunning(true);

    m_midiSynth = std::make_unique<MidiSynth>(
        m_settingsModel->value(SoundBankLocator::settingKey()).toString());
    if (!m_midiSynth->isReady() && !m_midiSynth->isFinished()) {
        // The event loop runs on, for the splash and the other instances'
        // messages, but the user's input waits.
        QEventLoop loop;
        connect(m_midiSynth.get(), &MidiSynth::soundBankChanged, &loop, &QEventLoop::quit);
        connect(m_midiSynth.get(), &QThread::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(SynthReadyTimeoutMs, &loop, &QEventLoop::quit);
        if (!m_midiSynth->isReady())
            loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    m_synthInput = std::make_unique<MidiInput>();
    m_midiSynth->setInput(m_synthInput.get());

    applyMidiInputSettings();
    applyMidiThruSettings();
}

LudraWindow *LudraApplication::focusWindow() const
{
    return m_focusWindow;
}

PreferencesDialog *LudraApplication::preferencesDialog() const
{
    return m_preferences;
}

QString LudraApplication::templateFile() const
{
    const QString chosen =
        m_settingsModel ? m_settingsModel->value(Keys::TemplateFileKey).toString() : QString();
    if (!chosen.isEmpty() && QFileInfo::exists(chosen))
        return chosen;
    return DataDirectory::templateFile();
}

LudraWindow *LudraApplication::createWindow()
{
    auto *window = new LudraWindow;
    window->setAttribute(Qt::WA_DeleteOnClose);
    // By the time destroyed() is emitted the object is a plain QObject, and
    // casting it back would be undefined: the window's address comes along.
    connect(window, &QObject::destroyed, this, [this, window] { onLudraWindowDestroyed(window); });
    m_windows.append(window);
    window->installEventFilter(this);
    // The inspector offers the ports as the last poll saw them.
    Inspector *inspector = window->inspector();
    inspector->setPortListers([this] { return m_inputPorts; }, [this] { return m_outputPorts; });
    connect(this, &LudraApplication::midiInputPortsChanged, inspector,
            &Inspector::documentRescanMidiInputs);
    connect(this, &LudraApplication::midiOutputPortsChanged, inspector,
            &Inspector::documentRescanMidiOutputs);
    connect(this, &LudraApplication::midiOutputPortsChanged, inspector,
            &Inspector::instrumentRescanMidiOutputs);

    return window;
}

LudraWindow *LudraApplication::newDocument()
{
    ++m_untitledCount;
    LudraWindow *window = createWindow();
    window->startFromTemplate(templateFile());
    smartShowDocument(window);
    return window;
}

void LudraApplication::openDocuments(const QStringList &fileNames)
{
    for (const QString &fileName : fileNames) {
        const QFileInfo file(fileName);
        if (!file.exists())
            continue;
        const QString path = file.absoluteFilePath();
        const auto open = std::find_if(m_windows.cbegin(), m_windows.cend(),
                                       [&path](LudraWindow *w) { return w->fileName() == path; });
        if (open != m_windows.cend()) {
            LudraWindow *window = *open;
            if (window->isMinimized())
                window->showNormal();
            window->activateWindow();
            window->raise();
            qCInfo(lcLudraApp).noquote() << "window raised:" << describe(window);
            continue;
        }
        LudraWindow *window = createWindow();
        window->loadFile(path);
        smartShowDocument(window);
    }
}

void LudraApplication::openDocument(const QString &fileName)
{
    openDocuments(QStringList{fileName});
}

void LudraApplication::openDocuments()
{
    auto *dialog = new QFileDialog(m_focusWindow, tr("Open"), QString(), LudraWindow::nameFilter());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // Qt's own dialog, the same on every desktop and under test.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFiles);
    dialog->restoreState(m_settingsModel->value(Keys::OpenDialogStateKey).toByteArray());
    dialog->restoreGeometry(m_settingsModel->value(Keys::OpenDialogGeometryKey).toByteArray());
    connect(dialog, &QFileDialog::finished, this, [this, dialog] {
        m_settingsController->requestChangeValue(Keys::OpenDialogStateKey, dialog->saveState());
        m_settingsController->requestChangeValue(Keys::OpenDialogGeometryKey,
                                                 dialog->saveGeometry());
    });
    connect(dialog, &QFileDialog::filesSelected, this,
            qOverload<const QStringList &>(&LudraApplication::openDocuments));
    dialog->open();
}

void LudraApplication::saveAllDocuments()
{
    // An untitled document needs a name first, which the window's own Save
    // As will ask for.
    for (LudraWindow *window : std::as_const(m_windows)) {
        QmdLudraController *controller = window->controller();
        if (!window->fileName().isEmpty() && !controller->isAtCleanState())
            controller->requestSave(window->fileName());
    }
}

void LudraApplication::closeActiveWindow()
{
    if (QWidget *window = activeWindow())
        window->close();
}

void LudraApplication::showAppFontDialog()
{
    m_fontDialog->show();
    m_fontDialog->raise();
    m_fontDialog->activateWindow();
}

void LudraApplication::connectAppFontDialog(QObject *receiver, const char *member)
{
    disconnectAppFontDialog();
    if (!receiver)
        return;
    m_fontReceiver = receiver;
    connect(m_fontDialog.get(), SIGNAL(currentFontChanged(QFont)), receiver, member);
    connect(m_fontDialog.get(), SIGNAL(fontSelected(QFont)), receiver, member);
    connect(receiver, &QObject::destroyed, this, &LudraApplication::disconnectAppFontDialog);
}

void LudraApplication::disconnectAppFontDialog()
{
    if (!m_fontReceiver)
        return;
    disconnect(m_fontDialog.get(), nullptr, m_fontReceiver, nullptr);
    disconnect(m_fontReceiver, &QObject::destroyed, this,
               &LudraApplication::disconnectAppFontDialog);
    m_fontReceiver = nullptr;
}

void LudraApplication::updateAppFontDialog(const QFont &font)
{
    const QSignalBlocker blocker(m_fontDialog.get());
    m_fontDialog->setCurrentFont(font);
}

void LudraApplication::showAppColorDialog()
{
    m_colorDialog->show();
    m_colorDialog->raise();
    m_colorDialog->activateWindow();
}

void LudraApplication::connectAppColorDialog(QObject *receiver, const char *member)
{
    disconnectAppColorDialog();
    if (!receiver)
        return;
    m_colorReceiver = receiver;
    connect(m_colorDialog.get(), SIGNAL(currentColorChanged(QColor)), receiver, member);
    connect(m_colorDialog.get(), SIGNAL(colorSelected(QColor)), receiver, member);
    connect(receiver, &QObject::destroyed, this, &LudraApplication::disconnectAppColorDialog);
}

void LudraApplication::disconnectAppColorDialog()
{
    if (!m_colorReceiver)
        return;
    disconnect(m_colorDialog.get(), nullptr, m_colorReceiver, nullptr);
    disconnect(m_colorReceiver, &QObject::destroyed, this,
               &LudraApplication::disconnectAppColorDialog);
    m_colorReceiver = nullptr;
}

void LudraApplication::updateAppColorDialog(const QColor &color)
{
    const QSignalBlocker blocker(m_colorDialog.get());
    m_colorDialog->setCurrentColor(color);
}

void LudraApplication::showSynthDialog()
{
    const bool made = !MidiSynthDialog::dialog();
    MidiSynthDialog *dialog = MidiSynthDialog::showDialog(m_midiSynth.get());
    if (made) {
        connect(dialog, &MidiSynthDialog::soundBankFileChosen, this, [this](const QString &file) {
            m_settingsController->requestChangeValue(SoundBankLocator::settingKey(), file);
        });
    }
}

void LudraApplication::showAppPrefs()
{
    if (!m_preferences) {
        m_preferences = new PreferencesDialog(
            m_settingsController.get(), [this] { return m_inputPorts; },
            [this] { return m_outputPorts; });
        m_preferences->setAttribute(Qt::WA_DeleteOnClose);
        connect(this, &LudraApplication::midiInputPortsChanged, m_preferences,
                &PreferencesDialog::rescanInputPorts);
        connect(this, &LudraApplication::midiOutputPortsChanged, m_preferences,
                &PreferencesDialog::rescanThruPorts);
    }
    m_preferences->show();
    m_preferences->raise();
    m_preferences->activateWindow();
}

void LudraApplication::showAppHelp()
{
    openLudraManual();
}

void LudraApplication::openLudraManual()
{
    const QString readme = DataDirectory::readmeFile();
    if (readme.isEmpty() || !QDesktopServices::openUrl(QUrl::fromLocalFile(readme))) {
        auto *box = new QMessageBox(QMessageBox::Information, tr("Ludra"),
                                    tr("The manual of Ludra could not be opened."), QMessageBox::Ok,
                                    m_focusWindow);
        box->setInformativeText(readme.isEmpty() ? tr("It is not installed.") : readme);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    }
}

void LudraApplication::showAppAbout()
{
    m_aboutBox->show();
    m_aboutBox->raise();
    m_aboutBox->activateWindow();
}

void LudraApplication::appQuit()
{
    const QList<LudraWindow *> windows = m_windows;
    for (LudraWindow *window : windows) {
        // A window saving before it closes goes by itself once saved; one
        // the user kept open ends the quitting.
        if (!window->close() && !window->isClosingAfterSave())
            return;
    }
    // Closed windows go at the next turn of the event loop; the last one
    // quits then.
    if (windows.isEmpty())
        quit();
}

void LudraApplication::handleMessage(const QString &message)
{
    if (message == QLatin1String("new"))
        newDocument();
    else
        openDocument(message);
}

void LudraApplication::onMidiInputReadyRead()
{
    if (!m_midiInput)
        return;
    const QList<MidiMessage> messages = m_midiInput->takeAll();
    for (const MidiMessage &message : messages) {
        if (QWidget *widget = focusWidget()) {
            MidiEvent event(message.timeStamp, message.bytes);
            sendEvent(widget, &event);
        }
        if (m_thruInstrument && m_thruInstrument->isOpen()) {
            m_thruInstrument->enqueue(
                InstrumentEvent::userMessage(m_midiSync->tickPosition(), message.bytes));
        }
    }
}

void LudraApplication::pollMidiPorts()
{
    const QSet<QString> inputs = MidiInput::inputPortNames();
    if (inputs != m_inputPortSet) {
        m_inputPortSet = inputs;
        m_inputPorts = sorted(inputs);
        applyMidiInputSettings();
        Q_EMIT midiInputPortsChanged();
    }
    const QSet<QString> outputs = MidiOutput::outputPortNames();
    if (outputs != m_outputPortSet) {
        m_outputPortSet = outputs;
        m_outputPorts = sorted(outputs);
        applyMidiThruSettings();
        Q_EMIT midiOutputPortsChanged();
    }
}

void LudraApplication::applyMidiInputSettings()
{
    if (!m_midiInput || !m_settingsModel)
        return;
    const bool enabled = m_settingsModel->valueOrDefault(Keys::MidiInputEnabledKey).toBool();
    const QString port = m_settingsModel->value(Keys::MidiInputPortKey).toString();
    // A port that is missing now is opened when the poll sees it come.
    if (!enabled || port.isEmpty() || !m_inputPortSet.contains(port)) {
        m_midiInput->close();
        return;
    }
    if (!m_midiInput->isOpen() || m_midiInput->portName() != port)
        m_midiInput->open(port);
}

void LudraApplication::applyMidiThruSettings()
{
    if (!m_thruInstrument || !m_settingsModel)
        return;
    const bool enabled = m_settingsModel->valueOrDefault(Keys::MidiThruEnabledKey).toBool();
    const QString port = m_settingsModel->value(Keys::MidiThruPortKey).toString();
    if (!enabled || port.isEmpty() || !m_outputPortSet.contains(port)) {
        if (m_thruInstrument->isOpen()) {
            // Silences what still sounds there first.
            m_thruInstrument->pauseAndWait();
            m_thruInstrument->close();
        }
        return;
    }
    if (m_thruInstrument->isOpen() && m_thruInstrument->portName() == port)
        return;
    InstrumentSettings settings = m_thruInstrument->settings();
    settings.port = port;
    m_thruInstrument->applySettings(settings, {InstrumentSettings::PortKey});
    m_thruInstrument->play();
}

void LudraApplication::applyMidiSetting(const QString &key)
{
    if (key == Keys::MidiInputEnabledKey || key == Keys::MidiInputPortKey)
        applyMidiInputSettings();
    else if (key == Keys::MidiThruEnabledKey || key == Keys::MidiThruPortKey)
        applyMidiThruSettings();
}

void LudraApplication::controllerChanged()
{
    SettingsController *settings = settingsController();
    if (!settings)
        return;
    // A first start stores the defaults, so that the preferences show them.
    for (const QString &key : {Keys::MidiInputEnabledKey, Keys::MidiThruEnabledKey}) {
        if (!m_settingsModel->contains(key))
            settings->requestChangeValue(key, Keys::defaultValue(key));
    }
    applyMidiInputSettings();
    applyMidiThruSettings();
}

void LudraApplication::settingsValueChanged(const QString &key, const QVariant &)
{
    applyMidiSetting(key);
}

void LudraApplication::settingsKeyRemoved(const QString &key)
{
    applyMidiSetting(key);
}

void LudraApplication::onFocusChanged(QWidget *, QWidget *now)
{
    if (now)
        setFocusWindow(qobject_cast<LudraWindow *>(now->window()));
}

bool LudraApplication::eventFilter(QObject *watched, QEvent *event)
{
    // A window without a widget that takes focus gets none, but it is
    // still the window the user works in once activated.
    if (event->type() == QEvent::WindowActivate)
        setFocusWindow(qobject_cast<LudraWindow *>(watched));
    return QApplication::eventFilter(watched, event);
}

void LudraApplication::setFocusWindow(LudraWindow *window)
{
    // Focus that moves to a dialog leaves the document window as it is.
    // Only the application's own windows count: it hears of their end.
    if (!window || window == m_focusWindow || !m_windows.contains(window))
        return;
    m_focusWindow = window;
    Q_EMIT ludraFocusWindowChanged(window);
}

void LudraApplication::onLudraWindowDestroyed(LudraWindow *window)
{
    if (!m_windows.removeOne(window))
        return;
    qCInfo(lcLudraApp) << "window closed";
    if (window == m_focusWindow) {
        m_focusWindow = nullptr;
        Q_EMIT ludraFocusWindowChanged(nullptr);
    }
    if (m_windows.isEmpty())
        quit();
}

void LudraApplication::smartShowDocument(LudraWindow *window)
{
    if (m_windows.size() == 1)
        window->showMaximized();
    else
        window->showNormal();
    window->activateWindow();
    window->raise();
    qCInfo(lcLudraApp).noquote() << "window shown:" << describe(window);
}
