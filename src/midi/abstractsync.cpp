#include "abstractsync.h"

#include "midisync.h"
#include "playbackclock.h"
#include "qmdcontroller.h"

AbstractSync::AbstractSync(QObject *parent) : QObject(parent) {}

AbstractSync *AbstractSync::create(const QString &type, QObject *parent)
{
    if (type.toLower() == MidiSync::staticTypeName())
        return new MidiSync(parent);
    return nullptr;
}

QStringList AbstractSync::availableTypes()
{
    return {MidiSync::staticTypeName()};
}

QString AbstractSync::typeDisplayName(const QString &type)
{
    if (type == MidiSync::staticTypeName())
        return MidiSync::staticDisplayName();
    return QString();
}

void AbstractSync::setController(QmdController *controller)
{
    if (m_controller) {
        // Unbinding must not reset the properties: the values stay.
        m_controller->unbind(this, nullptr,
                             QmdController::UnbindForget | QmdController::UnbindDisconnect);
        disconnect(m_controller, nullptr, this, nullptr);
    }
    QmdObserver::setController(controller);
    if (!controller)
        return;
    connect(controller, &QmdController::modelReset, this, &AbstractSync::reset);
    // The source writes back only values it arrived at itself (received
    // clock): they are not steps for the user to undo.
    const auto bindKey = [this, controller](const char *property, const char *signal,
                                            const QString &key, uint fallback,
                                            const QString &text) {
        controller->bind(this, property, signal, key, QmdIndex(), fallback, fallback, text,
                         QmdRequestOptions(Qmd::NoUndo, text));
    };
    bindKey("tempo", SIGNAL(tempoChanged(uint)), QStringLiteral("Tempo"),
            PlaybackClock::DefaultTempo, tr("Tempo"));
    bindKey("principalsToBeatsNumerator", SIGNAL(principalsToBeatsNumeratorChanged(uint)),
            QStringLiteral("PrincipalsToBeatsNumerator"), 1, tr("Principals"));
    bindKey("principalsToBeatsDenominator", SIGNAL(principalsToBeatsDenominatorChanged(uint)),
            QStringLiteral("PrincipalsToBeatsDenominator"), 1, tr("Beats"));
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
