#pragma once

#include "midisynth.h"

#include <QAbstractListModel>
#include <QPointer>

// The instruments of the built-in synthesizer's sound bank, in the bank's
// order, by name. Rebuilt when another bank is loaded; without a
// synthesizer or a bank it has no rows.
//
// GUI thread only; the synthesizer's reports arrive queued.
class SynthInstrumentsModel : public QAbstractListModel
{
    Q_OBJECT

public:
    explicit SynthInstrumentsModel(QObject *parent = nullptr);

    void setSynth(MidiSynth *synth);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    void reload();

    QPointer<MidiSynth> m_synth;
    // The bank's names as last read: a view asks for them often, and each
    // question to the synthesizer takes its lock.
    QStringList m_names;
};
