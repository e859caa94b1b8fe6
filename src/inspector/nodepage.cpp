#include "nodepage.h"

#include "edgeusagelisteditor.h"
#include "instrumentcombobox.h"
#include "listedit.h"
#include "mixedcheckbox.h"
#include "mixedvalue.h"
#include "qmdludracontroller.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QToolButton>
#include <QVBoxLayout>

NodePage::NodePage(InstrumentsModel *instruments, QWidget *parent)
    : InspectorPage(parent), m_signalling(new QComboBox(this)),
      m_pitches(new ListEdit(ListSyntax::PitchList, this)),
      m_velocities(new ListEdit(ListSyntax::VelocityList, this)),
      m_durations(new ListEdit(ListSyntax::DurationList, this)),
      m_mute(new MixedCheckBox(tr("Mute"), this)),
      m_instrumentChange(new MixedCheckBox(tr("Instrument Change"), this)),
      m_instrument(new InstrumentComboBox(this)),
      m_messages(new ListEdit(ListSyntax::UserMidiMessageList, this)),
      m_edgeUsage(new EdgeUsageListEditor(this)), m_addTile(new QToolButton(this)),
      m_edgeUsageNote(new QLabel(tr("Select a single node to edit its edge usage."), this))
{
    setWindowTitle(tr("Node"));
    m_signalling->addItems({tr("Sequential"), tr("Parallel"), tr("Random")});
    m_signalling->setObjectName(QStringLiteral("signallingComboBox"));
    m_pitches->setObjectName(QStringLiteral("pitchListEdit"));
    m_pitches->setHint(tr("C3,E3,G3,+12"));
    m_velocities->setObjectName(QStringLiteral("velocityListEdit"));
    m_velocities->setHint(tr("64,+10,-10"));
    m_durations->setObjectName(QStringLiteral("durationListEdit"));
    m_durations->setHint(tr("100%,*2,0.5"));
    m_mute->setObjectName(QStringLiteral("muteCheckBox"));
    m_mute->setToolTip(tr("Fire without playing a note"));
    m_instrumentChange->setObjectName(QStringLiteral("instrumentChangeCheckBox"));
    m_instrumentChange->setToolTip(tr("Voices leave this node playing the instrument below"));
    m_instrument->setObjectName(QStringLiteral("instrumentComboBox"));
    m_instrument->setInstrumentsModel(instruments);
    m_instrument->setPlaceholderText(tr("(none)"));
    m_messages->setObjectName(QStringLiteral("userMidiMessageListEdit"));
    m_messages->setHint(tr("0xb0 0x40 0x7f,0xb0 0x40 0x00"));
    m_messages->setToolTip(tr("Raw MIDI messages sent in turn, one per firing"));

    m_addTile->setObjectName(QStringLiteral("addEdgeTileButton"));
    m_addTile->setText(QStringLiteral("+"));
    m_addTile->setToolTip(tr("Add Edge Tile"));
    m_addTile->setPopupMode(QToolButton::InstantPopup);
    auto *addMenu = new QMenu(m_addTile);
    m_addTile->setMenu(addMenu);
    connect(addMenu, &QMenu::aboutToShow, this,
            [this, addMenu] { m_edgeUsage->fillAddMenu(addMenu); });
    m_edgeUsageNote->setWordWrap(true);
    m_edgeUsageNote->setEnabled(false);

    auto *form = newForm();
    form->addRow(tr("Signalling:"), m_signalling);
    form->addRow(tr("Pitches:"), m_pitches);
    form->addRow(tr("Velocities:"), m_velocities);
    form->addRow(tr("Durations:"), m_durations);
    form->addRow(QString(), m_mute);
    form->addRow(QString(), m_instrumentChange);
    form->addRow(tr("Instrument:"), m_instrument);

    auto *usageRow = new QHBoxLayout;
    usageRow->addWidget(m_edgeUsage, 1);
    usageRow->addWidget(m_addTile, 0, Qt::AlignTop);
    auto *usage = new QVBoxLayout;
    usage->addLayout(usageRow);
    usage->addWidget(m_edgeUsageNote);
    form->addRow(tr("Edge Usage:"), usage);
    form->addRow(tr("Advanced MIDI:"), m_messages);
    setLayout(form);
}

void NodePage::bindFields()
{
    const QVariant mixed = MixedValue::variant();
    bindField(m_signalling, "currentIndex", SIGNAL(activated(int)),
              QStringLiteral("SignallingMethod"), 0, -1, tr("Signalling"));
    bindField(m_pitches, "value", SIGNAL(valueEdited()), QStringLiteral("PitchList"), QString(),
              mixed, tr("Pitch List"));
    bindField(m_velocities, "value", SIGNAL(valueEdited()), QStringLiteral("VelocityList"),
              QString(), mixed, tr("Velocity List"));
    bindField(m_durations, "value", SIGNAL(valueEdited()), QStringLiteral("DurationList"),
              QString(), mixed, tr("Duration List"));
    bindField(m_mute, "value", SIGNAL(valueEdited()), QStringLiteral("DontPlayNote"), false, mixed,
              tr("Mute"));
    bindField(m_instrumentChange, "value", SIGNAL(valueEdited()),
              QStringLiteral("DoInstrumentChange"), false, mixed, tr("Instrument Change"));
    bindField(m_instrument, "value", SIGNAL(activated(int)), QStringLiteral("Instrument"), 0u,
              mixed, tr("Instrument"));
    // Choosing an instrument matters only where the voices change to it.
    bindReadOnly(m_instrument, "enabled", QStringLiteral("DoInstrumentChange"), false, true);
    bindField(m_messages, "value", SIGNAL(valueEdited()), QStringLiteral("UserMidiMessageList"),
              QString(), mixed, tr("Advanced MIDI"));

    const bool single = records().size() == 1;
    m_edgeUsage->setController(controller());
    m_edgeUsage->setNode(single ? records().constFirst() : QmdIndex());
    m_edgeUsage->setEnabled(single);
    m_addTile->setEnabled(single);
    m_edgeUsageNote->setVisible(!single);
}

void NodePage::fieldsUnbound()
{
    m_edgeUsage->setNode(QmdIndex());
}
