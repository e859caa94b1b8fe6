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
#include <QStyle>
#include <QVBoxLayout>

namespace {

using Keys = SettingsModel;

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
    defaultsForm->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
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
    for (KeyComboBox *ports : {m_midiInputPort, m_midiThruPort})
        ports->setPlaceholderText(tr("No port chosen"));

    // Each check box heads the port it turns on, which is greyed out while
    // it is off.
    auto *midi = new QGroupBox(tr("MIDI"));
    auto *midiForm = new QFormLayout(midi);
    midiForm->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    midiForm->addRow(m_midiInput);
    m_midiInputPortLabel = new QLabel(tr("Port:"));
    midiForm->addRow(m_midiInputPortLabel, m_midiInputPort);
    midiForm->addRow(m_midiThru);
    m_midiThruPortLabel = new QLabel(tr("Port:"));
    midiForm->addRow(m_midiThruPortLabel, m_midiThruPort);
    auto *note = new QLabel(tr("Note: For network output, see the Inspector's Instrument panel."));
    note->setWordWrap(true);
    note->setEnabled(false);
    midiForm->addRow(note);
    const int indent = style()->pixelMetric(QStyle::PM_IndicatorWidth) +
                       style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing);
    for (QLabel *label : {m_midiInputPortLabel, m_midiThruPortLabel})
        label->setIndent(indent);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(defaults);
    layout->addWidget(midi);
    layout->addStretch();
    layout->addWidget(buttons);

    rescanInputPorts();
    rescanThruPorts();
    refreshTemplateFileComboBox();
    connect(m_templateFile, &QComboBox::activated, this,
            &PreferencesDialog::onTemplateFileActivated);
    // The user's click; a change from the store reaches the check boxes
    // with their signals blocked and comes through settingsValueChanged().
    connect(m_midiInput, &QCheckBox::toggled, this, &PreferencesDialog::updatePortRows);
    connect(m_midiThru, &QCheckBox::toggled, this, &PreferencesDialog::updatePortRows);
    if (m_settings) {
        m_settings->bind(m_midiInput, "checked", SIGNAL(toggled(bool)), Keys::MidiInputEnabledKey);
        m_settings->bind(m_midiInputPort, "currentKey", SIGNAL(activated(int)),
                         Keys::MidiInputPortKey);
        m_settings->bind(m_midiThru, "checked", SIGNAL(toggled(bool)), Keys::MidiThruEnabledKey);
        m_settings->bind(m_midiThruPort, "currentKey", SIGNAL(activated(int)),
                         Keys::MidiThruPortKey);
        attach(m_settings);
    }
    updatePortRows();
}

void PreferencesDialog::updatePortRows()
{
    m_midiInputPortLabel->setEnabled(m_midiInput->isChecked());
    m_midiInputPort->setEnabled(m_midiInput->isChecked());
    m_midiThruPortLabel->setEnabled(m_midiThru->isChecked());
    m_midiThruPort->setEnabled(m_midiThru->isChecked());
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
    updatePortRows();
}

void PreferencesDialog::settingsValueChanged(const QString &key, const QVariant &)
{
    if (key == Keys::TemplateFileKey)
        refreshTemplateFileComboBox();
    else if (key == Keys::MidiInputEnabledKey || key == Keys::MidiThruEnabledKey)
        updatePortRows();
}

void PreferencesDialog::settingsKeyRemoved(const QString &key)
{
    if (key == Keys::TemplateFileKey)
        refreshTemplateFileComboBox();
    else if (key == Keys::MidiInputEnabledKey || key == Keys::MidiThruEnabledKey)
        updatePortRows();
}
