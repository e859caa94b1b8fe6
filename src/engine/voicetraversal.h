#pragma once

#include "playbackcounters.h"
#include "playbackgraph.h"
#include "qmdglobal.h"
#include "voice.h"
#include "voicerandom.h"

#include <QList>
#include <QSet>

#include <limits>
#include <mutex>

class PlaybackCore;

// The voices of one voice group and the rules by which they travel: a node
// fires when a voice reaches it, plays from its lists, advances its counters
// and passes play on along the edges its signalling method chooses. Nothing
// here knows threads or wall-clock time: the caller says up to which tick
// voices are due, so the same rules, in the same order, serve real-time
// playback (which fires a few milliseconds ahead) and the offline render.
//
// One thread at a time drives a traversal; the pool has its own mutex so
// that others may ask after the voices. Every firing, and every reading of
// the network, holds the core's mutex.
class VoiceTraversal
{
public:
    // Voices get the ids 1 up to, not including, this bound.
    static constexpr quint32 PoolBound = 25;
    static constexpr qint64 MaxDuration = PlaybackGraph::MaxDuration;
    // Rounds at one tick after which the voices due there are taken to
    // circle through zero-time edges for ever and are held (see
    // processDue()).
    static constexpr int MaxRoundsPerTick = 10000;
    // What nextArrival() answers when no voice can fire.
    static constexpr qint64 NoArrival = std::numeric_limits<qint64>::max();

    VoiceTraversal(QmdItemId groupId, PlaybackCore *core);
    ~VoiceTraversal();
    VoiceTraversal(const VoiceTraversal &) = delete;
    VoiceTraversal &operator=(const VoiceTraversal &) = delete;

    QmdItemId groupId() const { return m_groupId; }

    // Frees every voice and puts one at the group's node, due at tick. The
    // random signalling starts its sequence from seed; real-time playback
    // always starts from 1.
    void reset(qint64 tick, quint32 seed = 1);
    QList<Voice *> activeVoices() const;
    bool hasActiveVoices() const;
    // Fires every voice due by the horizon, in order of arrival tick and,
    // at one tick, of voice id, round after round: the voices that a
    // zero-time edge (a wormhole) brings to their node within the horizon
    // fire in a later round, as if a moment later at the same tick. A voice
    // whose node is missing waits, held out of the rounds until the next
    // retime(); so are voices that go round zero-time edges for ever.
    // Returns the number of firings.
    int processDue(qint64 horizon);
    // The earliest arrival tick of a voice that can fire; NoArrival when
    // there is none.
    qint64 nextArrival() const;
    // Re-times every voice in flight after the network changed under it;
    // a voice whose edge has gone ends its path, and a waiting voice tries
    // its node again.
    void retime();

private:
    using Element = PlaybackGraph::Element;

    struct Choice
    {
        QmdItemId primary = 0;
        QList<QmdItemId> further;
    };

    // Fires the voice's node, with the core's mutex held; false when its
    // node is missing and it waits.
    bool fire(Voice *voice);

    Voice *takeFreeVoice();
    void returnVoice(Voice *voice);
    bool hasFreeVoice() const;

    Choice chooseEdges(QmdItemId nodeId, const Element &node);
    Choice chooseSequential(QmdItemId nodeId, const Element &node);
    Choice chooseParallel(const Element &node);
    Choice chooseRandom(const Element &node);
    void playLists(QmdItemId nodeId, const Element &node, QmdItemId primaryEdge,
                   VoiceTravel *travel);
    qint64 nextDuration(const PlaybackGraph::Duration &entry, QmdItemId primaryEdge,
                        qint64 previous) const;
    // The time along an edge as the document measures it; false for an
    // edge whose ends are not both there.
    bool travelTime(QmdItemId edge, qint64 *ticks) const;
    // The same for a voice's leg: the start of a run and a wormhole take no
    // time.
    bool legTime(QmdItemId edge, qint64 *ticks) const;
    bool spawn(QmdItemId edge, const VoiceTravel &from);
    void markChanged(QmdItemId element, PlaybackCounters::Change change);

    const QmdItemId m_groupId;
    PlaybackCore *const m_core;
    // Set for the length of a firing, with the core's mutex held.
    const PlaybackGraph *m_graph = nullptr;
    PlaybackCounters *m_counters = nullptr;

    mutable std::mutex m_poolMutex;
    QSet<Voice *> m_free;
    QSet<Voice *> m_active;
    // Active voices held out of the rounds (see processDue()).
    QSet<const Voice *> m_waiting;
    // Drawn only inside a firing, so the core's mutex guards it.
    VoiceRandom m_random;
};
