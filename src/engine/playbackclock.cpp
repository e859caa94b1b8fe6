#include "playbackclock.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr quint64 NsPerMinute = 60000000000ULL;

// Floor to a tick or time count; out-of-range products saturate instead of
// overflowing.
qint64 floorToInt(double value)
{
    constexpr double limit = 9.2e18;
    if (std::isnan(value))
        return 0;
    if (value >= limit)
        return std::numeric_limits<qint64>::max();
    if (value <= -limit)
        return std::numeric_limits<qint64>::min();
    return static_cast<qint64>(std::floor(value));
}

} // namespace

PlaybackClock::PlaybackClock()
{
    recompute();
}

void PlaybackClock::start(qint64 startTime)
{
    m_startTime = startTime;
    m_running = true;
}

void PlaybackClock::stop(qint64 time)
{
    if (m_running)
        carryOver(time);
    m_running = false;
}

void PlaybackClock::carryOver(qint64 time)
{
    // Before a delayed start nothing has elapsed, and the start stays ahead.
    const qint64 e = elapsed(time);
    m_baseTime += e;
    m_baseTick += timeToTicks(e);
    m_baseBeatTick += timeToBeatTicks(e);
    m_startTime = std::max(m_startTime, time);
}

void PlaybackClock::reset()
{
    m_running = false;
    m_baseTime = 0;
    m_baseTick = 0;
    m_baseBeatTick = 0;
    m_startTime = 0;
    m_beatOffset = 0;
    recompute();
}

bool PlaybackClock::setTempo(uint tempo, qint64 now)
{
    if (tempo == m_tempo)
        return false;
    if (m_running)
        carryOver(now);
    m_tempo = tempo;
    recompute();
    return true;
}

bool PlaybackClock::setNumerator(uint numerator, qint64 now)
{
    if (numerator == m_numerator)
        return false;
    if (m_running)
        carryOver(now);
    m_numerator = numerator;
    recompute();
    return true;
}

bool PlaybackClock::setDenominator(uint denominator, qint64 now)
{
    if (denominator == m_denominator)
        return false;
    if (m_running)
        carryOver(now);
    m_denominator = denominator;
    recompute();
    return true;
}

void PlaybackClock::setBeatOffset(qint64 beatOffset)
{
    m_beatOffset = beatOffset;
    recompute();
}

qint64 PlaybackClock::timePosition(qint64 now) const
{
    return m_baseTime + elapsed(now);
}

qint64 PlaybackClock::tickPosition(qint64 now) const
{
    return corrected(m_baseTick + timeToTicks(elapsed(now)), m_tickOffset);
}

qint64 PlaybackClock::beatPosition(qint64 now) const
{
    return corrected(uncorrectedBeatPosition(now), m_beatOffset);
}

qint64 PlaybackClock::uncorrectedBeatPosition(qint64 now) const
{
    return m_baseBeatTick + timeToBeatTicks(elapsed(now));
}

qint64 PlaybackClock::timeOfTick(qint64 tick) const
{
    return timeOf(tick, m_baseTick, m_tickOffset, m_ticksPerNs, m_nsPerTick);
}

qint64 PlaybackClock::timeOfBeatTick(qint64 beatTick) const
{
    return timeOf(beatTick, m_baseBeatTick, m_beatOffset, m_beatTicksPerNs, m_nsPerBeatTick);
}

qint64 PlaybackClock::timeOf(qint64 target, qint64 base, qint64 offset, double perNs,
                             double nsPer) const
{
    if (!m_running)
        return NoTime;
    // The position is corrected(base + floor(e * perNs), offset) after e
    // nanoseconds of the run; a position clamped at 0 by a negative offset
    // reaches no target above 0 before the uncorrected sum does.
    const qint64 needed = target - offset - base;
    if (needed <= 0)
        return m_startTime;
    const double estimate = std::ceil(double(needed) * nsPer);
    if (estimate >= 9.2e18 - double(m_startTime))
        return NoTime;
    // The product of the two factors may round either way: the first time
    // that truly reaches the tick is at most a few nanoseconds off.
    qint64 e = qint64(estimate);
    while (e > 0 && floorToInt(double(e - 1) * perNs) >= needed)
        --e;
    while (floorToInt(double(e) * perNs) < needed)
        ++e;
    return m_startTime + e;
}

qint64 PlaybackClock::timeToTicks(qint64 ns) const
{
    return floorToInt(double(ns) * m_ticksPerNs);
}

qint64 PlaybackClock::ticksToTime(qint64 ticks) const
{
    return floorToInt(double(ticks) * m_nsPerTick);
}

qint64 PlaybackClock::timeToBeatTicks(qint64 ns) const
{
    return floorToInt(double(ns) * m_beatTicksPerNs);
}

qint64 PlaybackClock::beatTicksToTime(qint64 beatTicks) const
{
    return floorToInt(double(beatTicks) * m_nsPerBeatTick);
}

qint64 PlaybackClock::ticksToBeatTicks(qint64 ticks) const
{
    return floorToInt(double(ticks) * m_beatsPerPrincipal);
}

qint64 PlaybackClock::beatTicksToTicks(qint64 beatTicks) const
{
    return floorToInt(double(beatTicks) * m_principalsPerBeat);
}

void PlaybackClock::recompute()
{
    // A zero from the document would make every rate infinite; it counts as 1.
    const quint64 t = std::max(m_tempo, 1u);
    const quint64 n = std::max(m_numerator, 1u);
    const quint64 d = std::max(m_denominator, 1u);
    const double ticksPerMinute = double(n * quint64(TicksPerPrincipal) * t);
    const double nsPerMinute = double(d * NsPerMinute);
    const double beatTicksPerMinute = double(t * quint64(TicksPerBeat));

    m_ticksPerNs = ticksPerMinute / nsPerMinute;
    m_nsPerTick = nsPerMinute / ticksPerMinute;
    m_beatTicksPerNs = beatTicksPerMinute / double(NsPerMinute);
    m_nsPerBeatTick = double(NsPerMinute) / beatTicksPerMinute;
    m_beatsPerPrincipal = double(d) / double(n);
    m_principalsPerBeat = double(n) / double(d);

    // A negative offset converts by its magnitude, so that it rounds the same
    // way as a positive one.
    m_tickOffset =
        m_beatOffset < 0 ? -beatTicksToTicks(-m_beatOffset) : beatTicksToTicks(m_beatOffset);
}

qint64 PlaybackClock::elapsed(qint64 now) const
{
    return m_running ? std::max<qint64>(now - m_startTime, 0) : 0;
}

qint64 PlaybackClock::corrected(qint64 position, qint64 offset)
{
    if (offset < 0 && -offset > position)
        return 0;
    return position + offset;
}
