#pragma once

#include "instrumentevent.h"

#include <QList>
#include <QString>

#include <utility>

class AbstractInstrument;

// A node's pitch list played as a plain melody, so that a composer hears
// what the node holds without running the network: one note per entry, each
// a principal long at velocity 64, the next starting as the previous ends.
// Relative entries move a running pitch that starts at middle C (60); note
// names set it; it stays within 0..127.
class PitchAudition
{
public:
    static constexpr quint8 Velocity = 64;

    using NotePair = std::pair<InstrumentEvent, InstrumentEvent>;

    static QList<NotePair> notePairs(const QString &pitchList, qint64 startTick);
    // Queues the notes on the instrument, from startTick on, until its queue
    // refuses one; answers how many were queued. Any thread may queue on an
    // instrument, so this may be called from any thread.
    static int play(const QString &pitchList, AbstractInstrument *instrument, qint64 startTick);
};
