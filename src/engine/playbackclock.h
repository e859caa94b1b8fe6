#pragma once

#include <QtGlobal>

#include <limits>

// The running position of playback, kept as what was accumulated up to the
// start time plus what elapsed since. Time is in nanoseconds; grid ticks
// count 665280 per principal and beat ticks 665280 per beat, one beat
// spanning numerator/denominator principals. Every call takes "now" from the
// caller, so the arithmetic is independent of any clock and of locking: the
// timing source that owns a PlaybackClock serialises the calls.
class PlaybackClock
{
public:
    static constexpr qint64 TicksPerPrincipal = 665280;
    static constexpr qint64 TicksPerBeat = 665280;
    static constexpr uint DefaultTempo = 120;

    PlaybackClock();

    // What timeOfTick() and timeOfBeatTick() answer while the clock stands.
    static constexpr qint64 NoTime = std::numeric_limits<qint64>::max();

    bool isRunning() const { return m_running; }
    // Begins a run at the given clock time, which may lie ahead of now: the
    // position then stays where it is until that time.
    void start(qint64 startTime);
    // Ends the run at the given clock time, keeping the position reached.
    void stop(qint64 time);
    // Folds the play elapsed up to the given time into the base position, so
    // that a rate change from then on leaves the position continuous.
    void carryOver(qint64 time);
    // Back to the stopped start position with no offset.
    void reset();

    uint tempo() const { return m_tempo; }
    uint numerator() const { return m_numerator; }
    uint denominator() const { return m_denominator; }
    // Each returns false and changes nothing when the value is the current
    // one; otherwise it carries over at now when running.
    bool setTempo(uint tempo, qint64 now);
    bool setNumerator(uint numerator, qint64 now);
    bool setDenominator(uint denominator, qint64 now);

    qint64 startTime() const { return m_startTime; }
    qint64 beatOffset() const { return m_beatOffset; }
    qint64 tickOffset() const { return m_tickOffset; }
    // A correction that external sync puts on the beat position; the tick
    // offset follows it.
    void setBeatOffset(qint64 beatOffset);

    qint64 timePosition(qint64 now) const;
    // The playback position; never negative through a negative offset.
    qint64 tickPosition(qint64 now) const;
    qint64 beatPosition(qint64 now) const;
    // The beat position before the offset is applied.
    qint64 uncorrectedBeatPosition(qint64 now) const;

    // The earliest clock time at which the position reaches the tick (the
    // start time when it has already reached it then); NoTime while
    // stopped. The inverse of tickPosition() and beatPosition(): output
    // threads sleep until it.
    qint64 timeOfTick(qint64 tick) const;
    qint64 timeOfBeatTick(qint64 beatTick) const;

    qint64 timeToTicks(qint64 ns) const;
    qint64 ticksToTime(qint64 ticks) const;
    qint64 timeToBeatTicks(qint64 ns) const;
    qint64 beatTicksToTime(qint64 beatTicks) const;
    qint64 ticksToBeatTicks(qint64 ticks) const;
    qint64 beatTicksToTicks(qint64 beatTicks) const;

private:
    void recompute();
    qint64 elapsed(qint64 now) const;
    static qint64 corrected(qint64 position, qint64 offset);
    qint64 timeOf(qint64 target, qint64 base, qint64 offset, double perNs, double nsPer) const;

    bool m_running = false;
    qint64 m_baseTime = 0;
    qint64 m_baseTick = 0;
    qint64 m_baseBeatTick = 0;
    qint64 m_startTime = 0;
    qint64 m_beatOffset = 0;
    qint64 m_tickOffset = 0;

    uint m_tempo = DefaultTempo;
    uint m_numerator = 1;
    uint m_denominator = 1;

    double m_ticksPerNs = 0;
    double m_nsPerTick = 0;
    double m_beatTicksPerNs = 0;
    double m_nsPerBeatTick = 0;
    double m_beatsPerPrincipal = 0;
    double m_principalsPerBeat = 0;
};
