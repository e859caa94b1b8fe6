#include "midioutputsyncclock.h"

#include "abstractsync.h"
#include "nanoclock.h"

#include <algorithm>

namespace {

constexpr quint8 Clock = 0xF8;
constexpr quint8 Start = 0xFA;
constexpr quint8 Continue = 0xFB;
constexpr quint8 Stop = 0xFC;
constexpr quint8 SongPosition = 0xF2;

} // namespace

MidiOutputSyncClock::MidiOutputSyncClock(AbstractSync *source, QObject *parent)
    : AbstractOutputThread(parent)
{
    setTimingSource(source);
}

MidiOutputSyncClock::~MidiOutputSyncClock()
{
    terminateSafely();
    waitForExit();
}

qint64 MidiOutputSyncClock::pulsesSent() const
{
    QMutexLocker locker(&m_sendMutex);
    return m_pulsesSent;
}

void MidiOutputSyncClock::prepareClock()
{
    QMutexLocker locker(&m_sendMutex);
    if (send({m_pulsesSent > 0 ? Continue : Start}))
        m_firstPulsePending = true;
}

void MidiOutputSyncClock::reset()
{
    QMutexLocker locker(&m_sendMutex);
    m_pulsesSent = 0;
    m_firstPulsePending = false;
    send({SongPosition, 0, 0});
}

void MidiOutputSyncClock::pauseAndWait()
{
    AbstractOutputThread::pauseAndWait();
    const qint64 due = duePulse();
    QMutexLocker locker(&m_sendMutex);
    // A run that never began sent no first pulse, and owes none.
    if (m_firstPulsePending) {
        m_firstPulsePending = false;
        send({Stop});
        return;
    }
    if (sendPulsesUpTo(due))
        send({Stop});
}

qint64 MidiOutputSyncClock::output()
{
    AbstractSync *source = timingSource();
    if (!source || !source->isRunning())
        return NanoClock::Never;
    // Positions and times are read before the send mutex is taken: the
    // timing source pauses its senders while holding its own mutex.
    qint64 sent = pulsesSent();
    const qint64 firstAt = source->timeOfBeatTick(sent * BeatTicksPerPulse);
    const qint64 due = duePulse();
    const qint64 now = source->clock()->nowNs();
    {
        QMutexLocker locker(&m_sendMutex);
        // A pause that came in meanwhile has sent what was due, and stop.
        if (state() != Playing)
            return NanoClock::Never;
        if (m_firstPulsePending) {
            if (now < firstAt)
                return firstAt;
            if (!send({Clock}))
                return NanoClock::Never;
            m_firstPulsePending = false;
        }
        // A position that jumped far ahead is caught up a few pulses at a
        // time rather than in one burst.
        if (!sendPulsesUpTo(std::min(due, m_pulsesSent + PulsesPerCall)))
            return NanoClock::Never;
        sent = m_pulsesSent;
    }
    if (sent < due)
        return now;
    return source->timeOfBeatTick((sent + 1) * BeatTicksPerPulse);
}

qint64 MidiOutputSyncClock::duePulse() const
{
    AbstractSync *source = timingSource();
    return source ? source->beatPosition() / BeatTicksPerPulse : 0;
}

bool MidiOutputSyncClock::sendPulsesUpTo(qint64 pulse)
{
    while (m_pulsesSent < pulse) {
        if (!send({Clock}))
            return false;
        ++m_pulsesSent;
    }
    return true;
}

bool MidiOutputSyncClock::send(std::initializer_list<quint8> bytes)
{
    QByteArray message;
    for (quint8 byte : bytes)
        message.append(char(byte));
    if (sendEvents({InstrumentEvent::userMessage(0, message)}))
        return true;
    AbstractOutputThread::pauseAndWait();
    close();
    return false;
}
