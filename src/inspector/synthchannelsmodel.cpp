#include "synthchannelsmodel.h"

#include "midisynth.h"

namespace {
constexpr int ChannelCount = 16;
} // namespace

SynthChannelsModel::SynthChannelsModel(QObject *parent) : QAbstractTableModel(parent) {}

void SynthChannelsModel::setSynth(MidiSynth *synth)
{
    beginResetModel();
    if (m_synth)
        disconnect(m_synth, nullptr, this, nullptr);
    m_synth = synth;
    if (synth) {
        connect(synth, &MidiSynth::instrumentChanged, this,
                &SynthChannelsModel::onInstrumentChanged);
        // Another bank names the same instruments differently.
        connect(synth, &MidiSynth::soundBankChanged, this, [this] {
            beginResetModel();
            endResetModel();
        });
        connect(synth, &QObject::destroyed, this, [this] { setSynth(nullptr); });
    }
    endResetModel();
}

int SynthChannelsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || !m_synth ? 0 : ChannelCount;
}

int SynthChannelsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant SynthChannelsModel::data(const QModelIndex &index, int role) const
{
    if (!m_synth || !index.isValid() || role != Qt::DisplayRole)
        return QVariant();
    if (index.column() == 0)
        return QString::number(index.row() + 1);
    return m_synth->instrumentName(
        m_synth->indexOfInstrument(m_synth->instrumentOfChannel(index.row())));
}

QVariant SynthChannelsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    return section == 0 ? tr("MIDI Channel") : tr("Instrument");
}

void SynthChannelsModel::onInstrumentChanged(int channel)
{
    if (channel >= 0 && channel < rowCount())
        Q_EMIT dataChanged(index(channel, 1), index(channel, 1));
}
