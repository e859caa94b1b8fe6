#pragma once

#include "firednodequeue.h"
#include "qmdludravoicehost.h"

#include <QHash>
#include <QList>

#include <atomic>

class AbstractInstrument;
class VoiceGroup;

// The objects that make one network document sound in real time: its timing
// source, one voice-group thread per voice group element, one instrument
// output thread per instrument record, and the fired-node queue the display
// drains. The controller owns one and drives it as the document changes.
//
// The maps of objects change only under the controller's data lock, and
// nothing here waits for a thread, or pauses a voice group, while holding
// that lock: a voice thread may be waiting for it to finish its step.
class QmdLudraPlayback : public QmdLudraVoiceHost
{
public:
    // Objects out of their maps, still to be stopped and deleted.
    struct Objects
    {
        QList<VoiceGroup *> voiceGroups;
        QList<AbstractInstrument *> instruments;
    };

    explicit QmdLudraPlayback(QmdLudraController *controller);
    ~QmdLudraPlayback() override;
    QmdLudraPlayback(const QmdLudraPlayback &) = delete;
    QmdLudraPlayback &operator=(const QmdLudraPlayback &) = delete;

    bool deliverNotePair(QmdItemId instrument, const InstrumentEvent &noteOn,
                         const InstrumentEvent &noteOff) override;
    bool deliverEvent(QmdItemId instrument, const InstrumentEvent &event) override;
    bool appendFiredNode(const FiredNode &record) override;
    AbstractSync *timingSource() const override { return m_timingSource; }

    FiredNodeQueue &firedNodes() { return m_firedNodes; }
    VoiceGroup *voiceGroup(QmdItemId element) const;
    AbstractInstrument *instrument(QmdItemId id) const;

    bool isPlaying() const;
    // No voice under way and nothing queued for an instrument.
    bool isSilent() const;

    // Replaces the timing source by one of the document's "SyncType"; the
    // old one is deleted from the event loop, since other threads may read
    // it until they have fetched the new one.
    void rebuildTimingSource();
    // Whether the timing source was built from this "SyncType".
    bool isTimingSourceOf(const QString &syncType) const;
    // Objects for those of the ids that are voice group elements, or
    // instrument records, and have none yet; they join in at once while
    // playing.
    void createVoiceGroups(const QmdItemIdList &elements);
    void createInstruments(const QmdItemIdList &instruments);
    // Takes objects out of their maps; call with the data lock held or not,
    // but destroy() them only once it is released.
    Objects takeVoiceGroups(const QmdItemIdList &elements);
    Objects takeInstruments(const QmdItemIdList &instruments);
    Objects takeAll();
    static void destroy(const Objects &objects);

    // The tick position of the timing source: where play starts from while
    // it stands.
    qint64 position() const;
    // The timing source only; prime() brings the outputs along.
    void setPlaying(bool play);
    // Instruments play or pause, voice groups iterate or pause. A group
    // without voices starts again at its node, due at startTick.
    void prime(bool play, qint64 startTick);
    // Whether the outputs were last primed to play.
    bool isPrimed() const { return m_primed; }

    // Going to the start, in two halves around the caller's reset of the
    // document's counters. The first pauses every voice group (a step
    // under way finishes first), rewinds the timing source when asked to
    // (a source that rewound itself on received clock is left alone) and
    // empties the instruments; it answers whether the source is to run on.
    // The second stands every group at its start and lets it play on if the
    // outputs are primed.
    bool beginGotoStart(bool rewindSource);
    void endGotoStart(bool restartSource);
    // Voices in flight follow the network as it is now.
    void retime();

private:
    QList<VoiceGroup *> voiceGroups() const;
    QList<AbstractInstrument *> instruments() const;

    std::atomic<AbstractSync *> m_timingSource{nullptr};
    QString m_syncType;
    QHash<QmdItemId, VoiceGroup *> m_voiceGroups;
    QHash<QmdItemId, AbstractInstrument *> m_instruments;
    FiredNodeQueue m_firedNodes;
    // Used on the controller's thread only.
    bool m_primed = false;
};
