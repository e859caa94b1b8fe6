#pragma once

#include "inspectorpage.h"

class BoundLineEdit;
class ChannelsBox;
class ColorChooserButton;
class KeyComboBox;
class QCheckBox;
class QSpinBox;

// One instrument of the document: its label and colour, the MIDI port and
// channels it plays on, and the program it selects when it starts.
//
// GUI thread only.
class InstrumentPage : public InspectorPage
{
    Q_OBJECT

public:
    explicit InstrumentPage(QWidget *parent = nullptr);

    // The output ports to choose from; the instrument's own port stays
    // listed, as offline, when it is not among them.
    void setOutputPorts(const QStringList &ports);

protected:
    void bindFields() override;

private:
    BoundLineEdit *m_label;
    ColorChooserButton *m_color;
    KeyComboBox *m_port;
    ChannelsBox *m_channels;
    QCheckBox *m_programChange;
    QSpinBox *m_program;
    QSpinBox *m_bankMsb;
    QSpinBox *m_bankLsb;
};
