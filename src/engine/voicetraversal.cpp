#include "voicetraversal.h"

#include "eventsink.h"
#include "firednode.h"
#include "instrumentevent.h"
#include "playbackcore.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

constexpr qint64 TicksPerPrincipal = 665280;

// The entry of a list at the counter's place; when there is no such entry,
// the counter starts the list over at 0. Null when the list is empty.
template <class T> const T *selectEntry(const QList<T> &entries, int *id)
{
    if (entries.isEmpty())
        return nullptr;
    if (*id < 0 || *id >= entries.size())
        *id = 0;
    return &entries.at(*id);
}

// Rounds to the nearest tick, halves away from zero, within 0..max;
// anything that is not a number is 0.
qint64 clampedTicks(double ticks, double max)
{
    if (!(ticks > 0))
        return 0;
    return std::llround(std::min(ticks, max));
}

// Rounds to the nearest tick, halves away from zero, with the sign kept.
qint64 signedTicks(double ticks, double max)
{
    return ticks < 0 ? -clampedTicks(-ticks, max) : clampedTicks(ticks, max);
}

// Relative entries add any integer to a pitch or velocity: the sum is taken
// wide, then clamped.
quint8 clampMidi(qint64 value)
{
    return quint8(std::clamp<qint64>(value, 0, 127));
}

// A counter one further. Past the largest int it wraps to the negative,
// which the next read takes as the start of the list.
int nextCount(int value)
{
    return int(quint32(value) + 1u);
}

// The usage field at index, or an empty one past the end.
PlaybackGraph::Usage usageAt(const QList<PlaybackGraph::Usage> &fields, int index)
{
    if (index < 0 || index >= fields.size())
        return {};
    return fields.at(index);
}

} // namespace

VoiceTraversal::VoiceTraversal(QmdItemId groupId, PlaybackCore *core)
    : m_groupId(groupId), m_core(core)
{
    for (quint32 id = 1; id < PoolBound; ++id)
        m_free.insert(new Voice(id));
}

VoiceTraversal::~VoiceTraversal()
{
    qDeleteAll(m_free);
    qDeleteAll(m_active);
}

void VoiceTraversal::reset(qint64 tick, quint32 seed)
{
    {
        const std::lock_guard locker(m_poolMutex);
        m_free.unite(m_active);
        m_active.clear();
        m_waiting.clear();
    }
    const std::lock_guard core(m_core->mutex());
    m_random.seed(seed);
    Voice *voice = takeFreeVoice();
    VoiceTravel &travel = voice->travel;
    travel.edge = m_groupId;
    travel.arrivalTick = travel.departureTick = tick;
    if (const Element *group = m_core->graph().element(m_groupId)) {
        travel.pitch = group->initialPitch;
        travel.velocity = group->initialVelocity;
        travel.duration = group->initialDuration;
        travel.instrument = group->initialInstrument;
    }
}

QList<Voice *> VoiceTraversal::activeVoices() const
{
    const std::lock_guard locker(m_poolMutex);
    return m_active.values();
}

bool VoiceTraversal::hasActiveVoices() const
{
    const std::lock_guard locker(m_poolMutex);
    return !m_active.isEmpty();
}

Voice *VoiceTraversal::takeFreeVoice()
{
    const std::lock_guard locker(m_poolMutex);
    if (m_free.isEmpty())
        return nullptr;
    // The lowest free id, so that a run takes the same voices every time.
    const auto lowest = std::min_element(
        m_free.begin(), m_free.end(), [](const Voice *a, const Voice *b) { return a->id < b->id; });
    Voice *voice = *lowest;
    m_free.erase(lowest);
    voice->travel = VoiceTravel();
    m_active.insert(voice);
    return voice;
}

void VoiceTraversal::returnVoice(Voice *voice)
{
    const std::lock_guard locker(m_poolMutex);
    m_active.remove(voice);
    m_waiting.remove(voice);
    m_free.insert(voice);
}

bool VoiceTraversal::hasFreeVoice() const
{
    const std::lock_guard locker(m_poolMutex);
    return !m_free.isEmpty();
}

int VoiceTraversal::processDue(qint64 horizon)
{
    int fired = 0;
    qint64 previousTick = NoArrival;
    int roundsAtTick = 0;
    for (;;) {
        // The next round: every voice due at the earliest tick, by id.
        QList<Voice *> round;
        qint64 tick = NoArrival;
        {
            const std::lock_guard locker(m_poolMutex);
            for (Voice *voice : std::as_const(m_active)) {
                const qint64 arrival = voice->travel.arrivalTick;
                if (arrival > horizon || arrival > tick || m_waiting.contains(voice))
                    continue;
                if (arrival < tick) {
                    round.clear();
                    tick = arrival;
                }
                round.append(voice);
            }
        }
        if (round.isEmpty())
            return fired;
        roundsAtTick = tick == previousTick ? roundsAtTick + 1 : 0;
        previousTick = tick;
        if (roundsAtTick >= MaxRoundsPerTick) {
            const std::lock_guard locker(m_poolMutex);
            for (const Voice *voice : std::as_const(round))
                m_waiting.insert(voice);
            continue;
        }
        std::sort(round.begin(), round.end(),
                  [](const Voice *a, const Voice *b) { return a->id < b->id; });
        const std::lock_guard core(m_core->mutex());
        m_graph = &m_core->graph();
        m_counters = &m_core->counters();
        for (Voice *voice : std::as_const(round)) {
            if (fire(voice)) {
                ++fired;
            } else {
                const std::lock_guard locker(m_poolMutex);
                m_waiting.insert(voice);
            }
        }
    }
}

qint64 VoiceTraversal::nextArrival() const
{
    const std::lock_guard locker(m_poolMutex);
    qint64 next = NoArrival;
    for (const Voice *voice : m_active) {
        if (!m_waiting.contains(voice))
            next = std::min(next, voice->travel.arrivalTick);
    }
    return next;
}

bool VoiceTraversal::fire(Voice *voice)
{
    const Element *edge = m_graph->element(voice->travel.edge);
    const QmdItemId nodeId = edge ? edge->toNode : 0;
    const Element *node = m_graph->element(nodeId);
    if (!node)
        return false;

    const Choice choice = chooseEdges(nodeId, *node);
    VoiceTravel &travel = voice->travel;
    if (node->doInstrumentChange)
        travel.instrument = node->instrument;
    if (m_counters->find(nodeId))
        playLists(nodeId, *node, choice.primary, &travel);
    EventSink *sink = m_core->sink();
    if (!node->dontPlayNote)
        sink->deliverNotePair(
            travel.instrument,
            InstrumentEvent::noteOn(travel.arrivalTick, travel.pitch, travel.velocity),
            InstrumentEvent::noteOff(travel.arrivalTick + travel.duration, travel.pitch, 0));
    FiredNode record;
    record.didNotPlay = node->dontPlayNote;
    record.arrivalTick = travel.arrivalTick;
    record.voiceGroup = m_groupId;
    record.voice = voice->id;
    record.node = nodeId;
    record.instrument = travel.instrument;
    record.pitch = travel.pitch;
    record.velocity = travel.velocity;
    record.duration = travel.duration;
    sink->appendFiredNode(record);

    const VoiceTravel arrived = travel;
    returnVoice(voice);
    if (!spawn(choice.primary, arrived))
        return true;
    for (QmdItemId further : choice.further) {
        if (!spawn(further, arrived))
            break;
    }
    return true;
}

void VoiceTraversal::playLists(QmdItemId nodeId, const Element &node, QmdItemId primaryEdge,
                               VoiceTravel *travel)
{
    PlaybackCounters::Values &counters = *m_counters->find(nodeId);
    if (const PlaybackGraph::Step *pitch = selectEntry(node.pitches, &counters.pitchId))
        travel->pitch = clampMidi(pitch->relative ? travel->pitch + pitch->value : pitch->value);
    if (const PlaybackGraph::Step *velocity = selectEntry(node.velocities, &counters.velocityId))
        travel->velocity =
            clampMidi(velocity->relative ? travel->velocity + velocity->value : velocity->value);
    if (const PlaybackGraph::Duration *duration = selectEntry(node.durations, &counters.durationId))
        travel->duration = nextDuration(*duration, primaryEdge, travel->duration);
    if (const QByteArray *message = selectEntry(node.userMessages, &counters.userMidiMessageId))
        m_core->sink()->deliverEvent(travel->instrument,
                                     InstrumentEvent::userMessage(travel->arrivalTick, *message));

    // Counters run on without bound; an id past its list's end starts the
    // list over when it is next read.
    counters.pitchId = nextCount(counters.pitchId);
    counters.velocityId = nextCount(counters.velocityId);
    counters.durationId = nextCount(counters.durationId);
    counters.userMidiMessageId = nextCount(counters.userMidiMessageId);
    counters.hitCount = nextCount(counters.hitCount);
    markChanged(nodeId, PlaybackCounters::Lists);
}

qint64 VoiceTraversal::nextDuration(const PlaybackGraph::Duration &entry, QmdItemId primaryEdge,
                                    qint64 previous) const
{
    double unit = TicksPerPrincipal;
    double factor = 1.0;
    bool unitFromEdge = false;
    if (entry.percent) {
        // A percentage is a share of the time to the next node.
        if (qint64 ticks = 0; primaryEdge && travelTime(primaryEdge, &ticks)) {
            unit = double(ticks);
            unitFromEdge = true;
        }
        factor = 0.01;
    }
    const double max = MaxDuration;
    double ticks = 0;
    switch (entry.op) {
    case PlaybackGraph::Duration::Multiply:
    case PlaybackGraph::Duration::Divide:
        if (unitFromEdge)
            return previous;
        ticks = entry.op == PlaybackGraph::Duration::Multiply ? previous * entry.value
                                                              : previous / entry.value;
        break;
    case PlaybackGraph::Duration::Add:
        ticks = double(previous + signedTicks(entry.value * factor * unit, max));
        break;
    case PlaybackGraph::Duration::Set:
        ticks = entry.value * factor * unit;
        break;
    }
    return clampedTicks(ticks, max);
}

VoiceTraversal::Choice VoiceTraversal::chooseEdges(QmdItemId nodeId, const Element &node)
{
    if (!node.hasUsage || !m_counters->find(nodeId))
        return {};
    switch (node.signalling) {
    case 0:
        return chooseSequential(nodeId, node);
    case 1:
        return chooseParallel(node);
    case 2:
        return chooseRandom(node);
    default:
        return {};
    }
}

VoiceTraversal::Choice VoiceTraversal::chooseSequential(QmdItemId nodeId, const Element &node)
{
    PlaybackCounters::Values &counters = *m_counters->find(nodeId);
    int id = counters.edgeUsageId;
    int uses = counters.edgeUsageUses;
    PlaybackGraph::Usage entry = usageAt(node.usage, id);
    if (entry.empty) {
        id = uses = 0;
        entry = usageAt(node.usage, id);
        if (entry.empty)
            return {};
    }
    // A count of 0 keeps the node on its entry for ever.
    if (entry.count != 0) {
        if (entry.count <= uses) {
            ++id;
            uses = 0;
            entry = usageAt(node.usage, id);
            if (entry.empty) {
                id = 0;
                entry = usageAt(node.usage, id);
                if (entry.empty)
                    return {};
            }
        }
        ++uses;
    }
    if (!hasFreeVoice())
        return {};
    counters.edgeUsageId = id;
    counters.edgeUsageUses = uses;
    markChanged(nodeId, PlaybackCounters::EdgeUsage);
    return {entry.edge, {}};
}

VoiceTraversal::Choice VoiceTraversal::chooseParallel(const Element &node)
{
    Choice choice;
    qint64 primaryTime = 0;
    for (const PlaybackGraph::Usage &entry : node.usage) {
        if (!hasFreeVoice())
            break;
        qint64 time = 0;
        if (!travelTime(entry.edge, &time))
            continue;
        choice.further.append(entry.edge);
        if (!choice.primary || time > primaryTime) {
            choice.primary = entry.edge;
            primaryTime = time;
        }
    }
    // The arriving voice continues on the longest edge; every other edge
    // gets a voice of its own.
    choice.further.removeAll(choice.primary);
    return choice;
}

VoiceTraversal::Choice VoiceTraversal::chooseRandom(const Element &node)
{
    QList<PlaybackGraph::Usage> entries;
    for (const PlaybackGraph::Usage &entry : node.usage) {
        if (entry.empty)
            continue;
        if (entry.count == 0)
            return {entry.edge, {}};
        entries.append(entry);
    }
    if (entries.isEmpty())
        return {};
    qint64 total = 0;
    for (const PlaybackGraph::Usage &entry : std::as_const(entries))
        total += entry.count;
    const int drawn = m_random.between(1, int(std::clamp<qint64>(total, INT_MIN, INT_MAX)));
    qint64 sum = 0;
    for (const PlaybackGraph::Usage &entry : std::as_const(entries)) {
        sum += entry.count;
        if (sum >= drawn)
            return {entry.edge, {}};
    }
    return {};
}

void VoiceTraversal::markChanged(QmdItemId element, PlaybackCounters::Change change)
{
    if (m_counters->markChanged(element, change))
        m_core->sink()->countersChanged();
}

bool VoiceTraversal::travelTime(QmdItemId edge, qint64 *ticks) const
{
    const Element *element = m_graph->element(edge);
    if (!element || !element->travelKnown)
        return false;
    *ticks = element->travelTicks;
    return true;
}

bool VoiceTraversal::legTime(QmdItemId edge, qint64 *ticks) const
{
    // A wormhole carries a voice to its far node at once, and the start of a
    // run is at the group's own node.
    const Element *element = m_graph->element(edge);
    if (edge == m_groupId || (element && element->wormhole)) {
        *ticks = 0;
        return true;
    }
    return travelTime(edge, ticks);
}

bool VoiceTraversal::spawn(QmdItemId edge, const VoiceTravel &from)
{
    if (!edge)
        return false;
    qint64 travelTicks = 0;
    if (!legTime(edge, &travelTicks))
        return false;
    PlaybackCounters::Values *counters = m_counters->find(edge);
    if (!counters)
        return false;
    Voice *voice = takeFreeVoice();
    if (!voice)
        return false;
    voice->travel = from;
    voice->travel.edge = edge;
    voice->travel.departureTick = from.arrivalTick;
    voice->travel.arrivalTick = from.arrivalTick + travelTicks;
    counters->scaleId = nextCount(counters->scaleId);
    markChanged(edge, PlaybackCounters::Scale);
    return true;
}

void VoiceTraversal::retime()
{
    {
        const std::lock_guard locker(m_poolMutex);
        m_waiting.clear();
    }
    const std::lock_guard core(m_core->mutex());
    m_graph = &m_core->graph();
    for (Voice *voice : activeVoices()) {
        qint64 travelTicks = 0;
        if (legTime(voice->travel.edge, &travelTicks))
            voice->travel.arrivalTick = voice->travel.departureTick + travelTicks;
        else
            returnVoice(voice);
    }
}
