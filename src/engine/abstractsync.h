#pragma once

#include "nanoclock.h"
#include "timinglistener.h"

#include <QList>
#include <QObject>
#include <QStringList>

#include <mutex>

// The timing source of a document: turns the playback clock into time, grid
// tick and beat tick positions at the document's tempo and
// principals-to-beats ratio. Voice groups, instruments and MIDI clock senders
// read their positions from it, on their own threads, and sleep until the
// clock time of the next position they wait for; as timing listeners they are
// woken whenever that time may have moved.
//
// Positions, conversions and the listener list may be used from any thread;
// the object itself (its slots, the binding to a controller) belongs to the
// thread it lives in.
class AbstractSync : public QObject
{
    Q_OBJECT
    Q_PROPERTY(uint tempo READ tempo WRITE setTempo NOTIFY tempoChanged)
    Q_PROPERTY(uint principalsToBeatsNumerator READ principalsToBeatsNumerator WRITE
                   setPrincipalsToBeatsNumerator NOTIFY principalsToBeatsNumeratorChanged)
    Q_PROPERTY(uint principalsToBeatsDenominator READ principalsToBeatsDenominator WRITE
                   setPrincipalsToBeatsDenominator NOTIFY principalsToBeatsDenominatorChanged)

public:
    // clock: the clock the positions count on (not owned); the steady
    // clock when none is given.
    explicit AbstractSync(const NanoClock *clock = nullptr, QObject *parent = nullptr);

    // The clock of every position and time this source answers; threads
    // that follow it sleep on it.
    const NanoClock *clock() const { return m_clock; }

    virtual QString typeName() const = 0;
    virtual QString displayName() const = 0;
    virtual bool isRunning() const = 0;
    // Starts or stops the clock now.
    virtual void setRunning(bool running) = 0;
    virtual uint tempo() const = 0;
    virtual uint principalsToBeatsNumerator() const = 0;
    virtual uint principalsToBeatsDenominator() const = 0;
    virtual qint64 timePosition() const = 0;
    // The playback position in grid ticks.
    virtual qint64 tickPosition() const = 0;
    virtual qint64 beatPosition() const = 0;
    // The clock time (NanoClock) at which the tick or beat position will
    // reach the value; NanoClock::Never while the source is stopped.
    virtual qint64 timeOfTick(qint64 tick) const = 0;
    virtual qint64 timeOfBeatTick(qint64 beatTick) const = 0;
    virtual qint64 timeToTicks(qint64 ns) const = 0;
    virtual qint64 ticksToTime(qint64 ticks) const = 0;
    virtual qint64 timeToBeatTicks(qint64 ns) const = 0;
    virtual qint64 beatTicksToTime(qint64 beatTicks) const = 0;
    virtual qint64 ticksToBeatTicks(qint64 ticks) const = 0;
    virtual qint64 beatTicksToTicks(qint64 beatTicks) const = 0;

    // A listener is told of every start, stop, jump and rate change until it
    // is removed; it must remove itself before it or this source is gone.
    // Removal waits for a notification under way.
    void addTimingListener(TimingListener *listener);
    void removeTimingListener(TimingListener *listener);

public Q_SLOTS:
    virtual void reset() = 0;
    virtual void setTempo(uint tempo) = 0;
    virtual void setPrincipalsToBeatsNumerator(uint numerator) = 0;
    virtual void setPrincipalsToBeatsDenominator(uint denominator) = 0;

Q_SIGNALS:
    void tempoChanged(uint tempo);
    void principalsToBeatsNumeratorChanged(uint numerator);
    void principalsToBeatsDenominatorChanged(uint denominator);
    // Emitted with every notification of the timing listeners, on the
    // thread that changed the timing.
    void timingChanged();

    // Requests to the document's playback control, made when received MIDI
    // clock starts, continues or stops playback. They are emitted on the MIDI
    // library's thread; the controller connects them queued. The clock itself
    // has already been (or, for play, will be at the next clock pulse)
    // started or stopped by this source, so play and pause only bring the
    // document's outputs into that state.
    void gotoStartRequested();
    void playRequested();
    void pauseRequested();

protected:
    // Tells the listeners, and emits timingChanged(); call after the change
    // is in place.
    void notifyTimingChanged();

private:
    const NanoClock *const m_clock;
    std::mutex m_listenerMutex;
    QList<TimingListener *> m_listeners;
};
