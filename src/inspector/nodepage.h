#pragma once

#include "inspectorpage.h"

class EdgeUsageListEditor;
class InstrumentComboBox;
class InstrumentsModel;
class ListEdit;
class MixedCheckBox;
class QComboBox;
class QLabel;
class QToolButton;

// What the selected nodes play and how they pass play on: signalling
// method, pitch, velocity and duration lists, mute, instrument change, raw
// MIDI messages, and, for a single node, its edge usage as tiles.
//
// GUI thread only.
class NodePage : public InspectorPage
{
    Q_OBJECT

public:
    explicit NodePage(InstrumentsModel *instruments, QWidget *parent = nullptr);

    EdgeUsageListEditor *edgeUsageEditor() const { return m_edgeUsage; }

protected:
    void bindFields() override;
    void fieldsUnbound() override;

private:
    QComboBox *m_signalling;
    ListEdit *m_pitches;
    ListEdit *m_velocities;
    ListEdit *m_durations;
    MixedCheckBox *m_mute;
    MixedCheckBox *m_instrumentChange;
    InstrumentComboBox *m_instrument;
    ListEdit *m_messages;
    EdgeUsageListEditor *m_edgeUsage;
    QToolButton *m_addTile;
    QLabel *m_edgeUsageNote;
};
