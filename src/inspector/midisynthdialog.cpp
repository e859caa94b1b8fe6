#include "midisynthdialog.h"

#include "editspinbox.h"
#include "midisynth.h"
#include "soundbanklocator.h"
#include "synthchannelsmodel.h"
#include "synthinstrumentsmodel.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include <utility>

namespace {

QPointer<MidiSynthDialog> &theDialog()
{
    static QPointer<MidiSynthDialog> dialog;
    return dialog;
}

} // namespace

MidiSynthDialog::MidiSynthDialog(QWidget *parent)
    : QDialog(parent), m_channels(new SynthChannelsModel(this)),
      m_instruments(new SynthInstrumentsModel(this)), m_soundBank(new QLabel), m_error(new QLabel),
      m_open(new QPushButton(tr("Open..."))), m_reset(new QPushButton(tr("Reset"))),
      m_channelView(new QTreeView), m_instrumentsComboBox(new QComboBox),
      m_program(new EditSpinBox(1, 128, QStringLiteral("programSpinBox"))),
      m_bankMsb(new EditSpinBox(0, 127, QStringLiteral("bankMsbSpinBox"))),
      m_bankLsb(new EditSpinBox(0, 127, QStringLiteral("bankLsbSpinBox")))
{
    setWindowTitle(tr("Synthesizer"));
    setObjectName(QStringLiteral("MidiSynthDialogForm"));
    m_soundBank->setObjectName(QStringLiteral("soundBankLabel"));
    QFont bold = m_soundBank->font();
    bold.setBold(true);
    m_soundBank->setFont(bold);
    m_soundBank->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_error->setObjectName(QStringLiteral("errorLabel"));
    m_error->setWordWrap(true);
    m_error->hide();
    m_open->setObjectName(QStringLiteral("openButton"));
    m_open->setToolTip(tr("Open sound bank..."));
    m_reset->setObjectName(QStringLiteral("resetButton"));
    m_reset->setToolTip(tr("Reset to default sound bank"));
    m_channelView->setObjectName(QStringLiteral("channelView"));
    m_channelView->setModel(m_channels);
    m_channelView->setRootIsDecorated(false);
    m_channelView->setUniformRowHeights(true);
    m_channelView->setAllColumnsShowFocus(true);
    m_channelView->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_instrumentsComboBox->setObjectName(QStringLiteral("instrumentsComboBox"));
    m_instrumentsComboBox->setModel(m_instruments);
    m_instrumentsComboBox->setMaxVisibleItems(20);

    auto *bank = new QHBoxLayout;
    bank->addWidget(new QLabel(tr("Sound bank:")));
    bank->addWidget(m_soundBank, 1);
    bank->addWidget(m_open);
    bank->addWidget(m_reset);
    auto *numbers = new QHBoxLayout;
    for (auto [label, box] :
         {std::pair{tr("Program:"), m_program}, std::pair{tr("Bank MSB:"), m_bankMsb},
          std::pair{tr("Bank LSB:"), m_bankLsb}}) {
        numbers->addWidget(new QLabel(label));
        numbers->addWidget(box);
    }
    numbers->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(bank);
    layout->addWidget(m_error);
    layout->addWidget(m_channelView, 1);
    layout->addWidget(m_instrumentsComboBox);
    layout->addLayout(numbers);
    resize(460, 520);

    connect(m_open, &QPushButton::clicked, this, &MidiSynthDialog::onOpenClicked);
    connect(m_reset, &QPushButton::clicked, this, &MidiSynthDialog::onResetClicked);
    connect(m_channelView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &MidiSynthDialog::onChannelIndexOrDataChanged);
    connect(m_channels, &QAbstractItemModel::dataChanged, this,
            &MidiSynthDialog::onChannelIndexOrDataChanged);
    // A new bank rebuilds the rows; the channel chosen stays chosen.
    connect(m_channels, &QAbstractItemModel::modelAboutToBeReset, this,
            [this] { setProperty("channelBeforeReset", currentChannel()); });
    connect(m_channels, &QAbstractItemModel::modelReset, this, [this] {
        const int channel = property("channelBeforeReset").toInt();
        m_channelView->setCurrentIndex(m_channels->index(qMax(0, channel), 0));
        refresh();
    });
    // Only the user's choice: the list is also rebuilt with every bank.
    connect(m_instrumentsComboBox, &QComboBox::activated, this,
            &MidiSynthDialog::onInstrumentActivated);
    for (QSpinBox *box : {m_program, m_bankMsb, m_bankLsb})
        connect(box, &QSpinBox::valueChanged, this, &MidiSynthDialog::onAnySpinBoxValueChanged);

    const QByteArray geometry = QSettings().value(geometryKey()).toByteArray();
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
    refresh();
}

MidiSynthDialog::~MidiSynthDialog()
{
    QSettings().setValue(geometryKey(), saveGeometry());
}

MidiSynthDialog *MidiSynthDialog::showDialog(MidiSynth *synth, QWidget *parent)
{
    QPointer<MidiSynthDialog> &dialog = theDialog();
    if (!dialog) {
        dialog = new MidiSynthDialog(parent);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setSynth(synth);
        dialog->show();
    }
    dialog->raise();
    dialog->activateWindow();
    return dialog;
}

void MidiSynthDialog::closeDialog()
{
    if (theDialog())
        theDialog()->deleteLater();
}

MidiSynthDialog *MidiSynthDialog::dialog()
{
    return theDialog();
}

void MidiSynthDialog::setSynth(MidiSynth *synth)
{
    if (m_synth)
        disconnect(m_synth, nullptr, this, nullptr);
    m_synth = synth;
    m_channels->setSynth(synth);
    m_instruments->setSynth(synth);
    if (synth)
        connect(synth, &MidiSynth::soundBankChanged, this, &MidiSynthDialog::refresh);
    m_channelView->setCurrentIndex(m_channels->index(0, 0));
    refresh();
}

bool MidiSynthDialog::openSoundBank(const QString &fileName)
{
    QString error;
    if (!m_synth || !m_synth->loadSoundBank(fileName, &error)) {
        showError(m_synth ? error : tr("The synthesizer is not running."));
        return false;
    }
    showError(QString());
    refresh();
    Q_EMIT soundBankFileChosen(fileName);
    return true;
}

void MidiSynthDialog::onResetClicked()
{
    if (!m_synth)
        return;
    // The default bank, whatever the user opened before.
    const QString fileName = SoundBankLocator::locate(QString());
    QString error;
    if (fileName.isEmpty()) {
        showError(tr("No default sound bank is installed."));
        return;
    }
    if (!m_synth->loadSoundBank(fileName, &error)) {
        showError(error);
        return;
    }
    showError(QString());
    refresh();
    Q_EMIT soundBankFileChosen(QString());
}

void MidiSynthDialog::onChannelIndexOrDataChanged(const QModelIndex &index)
{
    if (!index.isValid() || index.row() != currentChannel())
        return;
    const int channel = index.row();
    const MidiInstrumentId id =
        m_synth ? m_synth->instrumentOfChannel(channel) : MidiInstrumentId();
    const int bankIndex = m_synth ? m_synth->indexOfInstrument(id) : -1;
    m_channelView->viewport()->update();
    // Showing the channel's instrument is not choosing one.
    const QSignalBlocker comboBlocker(m_instrumentsComboBox);
    const QSignalBlocker programBlocker(m_program);
    const QSignalBlocker msbBlocker(m_bankMsb);
    const QSignalBlocker lsbBlocker(m_bankLsb);
    m_instrumentsComboBox->setCurrentIndex(bankIndex);
    m_program->setValue(id.program + 1);
    m_bankMsb->setValue(id.bankMsb);
    m_bankLsb->setValue(id.bankLsb);
}

void MidiSynthDialog::onInstrumentActivated(int index)
{
    const int channel = currentChannel();
    if (!m_synth || channel < 0 || index < 0)
        return;
    m_synth->setInstrumentOfChannel(channel, m_synth->instrumentId(index));
}

void MidiSynthDialog::onAnySpinBoxValueChanged()
{
    const int channel = currentChannel();
    if (!m_synth || channel < 0)
        return;
    m_synth->setInstrumentOfChannel(channel, MidiInstrumentId(quint8(m_bankMsb->value()),
                                                              quint8(m_bankLsb->value()),
                                                              quint8(m_program->value() - 1)));
}

void MidiSynthDialog::onOpenClicked()
{
    auto *chooser = new QFileDialog(this, tr("Open Sound Bank"));
    chooser->setAttribute(Qt::WA_DeleteOnClose);
    chooser->setFileMode(QFileDialog::ExistingFile);
    chooser->setNameFilters({tr("SoundFont banks (*.sf2 *.sf3)"), tr("All files (*)")});
    const QString current = m_synth ? m_synth->soundBankFileName() : QString();
    chooser->setDirectory(current.isEmpty() ? SoundBankLocator::systemFolder()
                                            : QFileInfo(current).absolutePath());
    connect(chooser, &QFileDialog::fileSelected, this, &MidiSynthDialog::openSoundBank);
    chooser->open();
}

void MidiSynthDialog::refresh()
{
    const QString name = m_synth ? m_synth->soundBankName() : QString();
    m_soundBank->setText(name.isEmpty() ? tr("(no sound bank)") : name);
    m_soundBank->setToolTip(m_synth ? m_synth->soundBankFileName() : QString());
    m_reset->setEnabled(!m_synth.isNull());
    m_open->setEnabled(!m_synth.isNull());
    onChannelIndexOrDataChanged(m_channelView->currentIndex());
}

int MidiSynthDialog::currentChannel() const
{
    const QModelIndex current = m_channelView->currentIndex();
    return current.isValid() ? current.row() : -1;
}

void MidiSynthDialog::showError(const QString &error)
{
    m_error->setText(error.isEmpty() ? QString() : tr("Not loaded: %1").arg(error));
    m_error->setVisible(!error.isEmpty());
}
