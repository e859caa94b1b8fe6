#include "midisync.h"

#include "midiinput.h"
#include "midioutputsyncclock.h"
#include "nanoclock.h"

#include <cmath>
#include <utility>

MidiSync::MidiSync(const NanoClock *clock, QObject *parent) : AbstractSync(clock, parent) {}

MidiSync::~MidiSync()
{
    // Inputs go first: closing waits for a delivery in progress, which may
    // still be inside this object's receiver.
    qDeleteAll(m_syncInputs);
    qDeleteAll(m_syncOutputs);
}

void MidiSync::setSyncPorts(const QSet<QString> &wantedInputs, const QSet<QString> &wantedOutputs)
{
    // Ports are opened and closed without the source's mutex: port
    // deliveries take it while holding their port.
    QHash<QString, MidiInput *> newInputs;
    for (const QString &name : wantedInputs) {
        if (m_syncInputs.contains(name))
            continue;
        auto *input = new MidiInput;
        input->setClock(clock());
        input->setIgnoreFlags(input->ignoreFlags() & ~MidiInput::IgnoreTiming);
        input->open(name);
        connect(input, &MidiInput::readyRead, this, &MidiSync::onMidiSyncReadyRead,
                Qt::DirectConnection);
        newInputs.insert(name, input);
    }
    QHash<QString, MidiOutputSyncClock *> newOutputs;
    for (const QString &name : wantedOutputs) {
        if (m_syncOutputs.contains(name))
            continue;
        auto *output = new MidiOutputSyncClock(this);
        output->open(name);
        newOutputs.insert(name, output);
    }

    QList<MidiInput *> oldInputs;
    QList<MidiOutputSyncClock *> oldOutputs;
    {
        const std::lock_guard locker(m_mutex);
        for (auto it = m_syncInputs.begin(); it != m_syncInputs.end();) {
            if (wantedInputs.contains(it.key())) {
                ++it;
                continue;
            }
            oldInputs.append(it.value());
            it = m_syncInputs.erase(it);
        }
        m_syncInputs.insert(newInputs);
        for (auto it = m_syncOutputs.begin(); it != m_syncOutputs.end();) {
            if (wantedOutputs.contains(it.key())) {
                ++it;
                continue;
            }
            oldOutputs.append(it.value());
            it = m_syncOutputs.erase(it);
        }
        for (MidiOutputSyncClock *output : std::as_const(newOutputs)) {
            output->start(QThread::TimeCriticalPriority);
            if (m_clock.isRunning()) {
                output->prepareClock();
                output->play();
            }
        }
        m_syncOutputs.insert(newOutputs);
    }

    // Before deferred deletion, the old inputs stop reaching this source,
    // which may be gone by the time the event loop deletes them. The old
    // senders are waited for, and then no longer follow it.
    for (MidiInput *input : std::as_const(oldInputs)) {
        input->disconnect(this);
        input->close();
        input->deleteLater();
    }
    for (MidiOutputSyncClock *output : std::as_const(oldOutputs)) {
        output->terminateSafely();
        output->waitForExit();
        delete output;
    }
}

QString MidiSync::staticTypeName()
{
    return QStringLiteral("internal");
}

QString MidiSync::staticDisplayName()
{
    return tr("MidiSync");
}

QString MidiSync::typeName() const
{
    return staticTypeName();
}

QString MidiSync::displayName() const
{
    return staticDisplayName();
}

qint64 MidiSync::now() const
{
    return clock()->nowNs();
}

bool MidiSync::isRunning() const
{
    const std::lock_guard locker(m_mutex);
    return m_clock.isRunning();
}

void MidiSync::setRunning(bool running)
{
    const std::lock_guard locker(m_mutex);
    startOrStop(running, now(), m_syncOutputs.isEmpty() ? 0 : StartDelayNs);
}

void MidiSync::startOrStop(bool run, qint64 time, qint64 delay)
{
    {
        const std::lock_guard locker(m_mutex);
        if (run == m_clock.isRunning())
            return;
        if (run) {
            // The senders say start or continue now and send the first pulse
            // when the run begins: their threads sleep until then.
            for (MidiOutputSyncClock *output : std::as_const(m_syncOutputs))
                output->prepareClock();
            m_clock.start(time + delay);
            for (MidiOutputSyncClock *output : std::as_const(m_syncOutputs))
                output->play();
        } else {
            // The senders send what fell due up to the stop, then stop.
            m_clock.stop(time);
            for (MidiOutputSyncClock *output : std::as_const(m_syncOutputs))
                output->pauseAndWait();
            if (m_songPositionTarget != 0)
                m_clock.setBeatOffset(m_songPositionTarget - m_clock.uncorrectedBeatPosition(time));
        }
    }
    notifyTimingChanged();
}

void MidiSync::rewind(qint64 time, bool keepRunning)
{
    const std::lock_guard locker(m_mutex);
    const bool running = m_clock.isRunning();
    startOrStop(false, time, 0);
    reset();
    if (keepRunning && running)
        startOrStop(true, time, 0);
}

uint MidiSync::tempo() const
{
    const std::lock_guard locker(m_mutex);
    return m_clock.tempo();
}

uint MidiSync::principalsToBeatsNumerator() const
{
    const std::lock_guard locker(m_mutex);
    return m_clock.numerator();
}

uint MidiSync::principalsToBeatsDenominator() const
{
    const std::lock_guard locker(m_mutex);
    return m_clock.denominator();
}

qint64 MidiSync::timePosition() const
{
    const std::lock_guard locker(m_mutex);
    return m_clock.timePosition(now());
}

qint64 MidiSync::tickPosition() const
{
    const std::lock_guard locker(m_mutex);
    return m_clock.tickPosition(now());
}

qint64 MidiSync::beatPosition() const
{
    const std::lock_guard locker(m_mutex);
    return m_clock.beatPosition(now());
}

qint64 MidiSync::timeOfTick(qint64 tick) const
{
    const std::lock_guard locker(m_mutex);
    const qint64 time = m_clock.timeOfTick(tick);
    return time == PlaybackClock::NoTime ? NanoClock::Never : time;
}

qint64 MidiSync::timeOfBeatTick(qint64 beatTick) const
{
    const std::lock_guard locker(m_mutex);
    const qint64 time = m_clock.timeOfBeatTick(beatTick);
    return time == PlaybackClock::NoTime ? NanoClock::Never : time;
}

qint64 MidiSync::timeToTicks(qint64 ns) const
{
    const std::lock_guard locker(m_mutex);
    return m_clock.timeToTicks(ns);
}

qint64 MidiSync::ticksToTime(qint64 ticks) const
{
    const std::lock_guard locker(m_mutex);
    return m_clock.ticksToTime(ticks);
}

qint64 MidiSync::timeToBeatTicks(qint64 ns) const
{
    const std::lock_guard locker(m_mutex);
    return m_clock.timeToBeatTicks(ns);
}

qint64 MidiSync::beatTicksToTime(qint64 beatTicks) const
{
    const std::lock_guard locker(m_mutex);
    return m_clock.beatTicksToTime(beatTicks);
}

qint64 MidiSync::ticksToBeatTicks(qint64 ticks) const
{
    const std::lock_guard locker(m_mutex);
    return m_clock.ticksToBeatTicks(ticks);
}

qint64 MidiSync::beatTicksToTicks(qint64 beatTicks) const
{
    const std::lock_guard locker(m_mutex);
    return m_clock.beatTicksToTicks(beatTicks);
}

qint64 MidiSync::songPositionTarget() const
{
    const std::lock_guard locker(m_mutex);
    return m_songPositionTarget;
}

qint64 MidiSync::beatOffset() const
{
    const std::lock_guard locker(m_mutex);
    return m_clock.beatOffset();
}

void MidiSync::reset()
{
    {
        const std::lock_guard locker(m_mutex);
        // A pending start survives: a received start rewinds first and must
        // still start the clock at the next pulse.
        m_clock.reset();
        m_songPositionTarget = 0;
        m_driftCount = 0;
        m_anchorPending = false;
        for (MidiOutputSyncClock *output : std::as_const(m_syncOutputs))
            output->reset();
    }
    notifyTimingChanged();
}

void MidiSync::setTempo(uint tempo)
{
    applyTempo(tempo, now());
}

void MidiSync::applyTempo(uint tempo, qint64 time)
{
    {
        const std::lock_guard locker(m_mutex);
        if (!m_clock.setTempo(tempo, time))
            return;
    }
    notifyTimingChanged();
    Q_EMIT tempoChanged(tempo);
}

void MidiSync::setPrincipalsToBeatsNumerator(uint numerator)
{
    {
        const std::lock_guard locker(m_mutex);
        if (!m_clock.setNumerator(numerator, now()))
            return;
    }
    notifyTimingChanged();
    Q_EMIT principalsToBeatsNumeratorChanged(numerator);
}

void MidiSync::setPrincipalsToBeatsDenominator(uint denominator)
{
    {
        const std::lock_guard locker(m_mutex);
        if (!m_clock.setDenominator(denominator, now()))
            return;
    }
    notifyTimingChanged();
    Q_EMIT principalsToBeatsDenominatorChanged(denominator);
}

void MidiSync::onMidiSyncReadyRead(MidiInput *input)
{
    receiveClock(input->takeAll());
}

void MidiSync::receiveClock(const QList<MidiMessage> &messages)
{
    static const QByteArray songPositionZero("\xF2\x00\x00", 3);
    bool checkDrift = false;
    bool anchor = false;
    qint64 lastPulse = 0;
    for (const MidiMessage &message : messages) {
        if (message.bytes == songPositionZero) {
            rewind(message.arrivalNs, true);
            Q_EMIT gotoStartRequested();
            continue;
        }
        if (message.bytes.size() != 1)
            continue;
        switch (quint8(message.bytes.at(0))) {
        case 0xFA: {
            {
                const std::lock_guard locker(m_mutex);
                rewind(message.arrivalNs, false);
                m_startPending = true;
            }
            Q_EMIT gotoStartRequested();
            break;
        }
        case 0xFB: {
            const std::lock_guard locker(m_mutex);
            m_startPending = true;
            break;
        }
        case 0xFC: {
            {
                const std::lock_guard locker(m_mutex);
                m_startPending = false;
            }
            Q_EMIT pauseRequested();
            startOrStop(false, message.arrivalNs, 0);
            break;
        }
        case 0xF8: {
            bool pulseCounted = false;
            bool anchorHere = false;
            const uint newTempo = receivePulse(message, pulseCounted, anchorHere);
            if (pulseCounted) {
                checkDrift = true;
                lastPulse = message.arrivalNs;
            }
            // The new rate holds from the pulse that measured it.
            if (newTempo != 0)
                applyTempo(newTempo, message.arrivalNs);
            anchor = anchor || anchorHere;
            break;
        }
        default:
            break;
        }
    }

    bool startPending = false;
    {
        const std::lock_guard locker(m_mutex);
        startPending = m_startPending;
    }
    if (startPending)
        Q_EMIT playRequested();
    if (checkDrift)
        correctDrift(lastPulse, anchor);
}

uint MidiSync::receivePulse(const MidiMessage &message, bool &counted, bool &anchor)
{
    const std::lock_guard locker(m_mutex);
    const qint64 arrival = message.arrivalNs;
    const bool justStarted = m_startPending;
    if (justStarted) {
        m_startPending = false;
        startOrStop(true, arrival, 0);
    }
    if (!m_clock.isRunning())
        return 0;
    const qint64 sincePrevious = arrival - m_previousPulse;
    m_previousPulse = arrival;
    if (justStarted) {
        // One pulse marks where the run starts; it says nothing of the
        // tempo, which stays as it is until the next.
        m_tempoMeter.restart(arrival);
        m_anchorPending = true;
        return 0;
    }
    m_songPositionTarget += BeatTicksPerPulse;
    counted = true;

    // Until the window of pulse times is long enough, the time since the
    // previous pulse gives a first guess. It is measured here rather than
    // taken from the library's time stamp, which counts from any message,
    // those filtered out included.
    const qint64 fallback =
        sincePrevious > 0 ? std::llround(2.5e9 / double(sincePrevious)) : qint64(m_clock.tempo());
    const qint64 measured = m_tempoMeter.addPulse(arrival, fallback);
    if (!m_tempoMeter.takeReport(arrival))
        return 0;
    anchor = std::exchange(m_anchorPending, false);
    return uint(qBound<qint64>(MinTempo, measured, MaxTempo));
}

void MidiSync::correctDrift(qint64 arrivalNs, bool anchor)
{
    {
        const std::lock_guard locker(m_mutex);
        if (!m_clock.isRunning())
            return;
        const qint64 drift = m_songPositionTarget - m_clock.beatPosition(arrivalNs);
        if (!anchor) {
            if (std::abs(drift) < DriftLimit) {
                m_driftCount = 0;
                return;
            }
            if (++m_driftCount < DriftPulses)
                return;
        }
        m_driftCount = 0;
        m_clock.setBeatOffset(m_songPositionTarget - m_clock.uncorrectedBeatPosition(arrivalNs));
    }
    notifyTimingChanged();
}
