#pragma once

#include "abstractsettingsview.h"

#include <QDialog>
#include <QStringList>

#include <functional>

class KeyComboBox;
class QCheckBox;
class QComboBox;
class QFileDialog;
class QLabel;
class SettingsController;

// The application's preferences: the template that new documents start
// from, and the application's MIDI input and thru ports. The check boxes
// and port lists are bound to their settings (SettingsController::bind), so
// they store a change as the user makes it and follow changes made
// elsewhere; the template list is kept by the dialog itself, as a view of
// the settings. The port lists are refilled from the lists given whenever
// the application sees the ports change (rescanInputPorts(),
// rescanThruPorts()); a refill stores nothing.
//
// Threads: the GUI thread only.
class PreferencesDialog : public QDialog, public AbstractSettingsView
{
    Q_OBJECT

public:
    using PortLister = std::function<QStringList()>;

    PreferencesDialog(SettingsController *settings, PortLister inputPorts, PortLister outputPorts,
                      QWidget *parent = nullptr);

    QComboBox *templateFileComboBox() const { return m_templateFile; }
    QCheckBox *midiInputCheckBox() const { return m_midiInput; }
    KeyComboBox *midiInputPortComboBox() const { return m_midiInputPort; }
    QCheckBox *midiThruCheckBox() const { return m_midiThru; }
    KeyComboBox *midiThruPortComboBox() const { return m_midiThruPort; }

public Q_SLOTS:
    void rescanInputPorts();
    void rescanThruPorts();
    // Shows the stored template as the current item, or "None".
    void refreshTemplateFileComboBox();
    // Opens the file dialog for a template, without waiting for it: choosing
    // a file stores it (onTemplateFileChosen()), cancelling shows the
    // stored template again.
    QFileDialog *chooseTemplateFile();
    void onTemplateFileChosen(const QString &fileName);

protected:
    void controllerChanged() override;
    void settingsValueChanged(const QString &key, const QVariant &value) override;
    void settingsKeyRemoved(const QString &key) override;

private:
    void onTemplateFileActivated(int index);
    // A port row is greyed out while its check box is off.
    void updatePortRows();

    SettingsController *const m_settings;
    const PortLister m_inputPorts;
    const PortLister m_outputPorts;
    QComboBox *m_templateFile = nullptr;
    QCheckBox *m_midiInput = nullptr;
    QLabel *m_midiInputPortLabel = nullptr;
    KeyComboBox *m_midiInputPort = nullptr;
    QCheckBox *m_midiThru = nullptr;
    QLabel *m_midiThruPortLabel = nullptr;
    KeyComboBox *m_midiThruPort = nullptr;
};
