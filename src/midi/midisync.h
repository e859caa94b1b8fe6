#pragma once

#include "abstractsync.h"
#include "clocktempometer.h"
#include "midimessage.h"
#include "playbackclock.h"

#include <QHash>

#include <mutex>

class MidiInput;
class MidiOutputSyncClock;

// The internal timing source: a free-running clock at the document's tempo
// and ratio, which can follow MIDI clock received on chosen input ports and
// send MIDI clock to chosen output ports ("SyncMidiInputs" and
// "SyncMidiOutputs" of the document). Position queries come from many
// threads; the recursive mutex serialises them with every change, including
// those the clock receiver makes on the MIDI library's thread.
class MidiSync : public AbstractSync
{
    Q_OBJECT

public:
    static constexpr qint64 BeatTicksPerPulse = 27720;
    // Half a pulse: a larger difference between received and own position is
    // drift.
    static constexpr qint64 DriftLimit = 13861;
    static constexpr int DriftPulses = 3;
    // Lets the clock senders' start message precede the first beat.
    static constexpr qint64 StartDelayNs = 10000000;
    static constexpr uint MinTempo = 1;
    static constexpr uint MaxTempo = 999;

    explicit MidiSync(const NanoClock *clock = nullptr, QObject *parent = nullptr);
    ~MidiSync() override;

    static QString staticTypeName();
    static QString staticDisplayName();

    QString typeName() const override;
    QString displayName() const override;
    bool isRunning() const override;
    void setRunning(bool running) override;
    uint tempo() const override;
    uint principalsToBeatsNumerator() const override;
    uint principalsToBeatsDenominator() const override;
    qint64 timePosition() const override;
    qint64 tickPosition() const override;
    qint64 beatPosition() const override;
    qint64 timeOfTick(qint64 tick) const override;
    qint64 timeOfBeatTick(qint64 beatTick) const override;
    qint64 timeToTicks(qint64 ns) const override;
    qint64 ticksToTime(qint64 ticks) const override;
    qint64 timeToBeatTicks(qint64 ns) const override;
    qint64 beatTicksToTime(qint64 beatTicks) const override;
    qint64 ticksToBeatTicks(qint64 ticks) const override;
    qint64 beatTicksToTicks(qint64 beatTicks) const override;

    // The beat ticks of received clock pulses since the start (the position
    // the sender's clock has reached), and the correction it put on the beat
    // position.
    qint64 songPositionTarget() const;
    qint64 beatOffset() const;

    // The ports whose MIDI clock this source follows, and those it sends
    // MIDI clock to, by name; ports no longer named are closed. A port that
    // does not open stays in the list, closed, and hears or says nothing.
    void setSyncPorts(const QSet<QString> &inputs, const QSet<QString> &outputs);

    // Follows received MIDI clock: song position 0, start, continue, stop
    // and clock pulses, in arrival order. Called by onMidiSyncReadyRead() on
    // the MIDI library's thread.
    //
    // A start rewinds this source at once, and the first pulse after it
    // starts the clock at that pulse's arrival, so the run begins on the
    // sender's first beat; the document's voices are rewound by the
    // controller (gotoStartRequested()), which leaves this source alone. The
    // first pulse of a run keeps the tempo: a tempo needs two pulses. At the
    // first tempo measured in a run the position is set to the sender's, so
    // that the time run at the old tempo leaves no lag behind.
    void receiveClock(const QList<MidiMessage> &messages);

public Q_SLOTS:
    void reset() override;
    void setTempo(uint tempo) override;
    void setPrincipalsToBeatsNumerator(uint numerator) override;
    void setPrincipalsToBeatsDenominator(uint denominator) override;
    void onMidiSyncReadyRead(MidiInput *input);

private:
    // Sets the tempo as from the given time, and says so.
    void applyTempo(uint tempo, qint64 time);
    // Starts the run at time + delay, or stops it at time.
    void startOrStop(bool run, qint64 time, qint64 delay);
    // Back to the start position at time, running on if it was running.
    void rewind(qint64 time, bool keepRunning);
    // Counts a received pulse; returns the tempo to apply, 0 for none.
    // anchor is set when the position is to be set to the sender's after
    // the tempo.
    uint receivePulse(const MidiMessage &message, bool &counted, bool &anchor);
    void correctDrift(qint64 arrivalNs, bool anchor);
    qint64 now() const;

    mutable std::recursive_mutex m_mutex;
    PlaybackClock m_clock;

    bool m_startPending = false;
    bool m_anchorPending = false;
    qint64 m_previousPulse = 0;
    qint64 m_songPositionTarget = 0;
    int m_driftCount = 0;
    ClockTempoMeter m_tempoMeter;

    QHash<QString, MidiInput *> m_syncInputs;
    QHash<QString, MidiOutputSyncClock *> m_syncOutputs;
};
