#pragma once

#include "midisynth.h"

#include <QDialog>
#include <QPointer>

class QComboBox;
class QLabel;
class QModelIndex;
class QPushButton;
class QSpinBox;
class QTreeView;
class SynthChannelsModel;
class SynthInstrumentsModel;

// The window of the built-in synthesizer: its sound bank, with "Open..." to
// load another SoundFont (.sf2, .sf3) and "Reset" to go back to the default
// one, and the instrument each MIDI channel plays, chosen from the bank's
// list or by program and bank numbers. The choice widgets follow the
// current channel without writing back to it.
//
// The bank the user opens (or the empty text, after "Reset") is announced
// with soundBankFileChosen() for the application to remember. The dialog's
// geometry is kept in the setting "MidiSynthDialogGeometry". At most one
// dialog exists at a time (showDialog()).
//
// GUI thread only; the synthesizer's reports arrive queued.
class MidiSynthDialog : public QDialog
{
    Q_OBJECT

public:
    static QString geometryKey() { return QStringLiteral("MidiSynthDialogGeometry"); }

    explicit MidiSynthDialog(QWidget *parent = nullptr);
    ~MidiSynthDialog() override;

    // The one dialog: made (delete on close) and shown when there is none,
    // then raised and activated.
    static MidiSynthDialog *showDialog(MidiSynth *synth, QWidget *parent = nullptr);
    // Deletes the one dialog from the event loop.
    static void closeDialog();
    static MidiSynthDialog *dialog();

    MidiSynth *synth() const { return m_synth; }
    void setSynth(MidiSynth *synth);

    // Loads the bank as "Open..." does once a file is chosen; false, with
    // the reason shown in the dialog, when it does not load.
    bool openSoundBank(const QString &fileName);

Q_SIGNALS:
    void soundBankFileChosen(const QString &fileName);

public Q_SLOTS:
    void onResetClicked();
    void onChannelIndexOrDataChanged(const QModelIndex &index);
    void onInstrumentActivated(int index);
    void onAnySpinBoxValueChanged();

private:
    void onOpenClicked();
    void refresh();
    int currentChannel() const;
    void showError(const QString &error);

    QPointer<MidiSynth> m_synth;
    SynthChannelsModel *m_channels;
    SynthInstrumentsModel *m_instruments;
    QLabel *m_soundBank;
    QLabel *m_error;
    QPushButton *m_open;
    QPushButton *m_reset;
    QTreeView *m_channelView;
    QComboBox *m_instrumentsComboBox;
    QSpinBox *m_program;
    QSpinBox *m_bankMsb;
    QSpinBox *m_bankLsb;
};
