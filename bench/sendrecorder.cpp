#include "sendrecorder.h"

#include "abstractsync.h"

SendRecorder::SendRecorder(std::size_t capacity) : m_lateness(capacity), m_sounding(Ports)
{
    for (auto &channels : m_sounding)
        for (auto &notes : channels)
            notes.fill(0);
}

void SendRecorder::recordSend(const AbstractSync *source, qint64 tick, qint64 nowNs)
{
    if (!source)
        return;
    if (!m_hasOrigin.load()) {
        const std::lock_guard locker(m_originMutex);
        if (!m_hasOrigin.load()) {
            // The clock time of tick 0 of this run, taken once: the play
            // position is the clock's elapsed time since then.
            m_origin = nowNs - source->timePosition();
            m_hasOrigin.store(true);
        }
    }
    const qint64 due = source->ticksToTime(tick);
    const std::size_t slot = m_count.fetch_add(1);
    if (slot >= m_lateness.size()) {
        m_dropped.fetch_add(1);
        return;
    }
    m_lateness[slot] = nowNs - (m_origin + due);
}

void SendRecorder::recordMessages(int port, const QList<QByteArray> &messages)
{
    const std::lock_guard locker(m_notesMutex);
    auto &channels = m_sounding[std::size_t(port % Ports)];
    for (const QByteArray &message : messages) {
        if (message.size() < 3)
            continue;
        const int status = quint8(message.at(0)) & 0xF0;
        auto &notes = channels[std::size_t(quint8(message.at(0)) & 0x0F)];
        const int note = quint8(message.at(1)) & 0x7F;
        const int velocity = quint8(message.at(2));
        if (status == 0x90 && velocity > 0) {
            ++notes[std::size_t(note)];
            m_noteOns.fetch_add(1);
        } else if (status == 0x80 || status == 0x90) {
            notes[std::size_t(note)] = std::max(0, notes[std::size_t(note)] - 1);
        } else if (status == 0xB0 && (message.at(1) == 123 || message.at(1) == 120)) {
            notes.fill(0);
        }
    }
}

void SendRecorder::clearTiming()
{
    const std::lock_guard locker(m_originMutex);
    m_hasOrigin.store(false);
    m_count.store(0);
    m_dropped.store(0);
}

std::vector<qint64> SendRecorder::lateness() const
{
    const std::size_t n = std::min(m_count.load(), m_lateness.size());
    return {m_lateness.begin(), m_lateness.begin() + qsizetype(n)};
}

std::vector<SendRecorder::Sounding> SendRecorder::soundingNotes() const
{
    const std::lock_guard locker(m_notesMutex);
    std::vector<Sounding> sounding;
    for (int port = 0; port < Ports; ++port) {
        for (int channel = 0; channel < 16; ++channel) {
            const auto &notes = m_sounding[std::size_t(port)][std::size_t(channel)];
            for (int note = 0; note < 128; ++note) {
                if (const int count = notes[std::size_t(note)])
                    sounding.push_back({port, channel, note, count});
            }
        }
    }
    return sounding;
}
