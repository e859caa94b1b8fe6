#pragma once

#include "inspectorpage.h"

class InstrumentComboBox;
class InstrumentsModel;
class ListEdit;

// What the voices of the selected voice groups start with: pitch,
// velocity, duration and instrument.
//
// GUI thread only.
class VoiceGroupPage : public InspectorPage
{
    Q_OBJECT

public:
    explicit VoiceGroupPage(InstrumentsModel *instruments, QWidget *parent = nullptr);

protected:
    void bindFields() override;

private:
    ListEdit *m_pitch;
    ListEdit *m_velocity;
    ListEdit *m_duration;
    InstrumentComboBox *m_instrument;
};
