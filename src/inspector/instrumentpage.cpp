#include "instrumentpage.h"

#include "boundlineedit.h"
#include "channelsbox.h"
#include "colorchooserbutton.h"
#include "editspinbox.h"
#include "keycombobox.h"

#include <QBitArray>
#include <QCheckBox>
#include <QFormLayout>
#include <QSpinBox>

InstrumentPage::InstrumentPage(QWidget *parent)
    : InspectorPage(parent), m_label(new BoundLineEdit(this)),
      m_color(new ColorChooserButton(this)), m_port(new KeyComboBox(this)),
      m_channels(new ChannelsBox(this)), m_programChange(new QCheckBox(tr("Program Change"), this)),
      m_program(new EditSpinBox(1, 128, QStringLiteral("programSpinBox"), this)),
      m_bankMsb(new EditSpinBox(0, 127, QStringLiteral("bankMsbSpinBox"), this)),
      m_bankLsb(new EditSpinBox(0, 127, QStringLiteral("bankLsbSpinBox"), this))
{
    setWindowTitle(tr("Instrument"));
    m_label->setObjectName(QStringLiteral("labelEdit"));
    m_color->setObjectName(QStringLiteral("colorButton"));
    m_color->setToolTip(tr("Instrument Color"));
    m_port->setObjectName(QStringLiteral("midiPortComboBox"));
    m_port->setToolTip(tr("Choose MIDI output port"));
    m_port->setPlaceholderText(tr("(no port)"));
    // Port names can be long; the panel is narrow.
    m_port->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_port->setMinimumContentsLength(12);
    m_channels->setObjectName(QStringLiteral("channelsBox"));
    m_programChange->setObjectName(QStringLiteral("programChangeCheckBox"));
    m_programChange->setToolTip(tr("Select the bank and program below when playback starts"));
    auto *form = newForm(this);
    form->setContentsMargins(0, 4, 0, 0);
    form->addRow(tr("Label:"), m_label);
    form->addRow(tr("Color:"), m_color);
    form->addRow(tr("MIDI Port:"), m_port);
    form->addRow(tr("Channels:"), m_channels);
    form->addRow(QString(), m_programChange);
    form->addRow(tr("Program:"), m_program);
    form->addRow(tr("Bank MSB:"), m_bankMsb);
    form->addRow(tr("Bank LSB:"), m_bankLsb);
}

void InstrumentPage::setOutputPorts(const QStringList &ports)
{
    m_port->setKeys(ports);
}

void InstrumentPage::bindFields()
{
    bindField(m_label, "value", SIGNAL(valueEdited()), QStringLiteral("Label"), QString(),
              QString(), tr("Label"));
    bindField(m_color, "color", SIGNAL(colorChanged(QColor)), QStringLiteral("Color"), QColor(),
              QColor(), tr("Color"));
    bindField(m_port, "currentKey", SIGNAL(textActivated(QString)), QStringLiteral("MidiPort"),
              QString(), QString(), tr("MIDI Port"));
    bindField(m_channels, "channels", SIGNAL(channelsChanged(QBitArray)),
              QStringLiteral("MidiChannels"), QBitArray(16), QBitArray(16), tr("MIDI Channels"));
    bindField(m_programChange, "checked", SIGNAL(toggled(bool)),
              QStringLiteral("MidiDoProgramChange"), false, false, tr("MIDI Program Change"));
    bindField(m_program, "value", SIGNAL(valueChanged(int)), QStringLiteral("MidiProgram"), 1, 1,
              tr("MIDI Program"));
    bindField(m_bankMsb, "value", SIGNAL(valueChanged(int)), QStringLiteral("MidiBankMSB"), 0, 0,
              tr("MIDI Bank MSB"));
    bindField(m_bankLsb, "value", SIGNAL(valueChanged(int)), QStringLiteral("MidiBankLSB"), 0, 0,
              tr("MIDI Bank LSB"));
    // The program is sent only when program change is on.
    for (QWidget *field : {static_cast<QWidget *>(m_program), static_cast<QWidget *>(m_bankMsb),
                           static_cast<QWidget *>(m_bankLsb)})
        bindReadOnly(field, "enabled", QStringLiteral("MidiDoProgramChange"), false, true);
}
