#pragma once

#include "eventsink.h"
#include "firednodequeue.h"
#include "instrumentsettings.h"
#include "playbackcore.h"
#include "qmdglobal.h"
#include "qmdindex.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QTimer>

#include <atomic>
#include <mutex>

#include <functional>

class AbstractInstrument;
class AbstractSync;
class NanoClock;
class QmdLudraController;
class VoiceGroup;

// What the playback of a document is made with, handed to its controller
// before the document is set.
struct QmdLudraPlaybackServices
{
    // Makes the instrument for a record's "Type" and id. Without one, or
    // when it makes nothing, the built-in types serve (InstrumentFactory),
    // and a type nobody knows plays as MIDI.
    std::function<AbstractInstrument *(const QString &type, QmdItemId id)> makeInstrument;
    // The clock of playback; the steady clock when none is given.
    const NanoClock *clock = nullptr;
};

// The objects that make one network document sound in real time: its timing
// source, one voice-group thread per voice group element, one instrument
// output thread per instrument record, and the fired-node queue the display
// drains. The controller owns one and drives it as the document changes.
//
// The voices travel the document compiled into a graph, which is compiled
// again, element by element, when a request that changed elements has
// finished. The counters they advance live in the engine while it plays and
// reach the document's state records in batches: at most every 16 ms while
// they change, and whenever playback pauses or the document is saved.
//
// Everything here is called on the controller's thread, except the event
// sink, which voice-group threads call while firing. The maps of objects
// change under the objects mutex, which a firing takes to deliver; nothing
// here waits for a thread while holding it.
class QmdLudraPlayback : public EventSink
{
public:
    // Objects out of their maps, still to be stopped and deleted.
    struct Objects
    {
        QList<VoiceGroup *> voiceGroups;
        QList<AbstractInstrument *> instruments;
    };

    static constexpr int CounterFlushMs = 16;

    QmdLudraPlayback(QmdLudraController *controller, const QmdLudraPlaybackServices &services);
    ~QmdLudraPlayback();
    QmdLudraPlayback(const QmdLudraPlayback &) = delete;
    QmdLudraPlayback &operator=(const QmdLudraPlayback &) = delete;

    bool deliverNotePair(QmdItemId instrument, const InstrumentEvent &noteOn,
                         const InstrumentEvent &noteOff) override;
    bool deliverEvent(QmdItemId instrument, const InstrumentEvent &event) override;
    bool appendFiredNode(const FiredNode &record) override;
    // Asks the controller's thread to write the counters into the document
    // within CounterFlushMs.
    void countersChanged() override;
    AbstractSync *timingSource() const { return m_timingSource; }
    QmdLudraController *controller() const { return m_controller; }

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
    // The record's values handed to its instrument: keys changed, in a
    // request other than one the playback made itself.
    void applyInstrumentData(QmdItemId id, const QStringList &keys, QmdRequestId rid);
    // The request has finished: its changes have all come round.
    void forgetRequest(QmdRequestId rid) { m_ownRequests.remove(rid); }
    // The document's tempo and ratio, and its sync ports, handed to the
    // timing source.
    void pushTiming();
    void pushSyncPorts();

    // Compiles the whole document anew; the counters start from its state
    // records.
    void rebuildGraph();
    // The elements a request changed, added or removed: they are compiled
    // again once it has finished (updateGraph()).
    void noteChanged(QmdItemId element) { m_changedElements.insert(element); }
    void noteChanged(const QmdItemIdList &elements);
    // Installs the graph with the noted elements compiled again, and lets
    // the voices in flight follow it.
    void updateGraph();
    // Voices in flight follow the network as it is now, compiled whole.
    void retime();
    // Writes the counters that changed into the document's state records.
    void flushCounters();

private:
    QList<VoiceGroup *> voiceGroups() const;
    QList<AbstractInstrument *> instruments() const;
    InstrumentSettings instrumentSettings(QmdItemId id) const;
    // Writes a value the playback arrived at itself into the document,
    // outside the undo history, unless it is there already.
    void writeOwnValue(const QmdIndex &parent, const QString &key, const QVariant &value,
                       const QString &text);
    QSet<QString> wantedSyncPorts(const QmdIndex &container) const;

    QmdLudraController *const m_controller;
    const QmdLudraPlaybackServices m_services;
    PlaybackCore m_core;
    // Requests that wrote values of the playback's own into the document;
    // their changes are not handed back.
    QSet<QmdRequestId> m_ownRequests;
    QSet<QmdItemId> m_changedElements;
    QTimer m_flushTimer;
    std::atomic<AbstractSync *> m_timingSource{nullptr};
    QString m_syncType;
    // Guards the two maps below.
    mutable std::mutex m_objectsMutex;
    QHash<QmdItemId, VoiceGroup *> m_voiceGroups;
    QHash<QmdItemId, AbstractInstrument *> m_instruments;
    FiredNodeQueue m_firedNodes;
    // Used on the controller's thread only.
    bool m_primed = false;
};
