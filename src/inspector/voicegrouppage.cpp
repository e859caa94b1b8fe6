#include "voicegrouppage.h"

#include "instrumentcombobox.h"
#include "listedit.h"
#include "mixedvalue.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QVBoxLayout>

VoiceGroupPage::VoiceGroupPage(InstrumentsModel *instruments, QWidget *parent)
    : InspectorPage(parent), m_pitch(new ListEdit(ListSyntax::SinglePitch)),
      m_velocity(new ListEdit(ListSyntax::SingleVelocity)),
      m_duration(new ListEdit(ListSyntax::SingleDuration)), m_instrument(new InstrumentComboBox)
{
    setWindowTitle(tr("Voice Group"));
    m_pitch->setObjectName(QStringLiteral("initialPitchEdit"));
    m_velocity->setObjectName(QStringLiteral("initialVelocityEdit"));
    m_duration->setObjectName(QStringLiteral("initialDurationEdit"));
    m_duration->setToolTip(tr("In principals"));
    m_instrument->setObjectName(QStringLiteral("initialInstrumentComboBox"));
    m_instrument->setInstrumentsModel(instruments);
    m_instrument->setPlaceholderText(tr("(none)"));
    auto *initial = new QGroupBox(tr("Initial Voice"), this);
    auto *form = newForm(initial);
    form->addRow(tr("Pitch:"), m_pitch);
    form->addRow(tr("Velocity:"), m_velocity);
    form->addRow(tr("Duration:"), m_duration);
    form->addRow(tr("Instrument:"), m_instrument);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(initial);
}

void VoiceGroupPage::bindFields()
{
    const QVariant mixed = MixedValue::variant();
    bindField(m_pitch, "value", SIGNAL(valueEdited()), QStringLiteral("InitialPitch"), QString(),
              mixed, tr("Initial Pitch"));
    bindField(m_velocity, "value", SIGNAL(valueEdited()), QStringLiteral("InitialVelocity"),
              QString(), mixed, tr("Initial Velocity"));
    bindField(m_duration, "value", SIGNAL(valueEdited()), QStringLiteral("InitialDuration"),
              QString(), mixed, tr("Initial Duration"));
    bindField(m_instrument, "value", SIGNAL(activated(int)), QStringLiteral("InitialInstrument"),
              0u, mixed, tr("Instrument"));
}
