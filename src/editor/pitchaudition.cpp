#include "pitchaudition.h"

#include "abstractinstrument.h"
#include "playbackgraph.h"
#include "qmdludra.h"

#include <algorithm>

QList<PitchAudition::NotePair> PitchAudition::notePairs(const QString &pitchList, qint64 startTick)
{
    // Read the way voices read it, so that what is heard is what plays.
    const QList<PlaybackGraph::Step> steps = PlaybackGraph::pitchSteps(pitchList);
    QList<NotePair> pairs;
    qint64 pitch = 60;
    qint64 tick = startTick;
    for (const PlaybackGraph::Step &step : steps) {
        pitch = std::clamp<qint64>(step.relative ? pitch + step.value : step.value, 0, 127);
        const qint64 end = tick + QmdLudra::TicksPerPrincipal;
        pairs.append({InstrumentEvent::noteOn(tick, quint8(pitch), Velocity),
                      InstrumentEvent::noteOff(end, quint8(pitch), 0)});
        tick = end;
    }
    return pairs;
}

int PitchAudition::play(const QString &pitchList, AbstractInstrument *instrument, qint64 startTick)
{
    if (!instrument)
        return 0;
    int queued = 0;
    for (const NotePair &pair : notePairs(pitchList, startTick)) {
        if (!instrument->enqueueNotePair(pair.first, pair.second))
            break;
        ++queued;
    }
    return queued;
}
