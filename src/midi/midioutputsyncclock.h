#pragma once

#include "abstractoutputthread.h"
#include "midioutput.h"

#include <QMutex>

// Sends MIDI clock to one output port, following the beat position of its
// timing source: start or continue before a run, a first pulse when the run
// begins, then a pulse for every 27720 beat ticks (24 per beat), and stop
// after it. Between pulses its thread sleeps until the clock time of the
// next one. When a send fails the sender pauses itself and closes its port.
//
// The owner's thread prepares, plays, pauses and resets it (the timing
// source does, holding its own lock); the sender's thread sends the pulses.
// A send mutex keeps their messages in order; neither calls the timing
// source while holding it.
class MidiOutputSyncClock : public AbstractOutputThread, public MidiOutput
{
    Q_OBJECT

public:
    static constexpr qint64 BeatTicksPerPulse = 27720;
    static constexpr qint64 PulsesPerCall = 10;

    explicit MidiOutputSyncClock(AbstractSync *source, QObject *parent = nullptr);
    ~MidiOutputSyncClock() override;

    // Pulses sent since the last reset (the first pulse of each run is not
    // counted: it marks the position the run starts from).
    qint64 pulsesSent() const;

    // Before the timing source starts: continue when pulses were sent since
    // the last reset, else start. The first pulse follows when the run
    // begins, once the sender plays.
    void prepareClock();
    // Back to the beginning: no pulses sent, song position 0.
    void reset();

public Q_SLOTS:
    // Pauses the thread, then sends the pulses still due and stop.
    void pauseAndWait() override;

protected:
    qint64 output() override;

private:
    qint64 duePulse() const;
    bool send(std::initializer_list<quint8> bytes);
    bool sendPulsesUpTo(qint64 pulse);

    mutable QMutex m_sendMutex;
    qint64 m_pulsesSent = 0;
    bool m_firstPulsePending = false;
};
