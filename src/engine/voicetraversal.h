#pragma once

#include "qmdglobal.h"
#include "voice.h"
#include "voicerandom.h"

#include <QList>
#include <QSet>
#include <QString>

#include <mutex>

class VoiceHost;

// The voices of one voice group and the rules by which they travel: a node
// fires when a voice reaches it, plays from its lists, advances its counters
// and passes play on along the edges its signalling method chooses. Nothing
// here knows threads or wall-clock time: the caller says what tick it is, so
// the same rules serve real-time playback and any other clock. process() may
// run for several voices at once; the pool is guarded by its own mutex and
// firings are serialised by the host's engine mutex.
class VoiceTraversal
{
public:
    // Voices get the ids 1 up to, not including, this bound.
    static constexpr quint32 PoolBound = 25;
    static constexpr qint64 MaxDuration = 6652800000;

    VoiceTraversal(QmdItemId groupId, VoiceHost *host);
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
    // Fires the voice's node if the voice has arrived by tick now; false
    // when it did not fire (not yet due, or its node is missing and it waits).
    bool process(Voice *voice, qint64 now);
    // Re-times every voice in flight after the network changed under it;
    // a voice whose edge has gone ends its path.
    void retime();

    // The MIDI note number of a note name ("C3" is 60), in 8 bits.
    static quint8 noteNumber(const QString &name);

private:
    struct Choice
    {
        QmdItemId primary = 0;
        QList<QmdItemId> further;
    };

    Voice *takeFreeVoice();
    void returnVoice(Voice *voice);
    bool hasFreeVoice() const;

    Choice chooseEdges(QmdItemId node);
    Choice chooseSequential(QmdItemId node, const QStringList &entries);
    Choice chooseParallel(const QStringList &entries);
    Choice chooseRandom(const QStringList &entries);
    void playLists(QmdItemId node, QmdItemId primaryEdge, const QString &userMessages,
                   VoiceTravel *travel);
    qint64 nextDuration(const QString &entry, QmdItemId primaryEdge, qint64 previous) const;
    qint64 legTime(QmdItemId edge, bool *ok) const;
    bool spawn(QmdItemId edge, const VoiceTravel &from);

    const QmdItemId m_groupId;
    VoiceHost *const m_host;
    mutable std::mutex m_poolMutex;
    QSet<Voice *> m_free;
    QSet<Voice *> m_active;
    // Drawn only inside a firing, so the engine mutex guards it.
    VoiceRandom m_random;
};
