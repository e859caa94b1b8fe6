#include "clocktempometer.h"

#include <cmath>

void ClockTempoMeter::restart(qint64 arrivalNs)
{
    m_pulseTimes.clear();
    m_windowStart = arrivalNs;
    m_lastReport = 0;
}

qint64 ClockTempoMeter::addPulse(qint64 arrivalNs, qint64 fallback)
{
    qsizetype dropped = 0;
    while (dropped < m_pulseTimes.size() && m_pulseTimes.at(dropped) < arrivalNs - WindowNs)
        ++dropped;
    if (dropped > 0) {
        m_windowStart = m_pulseTimes.at(dropped - 1);
        m_pulseTimes.remove(0, dropped);
    }
    m_pulseTimes.append(arrivalNs);

    if (arrivalNs == m_windowStart)
        return fallback;
    const double seconds = double(arrivalNs - m_windowStart) / 1e9;
    const double pulses = double(m_pulseTimes.size());
    const double estimate = pulses / 24.0 / seconds * 60.0;
    const bool trusted = seconds > 0.9 || (seconds > 0.5 && pulses > 200);
    const qint64 measured = trusted ? std::llround(estimate) : fallback;
    if (std::abs(estimate - m_estimate) > 0.01 * m_estimate) {
        m_pulseTimes.clear();
        m_windowStart = arrivalNs;
    }
    m_estimate = estimate;
    return measured;
}

bool ClockTempoMeter::takeReport(qint64 arrivalNs)
{
    if (arrivalNs - m_lastReport < ReportIntervalNs)
        return false;
    m_lastReport = arrivalNs;
    return true;
}
