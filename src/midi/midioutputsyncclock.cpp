#include "midioutputsyncclock.h"

#include "abstractsync.h"

#include <limits>

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

int MidiOutputSyncClock::intervalForTempo(uint tempo)
{
    if (tempo == 0)
        return DefaultInterval;
    const quint64 interval = 4 * (60000 / (24 * quint64(tempo)));
    return int(qBound<quint64>(1, interval, DefaultInterval));
}

void MidiOutputSyncClock::setTempo(uint tempo)
{
    setInterval(intervalForTempo(tempo));
}

qint64 MidiOutputSyncClock::pulsesSent() const
{
    QMutexLocker locker(&m_sendMutex);
    return m_pulsesSent;
}

void MidiOutputSyncClock::prepareClock()
{
    QMutexLocker locker(&m_sendMutex);
    send({m_pulsesSent > 0 ? Continue : Start});
}

void MidiOutputSyncClock::startClock()
{
    {
        QMutexLocker locker(&m_sendMutex);
        if (!send({Clock}))
            return;
    }
    play();
}

void MidiOutputSyncClock::reset()
{
    QMutexLocker locker(&m_sendMutex);
    m_pulsesSent = 0;
    send({SongPosition, 0, 0});
}

void MidiOutputSyncClock::pauseAndWait()
{
    AbstractOutputThread::pauseAndWait();
    const qint64 due = duePulse();
    QMutexLocker locker(&m_sendMutex);
    if (sendPulsesUpTo(due, std::numeric_limits<qint64>::max()))
        send({Stop});
}

void MidiOutputSyncClock::output()
{
    // The position is read before the send mutex is taken: the timing source
    // pauses its senders while holding its own mutex.
    AbstractSync *source = timingSource();
    if (!source || !source->isRunning())
        return;
    const qint64 due = duePulse();
    QMutexLocker locker(&m_sendMutex);
    // A pause that came in meanwhile has sent what was due, and stop.
    if (state() != Playing)
        return;
    sendPulsesUpTo(due, PulsesPerCall);
}

qint64 MidiOutputSyncClock::duePulse() const
{
    AbstractSync *source = timingSource();
    return source ? source->beatPosition() / BeatTicksPerPulse : 0;
}

bool MidiOutputSyncClock::sendPulsesUpTo(qint64 pulse, qint64 limit)
{
    for (qint64 sent = 0; sent < limit && m_pulsesSent < pulse; ++sent) {
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
