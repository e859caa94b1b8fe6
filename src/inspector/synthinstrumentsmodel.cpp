#include "synthinstrumentsmodel.h"

#include "midisynth.h"

SynthInstrumentsModel::SynthInstrumentsModel(QObject *parent) : QAbstractListModel(parent) {}

void SynthInstrumentsModel::setSynth(MidiSynth *synth)
{
    if (m_synth)
        disconnect(m_synth, nullptr, this, nullptr);
    m_synth = synth;
    if (synth) {
        connect(synth, &MidiSynth::soundBankChanged, this, &SynthInstrumentsModel::reload);
        connect(synth, &QObject::destroyed, this, [this] { setSynth(nullptr); });
    }
    reload();
}

int SynthInstrumentsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_names.size());
}

QVariant SynthInstrumentsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_names.size() || role != Qt::DisplayRole)
        return QVariant();
    return m_names.at(index.row());
}

void SynthInstrumentsModel::reload()
{
    beginResetModel();
    m_names.clear();
    const int count = m_synth ? m_synth->instrumentCount() : 0;
    for (int i = 0; i < count; ++i)
        m_names.append(m_synth->instrumentName(i));
    endResetModel();
}
