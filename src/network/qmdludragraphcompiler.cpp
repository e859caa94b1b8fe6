#include "qmdludragraphcompiler.h"

#include "qmdludra.h"
#include "qmdludracontroller.h"

#include <mutex>

using QmdLudra::FromNodeKey;
using QmdLudra::TickPosKey;
using QmdLudra::ToNodeKey;

namespace {

const QString PitchIdKey = QStringLiteral("CurrentPitchId");
const QString VelocityIdKey = QStringLiteral("CurrentVelocityId");
const QString DurationIdKey = QStringLiteral("CurrentDurationId");
const QString MessageIdKey = QStringLiteral("CurrentUserMidiMessageId");
const QString HitCountKey = QStringLiteral("HitCount");
const QString EdgeUsageIdKey = QStringLiteral("CurrentEdgeUsageId");
const QString EdgeUsageUsesKey = QStringLiteral("CurrentEdgeUsageUses");
const QString ScaleIdKey = QStringLiteral("CurrentScaleId");

} // namespace

QmdLudraGraphCompiler::QmdLudraGraphCompiler(const QmdLudraController *controller)
    : m_controller(controller)
{
}

QmdLudraGraphCompiler::Result QmdLudraGraphCompiler::compile() const
{
    const std::lock_guard locker(m_controller->dataLock());
    auto graph = std::make_shared<PlaybackGraph>();
    const QmdItemIdList ids = m_controller->ids(m_controller->elementsIndex());
    graph->elements.reserve(ids.size());
    for (QmdItemId id : ids)
        graph->elements.insert(id, element(id));
    for (auto it = graph->elements.begin(); it != graph->elements.end(); ++it)
        computeTravel(it.key(), &it.value());
    Result result;
    for (QmdItemId id : m_controller->ids(m_controller->elementStatesIndex()))
        result.states.insert(id, counters(id));
    result.graph = std::move(graph);
    return result;
}

QmdLudraGraphCompiler::Result QmdLudraGraphCompiler::update(const PlaybackGraph &previous,
                                                            const QSet<QmdItemId> &changed) const
{
    const std::lock_guard locker(m_controller->dataLock());
    auto graph = std::make_shared<PlaybackGraph>(previous);
    QSet<QmdItemId> moved;
    for (QmdItemId id : changed) {
        if (m_controller->isValid(m_controller->index(id, m_controller->elementsIndex())))
            graph->elements.insert(id, element(id));
        else
            graph->elements.remove(id);
        moved.insert(id);
    }
    // An edge's time depends on the places of its nodes.
    for (auto it = graph->elements.begin(); it != graph->elements.end(); ++it) {
        if (moved.contains(it.key()) || moved.contains(it->fromNode) || moved.contains(it->toNode))
            computeTravel(it.key(), &it.value());
    }
    Result result;
    for (QmdItemId id : m_controller->ids(m_controller->elementStatesIndex())) {
        const bool known = previous.elements.contains(id) && !changed.contains(id);
        result.states.insert(id, known ? PlaybackCounters::Values() : counters(id));
    }
    result.graph = std::move(graph);
    return result;
}

PlaybackGraph::Element QmdLudraGraphCompiler::element(QmdItemId id) const
{
    const QmdIndex record = m_controller->index(id, m_controller->elementsIndex());
    const auto value = [&](const QString &key) {
        return m_controller->data(m_controller->index(key, record));
    };
    PlaybackGraph::Element element;
    element.fromNode = value(FromNodeKey).toUInt();
    element.toNode = value(ToNodeKey).toUInt();
    element.wormhole = value(QStringLiteral("IsWormhole")).toBool();
    element.pitches = PlaybackGraph::pitchSteps(value(QStringLiteral("PitchList")).toString());
    element.velocities =
        PlaybackGraph::velocitySteps(value(QStringLiteral("VelocityList")).toString());
    element.durations = PlaybackGraph::durations(value(QStringLiteral("DurationList")).toString());
    element.userMessages =
        PlaybackGraph::userMessages(value(QStringLiteral("UserMidiMessageList")).toString());
    const QString usage = value(QmdLudra::ArcUsageListKey).toString();
    element.hasUsage = !usage.isEmpty();
    if (element.hasUsage)
        element.usage = PlaybackGraph::usage(usage);
    element.signalling = value(QStringLiteral("SignallingMethod")).toInt();
    element.dontPlayNote = value(QStringLiteral("DontPlayNote")).toBool();
    element.doInstrumentChange = value(QStringLiteral("DoInstrumentChange")).toBool();
    element.instrument = value(QStringLiteral("Instrument")).toUInt();
    element.initialPitch =
        PlaybackGraph::noteNumber(value(QStringLiteral("InitialPitch")).toString());
    element.initialVelocity = quint8(value(QStringLiteral("InitialVelocity")).toInt());
    element.initialDuration =
        PlaybackGraph::durationTicks(value(QStringLiteral("InitialDuration")).toDouble());
    element.initialInstrument = value(QStringLiteral("InitialInstrument")).toUInt();
    return element;
}

void QmdLudraGraphCompiler::computeTravel(QmdItemId id, PlaybackGraph::Element *element) const
{
    const QmdIndex elements = m_controller->elementsIndex();
    const QmdIndex record = m_controller->index(id, elements);
    const QmdIndex from = m_controller->index(element->fromNode, elements);
    const QmdIndex to = m_controller->index(element->toNode, elements);
    element->travelKnown = false;
    element->travelTicks = 0;
    if (!m_controller->isValid(from) || !m_controller->isValid(to))
        return;
    const auto position = [&](const QmdIndex &node) {
        return m_controller->data(m_controller->index(TickPosKey, node)).value<QmdLudra::TickPos>();
    };
    const int path =
        m_controller->data(m_controller->index(QStringLiteral("Path"), record)).toInt();
    bool ok = false;
    const qint64 length = QmdLudra::edgeLength(path, position(from), position(to), &ok);
    element->travelKnown = ok;
    element->travelTicks = ok ? length : 0;
}

PlaybackCounters::Values QmdLudraGraphCompiler::counters(QmdItemId id) const
{
    const QmdIndex state = m_controller->index(id, m_controller->elementStatesIndex());
    const auto value = [&](const QString &key) {
        return m_controller->data(m_controller->index(key, state)).toInt();
    };
    PlaybackCounters::Values values;
    values.pitchId = value(PitchIdKey);
    values.velocityId = value(VelocityIdKey);
    values.durationId = value(DurationIdKey);
    values.userMidiMessageId = value(MessageIdKey);
    values.hitCount = value(HitCountKey);
    values.edgeUsageId = value(EdgeUsageIdKey);
    values.edgeUsageUses = value(EdgeUsageUsesKey);
    values.scaleId = value(ScaleIdKey);
    return values;
}

QHash<QString, QVariant> QmdLudraGraphCompiler::stateValues(const PlaybackCounters::Values &values,
                                                            quint8 changes)
{
    QHash<QString, QVariant> record;
    if (changes & PlaybackCounters::Lists) {
        record.insert(PitchIdKey, values.pitchId);
        record.insert(VelocityIdKey, values.velocityId);
        record.insert(DurationIdKey, values.durationId);
        record.insert(MessageIdKey, values.userMidiMessageId);
        record.insert(HitCountKey, values.hitCount);
    }
    if (changes & PlaybackCounters::EdgeUsage) {
        record.insert(EdgeUsageIdKey, uint(values.edgeUsageId));
        record.insert(EdgeUsageUsesKey, values.edgeUsageUses);
    }
    if (changes & PlaybackCounters::Scale)
        record.insert(ScaleIdKey, values.scaleId);
    return record;
}
