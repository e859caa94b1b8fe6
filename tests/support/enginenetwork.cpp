#include "enginenetwork.h"

#include "qmdludra.h"
#include "qmdludragraphcompiler.h"

#include <QSignalBlocker>

EngineNetwork::EngineNetwork() : m_core(this)
{
    m_controller.setModel(&m_model);
}

void EngineNetwork::addElement(QmdItemId id, uint type, const QHash<QString, QVariant> &fields)
{
    const QSignalBlocker blocker(m_model);
    const QmdIndex elements = m_controller.elementsIndex();
    m_model.setTypes(QHash<QmdItemId, Qmd::ContainerType>{{id, Qmd::StrDict}}, elements);
    QHash<QString, QVariant> values = fields;
    values.insert(QmdLudra::TypeKey, type);
    m_model.setData(values, m_model.index(id, elements));
    if (type != QmdLudra::Edge && type != QmdLudra::Node)
        return;
    const QmdIndex states = m_controller.elementStatesIndex();
    m_model.setTypes(QHash<QmdItemId, Qmd::ContainerType>{{id, Qmd::StrDict}}, states);
    m_model.setData(QmdLudra::initialElementState(type), m_model.index(id, states));
}

void EngineNetwork::addNode(QmdItemId id, qint64 principalsX, qint64 principalsY,
                            const QHash<QString, QVariant> &fields)
{
    QHash<QString, QVariant> values{
        {QStringLiteral("PitchList"), QStringLiteral("C3")},
        {QStringLiteral("VelocityList"), QStringLiteral("64")},
        {QStringLiteral("DurationList"), QStringLiteral("100%")},
        {QStringLiteral("SignallingMethod"), 0},
        {QmdLudra::TickPosKey,
         QVariant::fromValue(QmdLudra::TickPos{principalsX * QmdLudra::TicksPerPrincipal,
                                               principalsY * QmdLudra::TicksPerPrincipal})}};
    values.insert(fields);
    addElement(id, QmdLudra::Node, values);
}

void EngineNetwork::addEdge(QmdItemId id, QmdItemId from, QmdItemId to,
                            const QHash<QString, QVariant> &fields)
{
    QHash<QString, QVariant> values{
        {QmdLudra::FromNodeKey, from}, {QmdLudra::ToNodeKey, to}, {QStringLiteral("Path"), 0}};
    values.insert(fields);
    addElement(id, QmdLudra::Edge, values);
}

void EngineNetwork::addVoiceGroup(QmdItemId id, QmdItemId toNode,
                                  const QHash<QString, QVariant> &fields)
{
    QHash<QString, QVariant> values{{QStringLiteral("InitialPitch"), QStringLiteral("C3")},
                                    {QStringLiteral("InitialVelocity"), QStringLiteral("64")},
                                    {QStringLiteral("InitialDuration"), QStringLiteral("1.0")},
                                    {QStringLiteral("InitialInstrument"), 1u},
                                    {QmdLudra::ToNodeKey, toNode}};
    values.insert(fields);
    addElement(id, QmdLudra::VoiceGroup, values);
}

void EngineNetwork::setState(QmdItemId id, const QHash<QString, QVariant> &values)
{
    const QSignalBlocker blocker(m_model);
    m_model.setData(values, m_model.index(id, m_controller.elementStatesIndex()));
}

PlaybackCore &EngineNetwork::compile()
{
    const QmdLudraGraphCompiler::Result compiled = QmdLudraGraphCompiler(&m_controller).compile();
    m_core.install(compiled.graph, compiled.states);
    return m_core;
}

QVariant EngineNetwork::state(QmdItemId id, const QString &key) const
{
    const std::lock_guard locker(m_core.mutex());
    const PlaybackCounters::Values *values = m_core.counters().find(id);
    if (!values)
        return QVariant();
    const quint8 all =
        PlaybackCounters::Lists | PlaybackCounters::EdgeUsage | PlaybackCounters::Scale;
    return QmdLudraGraphCompiler::stateValues(*values, all).value(key);
}

QList<EngineNetwork::Delivery> EngineNetwork::deliveries() const
{
    const std::lock_guard locker(m_mutex);
    return QList<Delivery>(m_deliveries.cbegin(), m_deliveries.cend());
}

bool EngineNetwork::deliverNotePair(QmdItemId instrument, const InstrumentEvent &noteOn,
                                    const InstrumentEvent &noteOff)
{
    const std::lock_guard locker(m_mutex);
    m_deliveries.append({instrument, noteOn});
    m_deliveries.append({instrument, noteOff});
    return true;
}

bool EngineNetwork::deliverEvent(QmdItemId instrument, const InstrumentEvent &event)
{
    const std::lock_guard locker(m_mutex);
    m_deliveries.append({instrument, event});
    return true;
}

bool EngineNetwork::appendFiredNode(const FiredNode &)
{
    return true;
}
