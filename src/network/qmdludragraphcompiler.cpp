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

// What an element record is read for, in the order of ElementKeys: each
// record is read in one call, whatever its size.
enum ElementField {
    FromNode,
    ToNode,
    IsWormhole,
    PitchList,
    VelocityList,
    DurationList,
    UserMidiMessageList,
    ArcUsageList,
    SignallingMethod,
    DontPlayNote,
    DoInstrumentChange,
    Instrument,
    InitialPitch,
    InitialVelocity,
    InitialDuration,
    InitialInstrument,
    TickPos,
    Path
};
const QStringList ElementKeys{FromNodeKey,
                              ToNodeKey,
                              QStringLiteral("IsWormhole"),
                              QStringLiteral("PitchList"),
                              QStringLiteral("VelocityList"),
                              QStringLiteral("DurationList"),
                              QStringLiteral("UserMidiMessageList"),
                              QmdLudra::ArcUsageListKey,
                              QStringLiteral("SignallingMethod"),
                              QStringLiteral("DontPlayNote"),
                              QStringLiteral("DoInstrumentChange"),
                              QStringLiteral("Instrument"),
                              QStringLiteral("InitialPitch"),
                              QStringLiteral("InitialVelocity"),
                              QStringLiteral("InitialDuration"),
                              QStringLiteral("InitialInstrument"),
                              TickPosKey,
                              QStringLiteral("Path")};
const QStringList CounterKeys{PitchIdKey,  VelocityIdKey,  DurationIdKey,    MessageIdKey,
                              HitCountKey, EdgeUsageIdKey, EdgeUsageUsesKey, ScaleIdKey};

} // namespace

QmdLudraGraphCompiler::QmdLudraGraphCompiler(const QmdLudraController *controller)
    : m_controller(controller)
{
}

QmdLudraGraphCompiler::Result QmdLudraGraphCompiler::compile() const
{
    const std::lock_guard locker(m_controller->dataLock());
    auto graph = std::make_shared<PlaybackGraph>();
    const QmdIndexList records = m_controller->children(m_controller->elementsIndex());
    graph->elements.reserve(records.size());
    // Where each element stands and the path it takes, for the travel
    // times: every element is read once.
    QHash<QmdItemId, Place> places;
    places.reserve(records.size());
    for (const QmdIndex &index : records) {
        const QVariantList record = m_controller->values(index, ElementKeys);
        graph->elements.emplace(index.id(), element(record));
        places.insert(index.id(), placeOf(record));
    }
    for (auto it = graph->elements.begin(); it != graph->elements.end(); ++it) {
        const auto from = places.constFind(it->fromNode);
        const auto to = places.constFind(it->toNode);
        if (from != places.cend() && to != places.cend())
            setTravel(places.value(it.key()).path, from->position, to->position, &it.value());
        else
            setTravel(&it.value());
    }
    Result result;
    for (const QmdIndex &state : m_controller->children(m_controller->elementStatesIndex()))
        result.states.insert(state.id(), counters(state));
    result.graph = std::move(graph);
    return result;
}

QmdLudraGraphCompiler::Result QmdLudraGraphCompiler::update(const PlaybackGraph &previous,
                                                            const QSet<QmdItemId> &changed) const
{
    const std::lock_guard locker(m_controller->dataLock());
    auto graph = std::make_shared<PlaybackGraph>(previous);
    const QmdIndex elements = m_controller->elementsIndex();
    QSet<QmdItemId> moved;
    for (QmdItemId id : changed) {
        const QmdIndex record = m_controller->index(id, elements);
        if (m_controller->isValid(record))
            graph->elements.emplace(id, element(m_controller->values(record, ElementKeys)));
        else
            graph->elements.remove(id);
        moved.insert(id);
    }
    // An edge's time depends on the places of its nodes.
    const auto place = [&](QmdItemId id, Place *found) {
        const QmdIndex record = m_controller->index(id, elements);
        if (!m_controller->isValid(record))
            return false;
        *found = placeOf(m_controller->values(record, ElementKeys));
        return true;
    };
    for (auto it = graph->elements.begin(); it != graph->elements.end(); ++it) {
        if (!moved.contains(it.key()) && !moved.contains(it->fromNode) &&
            !moved.contains(it->toNode))
            continue;
        Place self;
        place(it.key(), &self);
        Place from;
        Place to;
        if (place(it->fromNode, &from) && place(it->toNode, &to))
            setTravel(self.path, from.position, to.position, &it.value());
        else
            setTravel(&it.value());
    }
    Result result;
    for (const QmdIndex &state : m_controller->children(m_controller->elementStatesIndex())) {
        const QmdItemId id = state.id();
        const bool known = previous.elements.contains(id) && !changed.contains(id);
        result.states.insert(id, known ? PlaybackCounters::Values() : counters(state));
    }
    result.graph = std::move(graph);
    return result;
}

PlaybackGraph::Element QmdLudraGraphCompiler::element(const QVariantList &record)
{
    const auto value = [&](ElementField field) -> const QVariant & { return record.at(field); };
    PlaybackGraph::Element element;
    element.fromNode = value(FromNode).toUInt();
    element.toNode = value(ToNode).toUInt();
    element.wormhole = value(IsWormhole).toBool();
    element.pitches = PlaybackGraph::pitchSteps(value(PitchList).toString());
    element.velocities = PlaybackGraph::velocitySteps(value(VelocityList).toString());
    element.durations = PlaybackGraph::durations(value(DurationList).toString());
    element.userMessages = PlaybackGraph::userMessages(value(UserMidiMessageList).toString());
    const QString usage = value(ArcUsageList).toString();
    element.hasUsage = !usage.isEmpty();
    if (element.hasUsage)
        element.usage = PlaybackGraph::usage(usage);
    element.signalling = value(SignallingMethod).toInt();
    element.dontPlayNote = value(DontPlayNote).toBool();
    element.doInstrumentChange = value(DoInstrumentChange).toBool();
    element.instrument = value(Instrument).toUInt();
    element.initialPitch = PlaybackGraph::noteNumber(value(InitialPitch).toString());
    element.initialVelocity = quint8(value(InitialVelocity).toInt());
    element.initialDuration = PlaybackGraph::durationTicks(value(InitialDuration).toDouble());
    element.initialInstrument = value(InitialInstrument).toUInt();
    return element;
}

QmdLudraGraphCompiler::Place QmdLudraGraphCompiler::placeOf(const QVariantList &record)
{
    return {record.at(TickPos).value<QmdLudra::TickPos>(), record.at(Path).toInt()};
}

void QmdLudraGraphCompiler::setTravel(int path, const QmdLudra::TickPos &from,
                                      const QmdLudra::TickPos &to, PlaybackGraph::Element *element)
{
    bool ok = false;
    const qint64 length = QmdLudra::edgeLength(path, from, to, &ok);
    element->travelKnown = ok;
    element->travelTicks = ok ? length : 0;
}

// Not both ends exist: no travel.
void QmdLudraGraphCompiler::setTravel(PlaybackGraph::Element *element)
{
    element->travelKnown = false;
    element->travelTicks = 0;
}

PlaybackCounters::Values QmdLudraGraphCompiler::counters(const QmdIndex &state) const
{
    const QVariantList record = m_controller->values(state, CounterKeys);
    PlaybackCounters::Values values;
    values.pitchId = record.at(0).toInt();
    values.velocityId = record.at(1).toInt();
    values.durationId = record.at(2).toInt();
    values.userMidiMessageId = record.at(3).toInt();
    values.hitCount = record.at(4).toInt();
    values.edgeUsageId = record.at(5).toInt();
    values.edgeUsageUses = record.at(6).toInt();
    values.scaleId = record.at(7).toInt();
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
