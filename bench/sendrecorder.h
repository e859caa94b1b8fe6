#pragma once

#include <QByteArray>
#include <QList>
#include <QtGlobal>

#include <array>
#include <atomic>
#include <mutex>
#include <vector>

class AbstractSync;

// What the benchmark instruments send instead of sending it: for every event,
// how late it left (CLOCK_MONOTONIC at the send minus the due time of its
// tick through the timing source) in a buffer allocated up front, and for
// every note which notes are still sounding. Safe to call from every
// instrument's thread at once.
class SendRecorder
{
public:
    explicit SendRecorder(std::size_t capacity);

    // Records one event due at tick, sent now; dropped once the buffer is
    // full. The first event of a run fixes the clock time of tick 0.
    void recordSend(const AbstractSync *source, qint64 tick, qint64 nowNs);
    // Follows note on, note off and all-notes-off messages of one port.
    void recordMessages(int port, const QList<QByteArray> &messages);

    // Forgets the timing samples and the time of tick 0 (not the notes).
    void clearTiming();
    // Lateness in nanoseconds, in the order recorded.
    std::vector<qint64> lateness() const;
    std::size_t dropped() const { return m_dropped.load(); }

    qint64 noteOns() const { return m_noteOns.load(); }
    struct Sounding
    {
        int port = 0;
        int channel = 0;
        int note = 0;
        // Note ons not yet matched by note offs.
        int count = 0;
    };
    // Notes switched on and neither switched off nor silenced since.
    std::vector<Sounding> soundingNotes() const;

    static constexpr int Ports = 64;

private:
    std::vector<qint64> m_lateness;
    std::atomic<std::size_t> m_count{0};
    std::atomic<std::size_t> m_dropped{0};
    std::mutex m_originMutex;
    std::atomic<bool> m_hasOrigin{false};
    qint64 m_origin = 0;

    mutable std::mutex m_notesMutex;
    // Per port, channel and note: note ons minus note offs.
    std::vector<std::array<std::array<int, 128>, 16>> m_sounding;
    std::atomic<qint64> m_noteOns{0};
};
