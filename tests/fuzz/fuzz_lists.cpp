// Feeds arbitrary text to the list fields a firing node reads (pitch,
// velocity, duration, user-message and edge-usage lists, the voice group's
// initial values and the node's state counters) and lets voices travel a
// small network over it. Besides crashes and sanitizer reports it checks
// that every note comes as a pair with a duration in range and that what is
// delivered encodes to well-formed MIDI.
//
// The input is lines of text: pitch list, velocity list, duration list,
// user-message list, edge-usage list, initial pitch, initial velocity,
// initial duration, signalling method, then the node's counters (pitch,
// velocity, duration, user message, hit count, usage id, usage uses)
// separated by spaces. Missing lines are empty.
#include "enginenetwork.h"
#include "midioutput.h"
#include "voicetraversal.h"

#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr QmdItemId Group = 20;
constexpr int Steps = 64;

// Names the broken rule before libFuzzer saves the input.
#define check(condition)                                                                           \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "fuzz_lists: %s does not hold\n", #condition);                    \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

// Every note is a pair with a duration in range, and on its way to a port
// it becomes MIDI whose data bytes are data bytes.
void checkDeliveries(const EngineNetwork &network)
{
    const QList<EngineNetwork::Delivery> deliveries = network.deliveries();
    QList<InstrumentEvent> events;
    for (qsizetype i = 0; i < deliveries.size(); ++i) {
        const InstrumentEvent &event = deliveries.at(i).event;
        // User messages go out as the user wrote them.
        if (event.type == InstrumentEvent::UserMessage)
            continue;
        events.append(event);
        // Notes come as pairs: the note on, then its note off.
        check(event.type == InstrumentEvent::NoteOn && i + 1 < deliveries.size());
        const InstrumentEvent &off = deliveries.at(++i).event;
        events.append(off);
        check(off.type == InstrumentEvent::NoteOff && off.data1 == event.data1);
        const qint64 duration = off.tick - event.tick;
        check(duration >= 0 && duration <= VoiceTraversal::MaxDuration);
    }
    for (const QByteArray &message : MidiOutput::encode(events, 0xFFFF)) {
        for (qsizetype i = 1; i < message.size(); ++i)
            check(quint8(message.at(i)) <= 127);
    }
    for (const FiredNode &record : network.firedNodes())
        check(record.duration >= 0 && record.duration <= VoiceTraversal::MaxDuration);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QStringList lines =
        QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size))
            .split(QLatin1Char('\n'));
    const auto line = [&lines](int i) { return lines.value(i); };

    EngineNetwork network;
    const QHash<QString, QVariant> lists{{QStringLiteral("PitchList"), line(0)},
                                         {QStringLiteral("VelocityList"), line(1)},
                                         {QStringLiteral("DurationList"), line(2)},
                                         {QStringLiteral("UserMidiMessageList"), line(3)},
                                         {QStringLiteral("ArcUsageList"), line(4)},
                                         {QStringLiteral("SignallingMethod"), line(8).toInt()}};
    // Three nodes in a triangle with a shortcut: edges 10 to 13.
    network.addNode(1, 0, 0, lists);
    network.addNode(2, 2, 0, lists);
    network.addNode(3, 2, 3, lists);
    network.addEdge(10, 1, 2);
    network.addEdge(11, 2, 3);
    network.addEdge(12, 3, 1, {{QStringLiteral("Path"), 2}});
    network.addEdge(13, 1, 3, {{QStringLiteral("IsWormhole"), true}});
    network.addVoiceGroup(Group, 1,
                          {{QStringLiteral("InitialPitch"), line(5)},
                           {QStringLiteral("InitialVelocity"), line(6)},
                           {QStringLiteral("InitialDuration"), line(7)}});
    const QStringList counters = line(9).split(QLatin1Char(' '));
    const auto counter = [&counters](int i) { return counters.value(i).toInt(); };
    for (QmdItemId node : {1u, 2u, 3u})
        network.setState(node, {{QStringLiteral("CurrentPitchId"), counter(0)},
                                {QStringLiteral("CurrentVelocityId"), counter(1)},
                                {QStringLiteral("CurrentDurationId"), counter(2)},
                                {QStringLiteral("CurrentUserMidiMessageId"), counter(3)},
                                {QStringLiteral("HitCount"), counter(4)},
                                {QStringLiteral("CurrentEdgeUsageId"), uint(counter(5))},
                                {QStringLiteral("CurrentEdgeUsageUses"), counter(6)}});

    VoiceTraversal traversal(Group, &network.compile());
    traversal.reset(0);
    for (int step = 0; step < Steps; ++step) {
        const qint64 now = traversal.nextArrival();
        if (now == VoiceTraversal::NoArrival)
            break;
        traversal.processDue(now);
    }
    checkDeliveries(network);
    return 0;
}
