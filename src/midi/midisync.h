#pragma once

#include "abstractsync.h"
#include "clocktempometer.h"
#include "midimessage.h"
#include "playbackclock.h"

#include <QHash>

#include <mutex>

class MidiInput;
class MidiOutputSyncClock;
class QmdIndex;

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
    static constexpr qint64 StartWaitUs = 500;
    static constexpr uint MinTempo = 1;
    static constexpr uint MaxTempo = 999;

    explicit MidiSync(QObject *parent = nullptr);
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

    // Also chooses the sync ports from the controller's document.
    void setController(QmdController *controller) override;

    // Follows received MIDI clock: song position 0, start, continue, stop
    // and clock pulses, in arrival order. Called by onMidiSyncReadyRead() on
    // the MIDI library's thread.
    void receiveClock(const QList<MidiMessage> &messages);

public Q_SLOTS:
    void reset() override;
    void setTempo(uint tempo) override;
    void setPrincipalsToBeatsNumerator(uint numerator) override;
    void setPrincipalsToBeatsDenominator(uint denominator) override;
    void onItemsChanged(const QmdIndex &parent, const QStringList &keys);
    void onItemsRemoved(const QmdIndex &parent, const QStringList &keys);
    void onMidiSyncReadyRead(MidiInput *input);

private:
    bool touchesSyncPorts(const QmdIndex &parent, const QStringList &keys) const;
    // Reads the wanted ports from the document and opens and closes ports to
    // match.
    void updateSyncPorts();
    QSet<QString> wantedPorts(const QString &containerKey) const;

    // Starts the run at time + delay, or stops it at time.
    void startOrStop(bool run, qint64 time, qint64 delay);
    // Counts a received pulse; returns the tempo to apply, 0 for none.
    uint receivePulse(const MidiMessage &message, bool &checkDrift);
    void correctDrift(qint64 arrivalNs);
    qint64 now() const;

    mutable std::recursive_mutex m_mutex;
    PlaybackClock m_clock;

    bool m_startPending = false;
    qint64 m_songPositionTarget = 0;
    int m_driftCount = 0;
    ClockTempoMeter m_tempoMeter;

    QHash<QString, MidiInput *> m_syncInputs;
    QHash<QString, MidiOutputSyncClock *> m_syncOutputs;
};
