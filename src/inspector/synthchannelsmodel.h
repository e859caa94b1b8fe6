#pragma once

#include "midisynth.h"

#include <QAbstractTableModel>
#include <QPointer>

// The sixteen MIDI channels of the built-in synthesizer and the instrument
// each plays: column 0 the channel number (1 to 16), column 1 the name of
// the channel's instrument in the sound bank. Rows follow the synthesizer's
// reports; without a synthesizer there are none.
//
// GUI thread only; the synthesizer's reports arrive queued.
class SynthChannelsModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit SynthChannelsModel(QObject *parent = nullptr);

    void setSynth(MidiSynth *synth);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    void onInstrumentChanged(int channel);

    QPointer<MidiSynth> m_synth;
};
