#include "testnetwork.h"

namespace {

const QString ElementsKey = QStringLiteral("Elements");
const QString StatesKey = QStringLiteral("ElementStates");

} // namespace

TestNetwork::TestNetwork()
{
    m_model.setTypes(QHash<QmdIndex, Qmd::ContainerType>{{QmdIndex(), Qmd::StrDict}});
    m_model.setTypes(
        QHash<QString, Qmd::ContainerType>{{ElementsKey, Qmd::IntDict}, {StatesKey, Qmd::IntDict}});
}

void TestNetwork::addElement(QmdItemId id, uint type, const QHash<QString, QVariant> &fields)
{
    const std::lock_guard locker(m_modelMutex);
    const QmdIndex elements = m_model.index(ElementsKey);
    m_model.setTypes(QHash<QmdItemId, Qmd::ContainerType>{{id, Qmd::StrDict}}, elements);
    QHash<QString, QVariant> values = fields;
    values.insert(QStringLiteral("Type"), type);
    m_model.setData(values, m_model.index(id, elements));
    if (type != QmdLudra::Edge && type != QmdLudra::Node)
        return;
    const QmdIndex states = m_model.index(StatesKey);
    m_model.setTypes(QHash<QmdItemId, Qmd::ContainerType>{{id, Qmd::StrDict}}, states);
    m_model.setData(QmdLudra::initialElementState(type), m_model.index(id, states));
}

void TestNetwork::addNode(QmdItemId id, qint64 principalsX, qint64 principalsY,
                          const QHash<QString, QVariant> &fields)
{
    QHash<QString, QVariant> values{
        {QStringLiteral("PitchList"), QStringLiteral("C3")},
        {QStringLiteral("VelocityList"), QStringLiteral("64")},
        {QStringLiteral("DurationList"), QStringLiteral("100%")},
        {QStringLiteral("SignallingMethod"), 0},
        {QStringLiteral("TickPos"),
         QVariant::fromValue(QmdLudra::TickPos{principalsX * QmdLudra::TicksPerPrincipal,
                                               principalsY * QmdLudra::TicksPerPrincipal})}};
    values.insert(fields);
    addElement(id, QmdLudra::Node, values);
}

void TestNetwork::addEdge(QmdItemId id, QmdItemId from, QmdItemId to,
                          const QHash<QString, QVariant> &fields)
{
    QHash<QString, QVariant> values{{QStringLiteral("FromNode"), from},
                                    {QStringLiteral("ToNode"), to},
                                    {QStringLiteral("Path"), 0}};
    values.insert(fields);
    addElement(id, QmdLudra::Edge, values);
}

void TestNetwork::addVoiceGroup(QmdItemId id, QmdItemId toNode,
                                const QHash<QString, QVariant> &fields)
{
    QHash<QString, QVariant> values{{QStringLiteral("InitialPitch"), QStringLiteral("C3")},
                                    {QStringLiteral("InitialVelocity"), QStringLiteral("64")},
                                    {QStringLiteral("InitialDuration"), QStringLiteral("1.0")},
                                    {QStringLiteral("InitialInstrument"), 1u},
                                    {QStringLiteral("ToNode"), toNode}};
    values.insert(fields);
    addElement(id, QmdLudra::VoiceGroup, values);
}

void TestNetwork::setElement(QmdItemId id, const QHash<QString, QVariant> &fields)
{
    const std::lock_guard locker(m_modelMutex);
    m_model.setData(fields, element(id));
}

QVariant TestNetwork::state(QmdItemId id, const QString &key) const
{
    return elementStateValue(id, key);
}

QList<TestNetwork::Delivery> TestNetwork::deliveries() const
{
    const std::lock_guard locker(m_recordMutex);
    return m_deliveries;
}

QList<int> TestNetwork::notesOn() const
{
    QList<int> notes;
    // A const copy: iterating a non-const one would detach it while it still
    // shares its data with the list the voice threads append to.
    const QList<Delivery> delivered = deliveries();
    for (const Delivery &delivery : delivered) {
        if (delivery.event.type == InstrumentEvent::NoteOn)
            notes.append(delivery.event.data1);
    }
    return notes;
}

QList<FiredNode> TestNetwork::firedNodes() const
{
    const std::lock_guard locker(m_recordMutex);
    return m_firedNodes;
}

QmdIndex TestNetwork::element(QmdItemId id) const
{
    return m_model.index(id, m_model.index(ElementsKey));
}

QVariant TestNetwork::elementValue(QmdItemId id, const QString &key) const
{
    const std::lock_guard locker(m_modelMutex);
    return m_model.data(m_model.index(key, element(id)));
}

bool TestNetwork::hasElement(QmdItemId id) const
{
    const std::lock_guard locker(m_modelMutex);
    return m_model.isValid(element(id));
}

bool TestNetwork::hasElementState(QmdItemId id) const
{
    const std::lock_guard locker(m_modelMutex);
    return m_model.isValid(m_model.index(id, m_model.index(StatesKey)));
}

QVariant TestNetwork::elementStateValue(QmdItemId id, const QString &key) const
{
    const std::lock_guard locker(m_modelMutex);
    return m_model.data(m_model.index(key, m_model.index(id, m_model.index(StatesKey))));
}

void TestNetwork::writeElementState(QmdItemId id, const QHash<QString, QVariant> &values)
{
    const std::lock_guard locker(m_modelMutex);
    m_model.setData(values, m_model.index(id, m_model.index(StatesKey)));
}

qint64 TestNetwork::travelTime(QmdItemId edge, bool *ok) const
{
    const std::lock_guard locker(m_modelMutex);
    const QmdIndex from = element(elementValue(edge, QStringLiteral("FromNode")).toUInt());
    const QmdIndex to = element(elementValue(edge, QStringLiteral("ToNode")).toUInt());
    *ok = m_model.isValid(from) && m_model.isValid(to);
    if (!*ok)
        return 0;
    const auto pos = [this](const QmdIndex &node) {
        return m_model.data(m_model.index(QStringLiteral("TickPos"), node))
            .value<QmdLudra::TickPos>();
    };
    return QmdLudra::edgeLength(elementValue(edge, QStringLiteral("Path")).toInt(), pos(from),
                                pos(to), ok);
}

bool TestNetwork::deliverNotePair(QmdItemId instrument, const InstrumentEvent &noteOn,
                                  const InstrumentEvent &noteOff)
{
    const std::lock_guard locker(m_recordMutex);
    m_deliveries.append({instrument, noteOn});
    m_deliveries.append({instrument, noteOff});
    return true;
}

bool TestNetwork::deliverEvent(QmdItemId instrument, const InstrumentEvent &event)
{
    const std::lock_guard locker(m_recordMutex);
    m_deliveries.append({instrument, event});
    return true;
}

bool TestNetwork::appendFiredNode(const FiredNode &record)
{
    const std::lock_guard locker(m_recordMutex);
    m_firedNodes.append(record);
    return true;
}
