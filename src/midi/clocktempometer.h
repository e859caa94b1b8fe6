#pragma once

#include <QList>
#include <QtGlobal>

// Measures the tempo of received MIDI clock from the arrival times of its
// pulses (24 per beat). The pulses of the last two seconds are counted from a
// window start that is itself a pulse time; a jump of the estimate by more
// than 1 % starts the window again, so a tempo change is followed quickly.
class ClockTempoMeter
{
public:
    static constexpr qint64 WindowNs = 2000000000;
    static constexpr qint64 ReportIntervalNs = 100000000;

    // Starts over at the first pulse of a run.
    void restart(qint64 arrivalNs);
    // Counts a pulse and returns the measured tempo in beats per minute: the
    // rounded estimate once the window is long enough to trust, else the
    // fallback.
    qint64 addPulse(qint64 arrivalNs, qint64 fallback);
    // Whether a measured tempo is to be applied at this arrival; marks it
    // applied when it is.
    bool takeReport(qint64 arrivalNs);

    double estimate() const { return m_estimate; }

private:
    QList<qint64> m_pulseTimes;
    qint64 m_windowStart = 0;
    double m_estimate = 0;
    qint64 m_lastReport = 0;
};
