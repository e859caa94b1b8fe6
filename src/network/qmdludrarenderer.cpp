#include "qmdludrarenderer.h"

#include "midiinstrument.h"
#include "midioutput.h"
#include "playbackclock.h"
#include "playbackcore.h"
#include "qmdludra.h"
#include "qmdludracontroller.h"
#include "qmdludragraphcompiler.h"
#include "qmdludrarendersink.h"
#include "voicetraversal.h"

#include <QBitArray>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

namespace {

constexpr qint64 TicksPerPrincipal = QmdLudra::TicksPerPrincipal;
constexpr qint64 MicrosecondsPerMinute = 60000000;
// The largest tempo a file's tempo event can hold (three bytes).
constexpr qint64 MaxMicrosecondsPerQuarter = 0xFFFFFF;
constexpr int ProgressInterval = 4096;
// The file tick's product of a grid tick and a denominator needs up to 96
// bits.
__extension__ using Wide = __int128;

// A grid tick count for a number of principals or seconds; out-of-range
// values saturate.
qint64 saturatedTicks(double ticks)
{
    if (std::isnan(ticks))
        return 0;
    constexpr double limit = 9.2e18;
    return std::llround(std::clamp(ticks, -limit, limit));
}

// Whether the message opens with the status byte of a channel message, note
// off up to pitch bend: a track event has no other kind of message.
bool isChannelStatus(const QByteArray &message)
{
    if (message.isEmpty())
        return false;
    const auto status = quint8(message.at(0));
    return status >= 0x80 && status <= 0xEF;
}

} // namespace

QmdLudraRenderer::QmdLudraRenderer(QmdLudraController *controller)
    : m_controller(controller), m_endTick(endTickForPrincipals(DefaultPrincipals))
{
}

qint64 QmdLudraRenderer::endTickForPrincipals(double principals) const
{
    return saturatedTicks(principals * double(TicksPerPrincipal));
}

qint64 QmdLudraRenderer::endTickForSeconds(double seconds) const
{
    PlaybackClock clock;
    clock.setTempo(documentValue(QStringLiteral("Tempo"), PlaybackClock::DefaultTempo), 0);
    clock.setNumerator(documentValue(QStringLiteral("PrincipalsToBeatsNumerator"), 1), 0);
    clock.setDenominator(documentValue(QStringLiteral("PrincipalsToBeatsDenominator"), 1), 0);
    return clock.timeToTicks(saturatedTicks(seconds * 1e9));
}

qint64 QmdLudraRenderer::fileTick(qint64 gridTick, uint numerator, uint denominator)
{
    // g * d * 960 / (n * 665280) = g * d / (n * 693), in 128 bits: the
    // product exceeds 64 bits long before the result does.
    const Wide n = std::max(numerator, 1u);
    const Wide d = std::max(denominator, 1u);
    const Wide divisor = n * (TicksPerPrincipal / TicksPerQuarter);
    const Wide dividend = Wide(gridTick) * d;
    const Wide magnitude = ((dividend < 0 ? -dividend : dividend) * 2 + divisor) / (divisor * 2);
    const Wide rounded = dividend < 0 ? -magnitude : magnitude;
    return qint64(std::clamp<Wide>(rounded, std::numeric_limits<qint64>::min(),
                                   std::numeric_limits<qint64>::max()));
}

uint QmdLudraRenderer::documentValue(const QString &key, uint fallback) const
{
    const QVariant value = m_controller->data(m_controller->index(key));
    return value.isValid() ? value.toUInt() : fallback;
}

StandardMidiFile QmdLudraRenderer::render()
{
    m_skippedUserMessages = 0;
    const qint64 endTick = std::max<qint64>(m_endTick, 0);
    QmdLudraRenderSink sink(m_controller);
    PlaybackCore core(&sink);
    // The render starts where play from the start does: every counter at
    // its initial value, whatever the document's records hold now.
    QmdLudraGraphCompiler::Result compiled = QmdLudraGraphCompiler(m_controller).compile();
    for (PlaybackCounters::Values &values : compiled.states)
        values = PlaybackCounters::Values();
    core.install(compiled.graph, compiled.states);

    std::vector<std::unique_ptr<VoiceTraversal>> groups;
    QmdItemIdList elements = m_controller->ids(m_controller->elementsIndex());
    std::sort(elements.begin(), elements.end());
    for (QmdItemId element : std::as_const(elements)) {
        const QmdIndex record = m_controller->index(element, m_controller->elementsIndex());
        if (m_controller->data(m_controller->index(QmdLudra::TypeKey, record)).toUInt() !=
            QmdLudra::VoiceGroup)
            continue;
        groups.push_back(std::make_unique<VoiceTraversal>(element, &core));
        groups.back()->reset(0, m_seed);
    }

    // The clock jumps from one arrival to the next; at each tick every
    // group fires, in the order of the groups' ids, what is due there.
    for (qint64 iteration = 0;; ++iteration) {
        qint64 now = VoiceTraversal::NoArrival;
        for (const auto &group : groups)
            now = std::min(now, group->nextArrival());
        if (now >= endTick)
            break;
        sink.sendDue(now - 1);
        for (const auto &group : groups)
            group->processDue(now);
        if (m_progress && iteration % ProgressInterval == 0)
            m_progress(now, endTick);
    }
    sink.finish(endTick);
    if (m_progress)
        m_progress(endTick, endTick);

    StandardMidiFile file;
    file.ticksPerQuarter = TicksPerQuarter;
    const uint tempo =
        std::max(documentValue(QStringLiteral("Tempo"), PlaybackClock::DefaultTempo), 1u);
    file.microsecondsPerQuarter =
        quint32(std::min((MicrosecondsPerMinute + tempo / 2) / tempo, MaxMicrosecondsPerQuarter));
    const uint numerator = documentValue(QStringLiteral("PrincipalsToBeatsNumerator"), 1);
    const uint denominator = documentValue(QStringLiteral("PrincipalsToBeatsDenominator"), 1);
    for (auto sent = sink.sent().cbegin(); sent != sink.sent().cend(); ++sent)
        file.tracks.append(track(sent.key(), sent.value(), numerator, denominator));
    return file;
}

StandardMidiFileTrack QmdLudraRenderer::track(QmdItemId instrument,
                                              const QList<InstrumentEvent> &events, uint numerator,
                                              uint denominator)
{
    const QmdIndex record = m_controller->index(instrument, m_controller->instrumentsIndex());
    const auto value = [this, &record](const char *key) {
        return m_controller->data(m_controller->index(QString::fromLatin1(key), record));
    };
    StandardMidiFileTrack track;
    track.name = value("Label").toString();
    const quint16 channels = MidiOutput::channelBits(value("MidiChannels").toBitArray());
    const auto append = [&](const InstrumentEvent &event) {
        const qint64 tick = fileTick(event.tick, numerator, denominator);
        for (const QByteArray &message : MidiOutput::encode({event}, channels))
            track.events.append({tick, message});
    };
    if (value("MidiDoProgramChange").toBool()) {
        append(MidiInstrument::programChange(0, value("MidiProgram").toInt(),
                                             value("MidiBankMSB").toInt(),
                                             value("MidiBankLSB").toInt()));
    }
    for (const InstrumentEvent &event : events) {
        if (event.type == InstrumentEvent::UserMessage && !isChannelStatus(event.bytes)) {
            ++m_skippedUserMessages;
            continue;
        }
        append(event);
    }
    return track;
}
