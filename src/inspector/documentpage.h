#pragma once

#include "inspectorpage.h"

class BoundLineEdit;
class ColorChooserButton;
class CommentEdit;
class InstrumentPage;
class InstrumentsModel;
class MidiSyncPortsBox;
class QComboBox;
class QListView;
class QPushButton;
class QSpinBox;
class QTabWidget;

// The document as a whole, shown while no element (or elements of several
// kinds) is selected. Tabs: the network's tempo and grid and the MIDI ports
// its clock syncs with; its instruments, with the selected one's settings;
// the style colours and presets; and who wrote it and why.
//
// GUI thread only.
class DocumentPage : public InspectorPage
{
    Q_OBJECT

public:
    explicit DocumentPage(InstrumentsModel *instruments, QWidget *parent = nullptr);

    QTabWidget *tabs() const { return m_tabs; }
    QListView *instrumentList() const { return m_instrumentList; }
    InstrumentPage *instrumentPage() const { return m_instrumentPage; }
    MidiSyncPortsBox *midiInputsBox() const { return m_midiInputs; }
    MidiSyncPortsBox *midiOutputsBox() const { return m_midiOutputs; }
    // The selected instrument's id; 0 when none is selected.
    quint32 selectedInstrument() const;

protected:
    void bindFields() override;

private:
    QWidget *networkTab();
    QWidget *instrumentsTab(InstrumentsModel *instruments);
    QWidget *styleTab();
    QWidget *infoTab();
    void onPresetChosen(const QString &name);
    void onAddInstrumentClicked();
    void onRemoveInstrumentClicked();

    QTabWidget *m_tabs;
    QSpinBox *m_tempo = nullptr;
    QSpinBox *m_principals = nullptr;
    QSpinBox *m_beats = nullptr;
    QSpinBox *m_divisions = nullptr;
    MidiSyncPortsBox *m_midiInputs = nullptr;
    MidiSyncPortsBox *m_midiOutputs = nullptr;
    QListView *m_instrumentList = nullptr;
    QPushButton *m_removeInstrument = nullptr;
    InstrumentPage *m_instrumentPage = nullptr;
    QComboBox *m_presets = nullptr;
    struct StyleColor
    {
        ColorChooserButton *button;
        QString key;
        QString text;
    };
    QList<StyleColor> m_colors;
    BoundLineEdit *m_author = nullptr;
    BoundLineEdit *m_title = nullptr;
    CommentEdit *m_comment = nullptr;
};
