#include "preferencesdialog.h"

#include "keycombobox.h"
#include "settingscontroller.h"
#include "settingsmodel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

namespace {

using Keys = SettingsModel;

// A check box with its port list below it, indented under its label.
QGroupBox *portSection(QCheckBox *checkBox, KeyComboBox *ports)
{
    auto *box = new QGroupBox;
    box->setFlat(true);
    auto *form = new QFormLayout(box);
    form->addRow(checkBox);
    form->addRow(PreferencesDialog::tr("Port:"), ports);
    return box;
}

} // namespace

PreferencesDialog::PreferencesDialog(SettingsController *settings, PortLister inputPorts,
                                     PortLister outputPorts, QWidget *parent)
    : QDialog(parent), m_settings(settings), m_inputPorts(std::move(inputPorts)),
      m_outputPorts(std::move(outputPorts))
{
    setWindowTitle(tr("Preferences"));
    // Room for the long names JACK and ALSA give their ports.
    setMinimumWidth(480);

    m_templateFile = new QComboBox;
    m_templateFile->setObjectName(QStringLiteral("templateFile"));
    m_templateFile->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    auto *defaults = new QGroupBox(tr("Defaults"));
    auto *defaultsForm = new QFormLayout(defaults);
    defaultsForm->addRow(tr("Custom template:"), m_templateFile);

    m_midiInput = new QCheckBox(tr("MIDI Input"));
    m_midiInput->setObjectName(QStringLiteral("midiInput"));
    m_midiInputPort = new KeyComboBox;
    m_midiInputPort->setObjectName(QStringLiteral("midiInputPort"));
    m_midiInputPort->setToolTip(tr("Choose MIDI input port"));
    m_midiThru = new QCheckBox(tr("MIDI Thru"));
    m_midiThru->setObjectName(QStringLiteral("midiThru"));
    m_midiThruPort = new KeyComboBox;
    m_midiThruPort->setObjectName(QStringLiteral("midiThruPort"));
    m_midiThruPort->setToolTip(tr("Choose MIDI thru port"));

    auto *note = new QLabel(tr("Note: For network output, see the Inspector's Instrument panel."));
    note->setWordWrap(true);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(defaults);
    layout->addWidget(portSection(m_midiInput, m_midiInputPort));
    layout->addWidget(portSection(m_midiThru, m_midiThruPort));
    layout->addWidget(note);
    layout->addStretch();
    layout->addWidget(buttons);

    rescanInputPorts();
    rescanThruPorts();
    refreshTemplateFileComboBox();
    connect(m_templateFile, &QComboBox::activated, this,
            &PreferencesDialog::onTemplateFileActivated);
    if (m_settings) {
        m_settings->bind(m_midiInput, "checked", SIGNAL(toggled(bool)), Keys::MidiInputEnabledKey);
        m_settings->bind(m_midiInputPort, "currentKey", SIGNAL(activated(int)),
                         Keys::MidiInputPortKey);
        m_settings->bind(m_midiThru, "checked", SIGNAL(toggled(bool)), Keys::MidiThruEnabledKey);
        m_settings->bind(m_midiThruPort, "currentKey", SIGNAL(activated(int)),
                         Keys::MidiThruPortKey);
        attach(m_settings);
    }
}

void PreferencesDialog::rescanInputPorts()
{
    m_midiInputPort->setKeys(m_inputPorts ? m_inputPorts() : QStringList());
}

void PreferencesDialog::rescanThruPorts()
{
    m_midiThruPort->setKeys(m_outputPorts ? m_outputPorts() : QStringList());
}

void PreferencesDialog::refreshTemplateFileComboBox()
{
    const QString fileName =
        m_settings ? m_settings->value(Keys::TemplateFileKey).toString() : QString();
    const QSignalBlocker blocker(m_templateFile);
    m_templateFile->clear();
    m_templateFile->addItem(tr("None"), QString());
    if (!fileName.isEmpty()) {
        const QFileInfo file(fileName);
        m_templateFile->addItem(
            QStringLiteral("%1 — %2").arg(file.absoluteDir().dirName(), file.fileName()), fileName);
    }
    m_templateFile->insertSeparator(m_templateFile->count());
    m_templateFile->addItem(tr("Choose..."));
    m_templateFile->setCurrentIndex(fileName.isEmpty() ? 0 : 1);
}

void PreferencesDialog::onTemplateFileActivated(int index)
{
    if (index == m_templateFile->count() - 1) {
        chooseTemplateFile();
        return;
    }
    if (m_templateFile->itemData(index).toString().isEmpty() && m_settings)
        m_settings->requestRemoveKey(Keys::TemplateFileKey);
}

QFileDialog *PreferencesDialog::chooseTemplateFile()
{
    const QString current =
        m_settings ? m_settings->value(Keys::TemplateFileKey).toString() : QString();
    auto *dialog = new QFileDialog(
        this, tr("Open"), current.isEmpty() ? QDir::homePath() : QFileInfo(current).absolutePath(),
        QStringLiteral("*.ldx"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    connect(dialog, &QFileDialog::fileSelected, this, &PreferencesDialog::onTemplateFileChosen);
    connect(dialog, &QFileDialog::rejected, this, &PreferencesDialog::refreshTemplateFileComboBox);
    dialog->open();
    return dialog;
}

void PreferencesDialog::onTemplateFileChosen(const QString &fileName)
{
    if (m_settings)
        m_settings->requestChangeValue(Keys::TemplateFileKey, fileName);
}

void PreferencesDialog::controllerChanged()
{
    refreshTemplateFileComboBox();
}

void PreferencesDialog::settingsValueChanged(const QString &key, const QVariant &)
{
    if (key == Keys::TemplateFileKey)
        refreshTemplateFileComboBox();
}

void PreferencesDialog::settingsKeyRemoved(const QString &key)
{
    if (key == Keys::TemplateFileKey)
        refreshTemplateFileComboBox();
}
