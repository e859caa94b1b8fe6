#include "abstractsync.h"

AbstractSync::AbstractSync(const NanoClock *clock, QObject *parent)
    : QObject(parent), m_clock(clock ? clock : NanoClock::steady())
{
}

void AbstractSync::addTimingListener(TimingListener *listener)
{
    const std::lock_guard locker(m_listenerMutex);
    if (!m_listeners.contains(listener))
        m_listeners.append(listener);
}

void AbstractSync::removeTimingListener(TimingListener *listener)
{
    const std::lock_guard locker(m_listenerMutex);
    m_listeners.removeAll(listener);
}

void AbstractSync::notifyTimingChanged()
{
    {
        const std::lock_guard locker(m_listenerMutex);
        for (TimingListener *listener : std::as_const(m_listeners))
            listener->timingChanged();
    }
    Q_EMIT timingChanged();
}
