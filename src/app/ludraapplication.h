#pragma once

#include "abstractsettingsview.h"

#include <QApplication>
#include <QList>
#include <QLoggingCategory>
#include <QPointer>
#include <QSet>
#include <QStringList>

#include <memory>

class LudraWindow;
class MidiInput;
class MidiInstrument;
class MidiSync;
class MidiSynth;
class PreferencesDialog;
class QColorDialog;
class QFontDialog;
class QMessageBox;
class QTimer;
class RecentFiles;
class SettingsController;
class SettingsModel;
class SingleInstance;
class SplashScreen;

// What the application does, off unless enabled
// (QT_LOGGING_RULES="ludra.app.info=true"): which instance a launch became
// and which document windows it shows, raises and closes.
Q_DECLARE_LOGGING_CATEGORY(lcLudraApp)

// The application with its document windows. One instance runs per user: a
// later launch hands the documents on its command line to it and ends (see
// SingleInstance). The instance shows a splash screen while it loads the
// settings, opens the application's MIDI devices and builds its windows.
//
// It keeps the open document windows in the order they were made, and the
// one that has focus; the application's MIDI devices: an input whose
// messages reach the focused widget (MidiEvent) and are echoed on the thru
// port, a timing source for the thru instrument, and the built-in
// synthesizer with its own input; and the dialogs it shares with every
// window (preferences, about, a font and a colour dialog). As a view of
// its settings it opens and closes the MIDI ports that the settings name;
// ports that are missing are opened when the port poll sees them come.
//
// Threads: everything runs on the GUI thread; the MIDI input's messages
// arrive there through a queued connection.
class LudraApplication : public QApplication, public AbstractSettingsView
{
    Q_OBJECT

public:
    // How long start-up waits for the synthesizer's sound bank at most.
    static constexpr int SynthReadyTimeoutMs = 10000;
    static constexpr int PortPollIntervalMs = 1000;

    // files: the documents named on the command line.
    LudraApplication(int &argc, char **argv, const QStringList &files);
    ~LudraApplication() override;

    static QString versionString();
    // The id that instances of the same program, version and system share.
    static QString singleInstanceId();

    // Hands the documents named on the command line to the running
    // instance, as absolute paths ("new" when none is named), and waits
    // for its answer: the exit code of this launch, 0 once it answered.
    static int handOver(SingleInstance *running, const QStringList &files);

    // True when another instance runs and this launch handed its documents
    // to it: main() returns handOverExitCode() without running the event
    // loop.
    bool handedOver() const { return m_handedOver; }
    int handOverExitCode() const { return m_handOverExitCode; }

    // Whether the documents named on the command line start playing as
    // soon as their windows open; set before the event loop runs.
    void setPlayFilesOnOpen(bool play) { m_playFilesOnOpen = play; }

    const QList<LudraWindow *> &ludraWindows() const { return m_windows; }
    // The document window that has focus; nullptr when none has.
    LudraWindow *focusWindow() const;
    int untitledCount() const { return m_untitledCount; }

    SettingsModel *settingsModel() const { return m_settingsModel.get(); }
    SettingsController *settingsController() const { return m_settingsController.get(); }
    // The documents saved or opened last; made with the settings.
    RecentFiles *recentFiles() const { return m_recentFiles.get(); }
    // The file new documents start from: the "TemplateFile" setting when it
    // exists, else the shipped template; empty for none.
    QString templateFile() const;

    // The port names as the last poll saw them, sorted.
    QStringList midiInputPortNames() const { return m_inputPorts; }
    QStringList midiOutputPortNames() const { return m_outputPorts; }
    MidiInput *midiInput() const { return m_midiInput.get(); }
    MidiSync *midiSync() const { return m_midiSync.get(); }
    MidiInstrument *thruInstrument() const { return m_thruInstrument.get(); }
    MidiSynth *midiSynth() const { return m_midiSynth.get(); }

    // The preferences dialog while it is open.
    PreferencesDialog *preferencesDialog() const;
    QFontDialog *appFontDialog() const { return m_fontDialog.get(); }
    QColorDialog *appColorDialog() const { return m_colorDialog.get(); }

Q_SIGNALS:
    void ludraFocusWindowChanged(LudraWindow *window);
    void midiInputPortsChanged();
    void midiOutputPortsChanged();

public Q_SLOTS:
    // A window for a new document, started from the template.
    LudraWindow *newDocument();
    // Opens the files in order: a file already open has its window raised,
    // a missing file is passed over.
    void openDocuments(const QStringList &fileNames);
    void openDocument(const QString &fileName);
    // Asks for files to open.
    void openDocuments();
    // Saves every modified document that has a file.
    void saveAllDocuments();
    void closeActiveWindow();

    void showAppFontDialog();
    // Hands the font dialog's current and chosen font to the receiver's
    // member (made with SLOT()), in place of the previous receiver, until
    // disconnected or the receiver goes.
    void connectAppFontDialog(QObject *receiver, const char *member);
    void disconnectAppFontDialog();
    // Shows the font without telling the receiver.
    void updateAppFontDialog(const QFont &font);
    void showAppColorDialog();
    void connectAppColorDialog(QObject *receiver, const char *member);
    void disconnectAppColorDialog();
    void updateAppColorDialog(const QColor &color);

    void showAppPrefs();
    // The one synthesizer dialog, made when there is none; a sound bank
    // opened there becomes the "SynthSoundBank" setting.
    void showSynthDialog();
    void showAppHelp();
    // Opens the README, the manual of Ludra, with the desktop's viewer.
    void openLudraManual();
    void showAppAbout();
    // Closes every window in turn, each of which may ask to save; stops at
    // the first the user keeps open. Quits when none is left.
    void appQuit();

    void init();
    // "new" opens a new document, anything else is a file to open.
    void handleMessage(const QString &message);
    void onMidiInputReadyRead();
    void pollMidiPorts();
    void onFocusChanged(QWidget *old, QWidget *now);
    // The window is being destroyed: only its address is used, never the
    // object, which is no longer a LudraWindow.
    void onLudraWindowDestroyed(LudraWindow *window);
    // Maximized when it is the only window, else normal; then in front.
    void smartShowDocument(LudraWindow *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void controllerChanged() override;
    void settingsValueChanged(const QString &key, const QVariant &value) override;
    void settingsKeyRemoved(const QString &key) override;

private:
    LudraWindow *createWindow();
    void setFocusWindow(LudraWindow *window);
    void setSplashStatus(const QString &status);
    void initMidi();
    void applyMidiInputSettings();
    void applyMidiThruSettings();
    void applyMidiSetting(const QString &key);

    QStringList m_files;
    bool m_playFilesOnOpen = false;
    bool m_handedOver = false;
    int m_handOverExitCode = 0;
    SingleInstance *m_singleInstance = nullptr;

    QList<LudraWindow *> m_windows;
    // One of m_windows, or nullptr: a window leaves both as it is destroyed.
    // Not a QPointer, which would cast the window back from QWidget while
    // it is being destroyed.
    LudraWindow *m_focusWindow = nullptr;
    int m_untitledCount = 0;

    std::unique_ptr<SettingsModel> m_settingsModel;
    std::unique_ptr<SettingsController> m_settingsController;
    std::unique_ptr<RecentFiles> m_recentFiles;

    QStringList m_inputPorts;
    QStringList m_outputPorts;
    QSet<QString> m_inputPortSet;
    QSet<QString> m_outputPortSet;
    QTimer *m_portPoll = nullptr;
    std::unique_ptr<MidiInput> m_midiInput;
    std::unique_ptr<MidiSync> m_midiSync;
    std::unique_ptr<MidiInstrument> m_thruInstrument;
    std::unique_ptr<MidiSynth> m_midiSynth;
    std::unique_ptr<MidiInput> m_synthInput;

    std::unique_ptr<SplashScreen> m_splash;
    std::unique_ptr<QMessageBox> m_aboutBox;
    std::unique_ptr<QFontDialog> m_fontDialog;
    QObject *m_fontReceiver = nullptr;
    std::unique_ptr<QColorDialog> m_colorDialog;
    QObject *m_colorReceiver = nullptr;
    QPointer<PreferencesDialog> m_preferences;
};

// The one application object while it exists.
extern LudraApplication *ludraApp;
