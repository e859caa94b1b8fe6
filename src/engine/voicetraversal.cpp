#include "voicetraversal.h"

#include "firednode.h"
#include "instrumentevent.h"
#include "voicehost.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

constexpr qint64 TicksPerPrincipal = 665280;

// The n-th non-empty field of a comma-separated list; when there is no such
// field, the counter starts the list over at 0. Empty when the list is.
QString selectEntry(const QString &list, int *id)
{
    const QStringList entries = list.split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (entries.isEmpty())
        return {};
    if (*id < 0 || *id >= entries.size())
        *id = 0;
    return entries.at(*id);
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

double number(const QString &text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok ? value : 0.0;
}

// Relative entries add any integer to a pitch or velocity: the sum is taken
// wide, then clamped.
int clampMidi(qint64 value)
{
    return int(std::clamp<qint64>(value, 0, 127));
}

// A counter one further. Past the largest int it wraps to the negative,
// which the next read takes as the start of the list.
int nextCount(int value)
{
    return int(quint32(value) + 1u);
}

bool isRelative(const QString &entry)
{
    return entry.startsWith(QLatin1Char('+')) || entry.startsWith(QLatin1Char('-'));
}

struct UsageEntry
{
    bool empty = true;
    QmdItemId edge = 0;
    int count = 0;
};

// "edge=count"; the field at index, or an empty entry past the end.
UsageEntry usageEntry(const QStringList &fields, int index)
{
    if (index < 0 || index >= fields.size() || fields.at(index).isEmpty())
        return {};
    const QString &field = fields.at(index);
    const qsizetype equals = field.indexOf(QLatin1Char('='));
    UsageEntry entry;
    entry.empty = false;
    entry.edge = field.left(equals).toUInt();
    entry.count = equals < 0 ? 0 : field.mid(equals + 1).toInt();
    return entry;
}

QByteArray userMessageBytes(const QString &entry)
{
    QByteArray bytes;
    for (const QString &token : entry.split(QLatin1Char(' '))) {
        bool ok = false;
        const uint value = token.toUInt(&ok, 16);
        bytes.append(char(ok ? value & 0xFF : 0));
    }
    return bytes;
}

const QString ToNodeKey = QStringLiteral("ToNode");

} // namespace

VoiceTraversal::VoiceTraversal(QmdItemId groupId, VoiceHost *host)
    : m_groupId(groupId), m_host(host)
{
    for (quint32 id = 1; id < PoolBound; ++id)
        m_free.insert(new Voice(id));
}

VoiceTraversal::~VoiceTraversal()
{
    qDeleteAll(m_free);
    qDeleteAll(m_active);
}

quint8 VoiceTraversal::noteNumber(const QString &name)
{
    qsizetype at = 0;
    while (at < name.size() && name.at(at) != QLatin1Char('-') &&
           !(name.at(at) >= QLatin1Char('0') && name.at(at) <= QLatin1Char('8')))
        ++at;
    if (at < 1 || at >= name.size())
        return 0;
    qsizetype end = at + 1;
    while (end < name.size() && name.at(end).isDigit())
        ++end;
    const int octave = name.mid(at, end - at).toInt();
    int semitone = 0;
    switch (name.at(0).unicode()) {
    case 'A':
        semitone = 9;
        break;
    case 'B':
        semitone = 11;
        break;
    case 'D':
        semitone = 2;
        break;
    case 'E':
        semitone = 4;
        break;
    case 'F':
        semitone = 5;
        break;
    case 'G':
        semitone = 7;
        break;
    default:
        break;
    }
    if (name.size() > 1 && name.at(1) == QLatin1Char('#'))
        ++semitone;
    // Any octave a text can name: the arithmetic is wide enough, and the
    // note number keeps its low 8 bits.
    return quint8((qint64(octave) + 2) * 12 + semitone);
}

void VoiceTraversal::reset(qint64 tick, quint32 seed)
{
    {
        const std::lock_guard locker(m_poolMutex);
        m_free.unite(m_active);
        m_active.clear();
        m_waiting.clear();
    }
    m_random.seed(seed);
    Voice *voice = takeFreeVoice();
    VoiceTravel &travel = voice->travel;
    travel.edge = m_groupId;
    travel.arrivalTick = travel.departureTick = tick;
    travel.pitch =
        noteNumber(m_host->elementValue(m_groupId, QStringLiteral("InitialPitch")).toString());
    travel.velocity =
        quint8(m_host->elementValue(m_groupId, QStringLiteral("InitialVelocity")).toInt());
    const double principals =
        m_host->elementValue(m_groupId, QStringLiteral("InitialDuration")).toDouble();
    travel.duration = clampedTicks(principals * TicksPerPrincipal, MaxDuration);
    travel.instrument =
        m_host->elementValue(m_groupId, QStringLiteral("InitialInstrument")).toUInt();
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
        for (Voice *voice : std::as_const(round)) {
            if (process(voice, tick)) {
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

bool VoiceTraversal::process(Voice *voice, qint64 now)
{
    if (quint64(voice->travel.arrivalTick) > quint64(now))
        return false;
    const QmdItemId node = m_host->elementValue(voice->travel.edge, ToNodeKey).toUInt();
    if (!m_host->hasElement(node))
        return false;
    const QString userMessages =
        m_host->elementValue(node, QStringLiteral("UserMidiMessageList")).toString();
    const bool dontPlayNote = m_host->elementValue(node, QStringLiteral("DontPlayNote")).toBool();

    const std::lock_guard engine(m_host->engineMutex());
    const Choice choice = chooseEdges(node);
    VoiceTravel &travel = voice->travel;
    if (m_host->elementValue(node, QStringLiteral("DoInstrumentChange")).toBool())
        travel.instrument = m_host->elementValue(node, QStringLiteral("Instrument")).toUInt();
    if (m_host->hasElementState(node))
        playLists(node, choice.primary, userMessages, &travel);
    if (!dontPlayNote)
        m_host->deliverNotePair(
            travel.instrument,
            InstrumentEvent::noteOn(travel.arrivalTick, travel.pitch, travel.velocity),
            InstrumentEvent::noteOff(travel.arrivalTick + travel.duration, travel.pitch, 0));
    FiredNode record;
    record.didNotPlay = dontPlayNote;
    record.arrivalTick = travel.arrivalTick;
    record.voiceGroup = m_groupId;
    record.voice = voice->id;
    record.node = node;
    record.instrument = travel.instrument;
    record.pitch = travel.pitch;
    record.velocity = travel.velocity;
    record.duration = travel.duration;
    m_host->appendFiredNode(record);

    const VoiceTravel arrived = travel;
    returnVoice(voice);
    if (!spawn(choice.primary, arrived))
        return true;
    for (QmdItemId edge : choice.further) {
        if (!spawn(edge, arrived))
            break;
    }
    return true;
}

void VoiceTraversal::playLists(QmdItemId node, QmdItemId primaryEdge, const QString &userMessages,
                               VoiceTravel *travel)
{
    int pitchId = m_host->elementStateValue(node, QStringLiteral("CurrentPitchId")).toInt();
    int velocityId = m_host->elementStateValue(node, QStringLiteral("CurrentVelocityId")).toInt();
    int durationId = m_host->elementStateValue(node, QStringLiteral("CurrentDurationId")).toInt();
    int messageId =
        m_host->elementStateValue(node, QStringLiteral("CurrentUserMidiMessageId")).toInt();
    const int hitCount = m_host->elementStateValue(node, QStringLiteral("HitCount")).toInt();

    const QString pitch =
        selectEntry(m_host->elementValue(node, QStringLiteral("PitchList")).toString(), &pitchId);
    if (!pitch.isEmpty())
        travel->pitch = quint8(clampMidi(isRelative(pitch) ? travel->pitch + qint64(pitch.toInt())
                                                           : noteNumber(pitch)));
    const QString velocity = selectEntry(
        m_host->elementValue(node, QStringLiteral("VelocityList")).toString(), &velocityId);
    if (!velocity.isEmpty())
        travel->velocity = quint8(clampMidi(
            isRelative(velocity) ? travel->velocity + qint64(velocity.toInt()) : velocity.toInt()));
    const QString duration = selectEntry(
        m_host->elementValue(node, QStringLiteral("DurationList")).toString(), &durationId);
    if (!duration.isEmpty())
        travel->duration = nextDuration(duration, primaryEdge, travel->duration);
    const QString message = selectEntry(userMessages, &messageId);
    if (!message.isEmpty())
        m_host->deliverEvent(
            travel->instrument,
            InstrumentEvent::userMessage(travel->arrivalTick, userMessageBytes(message)));

    // Counters run on without bound; an id past its list's end starts the
    // list over when it is next read.
    m_host->writeElementState(node,
                              {{QStringLiteral("CurrentPitchId"), nextCount(pitchId)},
                               {QStringLiteral("CurrentVelocityId"), nextCount(velocityId)},
                               {QStringLiteral("CurrentDurationId"), nextCount(durationId)},
                               {QStringLiteral("CurrentUserMidiMessageId"), nextCount(messageId)},
                               {QStringLiteral("HitCount"), nextCount(hitCount)}});
}

qint64 VoiceTraversal::nextDuration(const QString &entry, QmdItemId primaryEdge,
                                    qint64 previous) const
{
    QString text = entry;
    double unit = TicksPerPrincipal;
    double factor = 1.0;
    bool unitFromEdge = false;
    if (text.endsWith(QLatin1Char('%'))) {
        bool ok = false;
        const qint64 travelTime = primaryEdge ? m_host->travelTime(primaryEdge, &ok) : 0;
        if (ok) {
            // A percentage is a share of the time to the next node.
            unit = double(travelTime);
            unitFromEdge = true;
        }
        text.chop(1);
        factor = 0.01;
    }
    const double max = MaxDuration;
    const QChar sign = text.isEmpty() ? QChar() : text.at(0);
    double ticks = 0;
    if (sign == QLatin1Char('*') || sign == QLatin1Char('/')) {
        if (unitFromEdge)
            return previous;
        const double operand = number(text.mid(1));
        ticks = sign == QLatin1Char('*') ? previous * operand : previous / operand;
    } else if (sign == QLatin1Char('+') || sign == QLatin1Char('-')) {
        ticks = double(previous + signedTicks(number(text) * factor * unit, max));
    } else {
        ticks = number(text) * factor * unit;
    }
    return clampedTicks(ticks, max);
}

VoiceTraversal::Choice VoiceTraversal::chooseEdges(QmdItemId node)
{
    const QString list = m_host->elementValue(node, QStringLiteral("ArcUsageList")).toString();
    if (list.isEmpty() || !m_host->hasElementState(node))
        return {};
    const QStringList fields = list.split(QLatin1Char(','));
    switch (m_host->elementValue(node, QStringLiteral("SignallingMethod")).toInt()) {
    case 0:
        return chooseSequential(node, fields);
    case 1:
        return chooseParallel(fields);
    case 2:
        return chooseRandom(fields);
    default:
        return {};
    }
}

VoiceTraversal::Choice VoiceTraversal::chooseSequential(QmdItemId node, const QStringList &fields)
{
    int id = m_host->elementStateValue(node, QStringLiteral("CurrentEdgeUsageId")).toInt();
    int uses = m_host->elementStateValue(node, QStringLiteral("CurrentEdgeUsageUses")).toInt();
    UsageEntry entry = usageEntry(fields, id);
    if (entry.empty) {
        id = uses = 0;
        entry = usageEntry(fields, id);
        if (entry.empty)
            return {};
    }
    // A count of 0 keeps the node on its entry for ever.
    if (entry.count != 0) {
        if (entry.count <= uses) {
            ++id;
            uses = 0;
            entry = usageEntry(fields, id);
            if (entry.empty) {
                id = 0;
                entry = usageEntry(fields, id);
                if (entry.empty)
                    return {};
            }
        }
        ++uses;
    }
    if (!hasFreeVoice())
        return {};
    m_host->writeElementState(node, {{QStringLiteral("CurrentEdgeUsageId"), uint(id)},
                                     {QStringLiteral("CurrentEdgeUsageUses"), uses}});
    return {entry.edge, {}};
}

VoiceTraversal::Choice VoiceTraversal::chooseParallel(const QStringList &fields)
{
    Choice choice;
    qint64 primaryTime = 0;
    for (int i = 0; i < fields.size(); ++i) {
        if (!hasFreeVoice())
            break;
        const UsageEntry entry = usageEntry(fields, i);
        bool ok = false;
        const qint64 time = m_host->travelTime(entry.edge, &ok);
        if (!ok)
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

VoiceTraversal::Choice VoiceTraversal::chooseRandom(const QStringList &fields)
{
    QList<UsageEntry> entries;
    for (int i = 0; i < fields.size(); ++i) {
        const UsageEntry entry = usageEntry(fields, i);
        if (entry.empty)
            continue;
        if (entry.count == 0)
            return {entry.edge, {}};
        entries.append(entry);
    }
    if (entries.isEmpty())
        return {};
    qint64 total = 0;
    for (const UsageEntry &entry : entries)
        total += entry.count;
    const int drawn = m_random.between(1, int(std::clamp<qint64>(total, INT_MIN, INT_MAX)));
    qint64 sum = 0;
    for (const UsageEntry &entry : entries) {
        sum += entry.count;
        if (sum >= drawn)
            return {entry.edge, {}};
    }
    return {};
}

qint64 VoiceTraversal::legTime(QmdItemId edge, bool *ok) const
{
    // A wormhole carries a voice to its far node at once, and the start of a
    // run is at the group's own node.
    if (edge == m_groupId || m_host->elementValue(edge, QStringLiteral("IsWormhole")).toBool()) {
        *ok = true;
        return 0;
    }
    return m_host->travelTime(edge, ok);
}

bool VoiceTraversal::spawn(QmdItemId edge, const VoiceTravel &from)
{
    if (!edge)
        return false;
    bool ok = false;
    const qint64 travelTime = legTime(edge, &ok);
    if (!ok || !m_host->hasElementState(edge))
        return false;
    Voice *voice = takeFreeVoice();
    if (!voice)
        return false;
    voice->travel = from;
    voice->travel.edge = edge;
    voice->travel.departureTick = from.arrivalTick;
    voice->travel.arrivalTick = from.arrivalTick + travelTime;
    const int scaleId = m_host->elementStateValue(edge, QStringLiteral("CurrentScaleId")).toInt();
    m_host->writeElementState(edge, {{QStringLiteral("CurrentScaleId"), nextCount(scaleId)}});
    return true;
}

void VoiceTraversal::retime()
{
    {
        const std::lock_guard locker(m_poolMutex);
        m_waiting.clear();
    }
    for (Voice *voice : activeVoices()) {
        bool ok = false;
        const qint64 travelTime = legTime(voice->travel.edge, &ok);
        if (ok)
            voice->travel.arrivalTick = voice->travel.departureTick + travelTime;
        else
            returnVoice(voice);
    }
}
