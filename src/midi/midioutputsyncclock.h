#pragma once

#include "abstractoutputthread.h"
#include "midioutput.h"

// Sends MIDI clock to one output port, following the beat position of its
// timing source: start or continue before a run, a clock pulse for every
// 27720 beat ticks (24 per beat) during it, stop after it. When a send fails
// the sender pauses itself and closes its port.
class MidiOutputSyncClock : public AbstractOutputThread, public MidiOutput
{
    Q_OBJECT

public:
    static constexpr qint64 BeatTicksPerPulse = 27720;
    static constexpr qint64 PulsesPerCall = 10;

    explicit MidiOutputSyncClock(AbstractSync *source, QObject *parent = nullptr);
    ~MidiOutputSyncClock() override;

    // The output interval in microseconds for a tempo: four times the
    // milliseconds of one pulse, within 1..500.
    static int intervalForTempo(uint tempo);
    void setTempo(uint tempo);

    // Pulses sent since the last reset (the first pulse of each run is not
    // counted: it marks the position the run starts from).
    qint64 pulsesSent() const;

    // Before the timing source starts: continue when pulses were sent since
    // the last reset, else start.
    void prepareClock();
    // When the timing source has started: the first pulse, then play.
    void startClock();
    // Back to the beginning: no pulses sent, song position 0.
    void reset();

public Q_SLOTS:
    // Pauses the thread, then sends the pulses still due and stop.
    void pauseAndWait() override;

protected:
    void output() override;

private:
    qint64 duePulse() const;
    bool send(std::initializer_list<quint8> bytes);
    bool sendPulsesUpTo(qint64 pulse, qint64 limit);

    mutable QMutex m_sendMutex;
    qint64 m_pulsesSent = 0;
};
