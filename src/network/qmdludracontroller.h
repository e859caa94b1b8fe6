#pragma once

#include "qmdelementdoccontroller.h"
#include "qmdludra.h"
#include "qmdsyncronizedcontroller.h"

#include <QBitArray>
#include <QColor>
#include <QFile>
#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>

class QmdLudraPlayback;
struct QmdLudraPlaybackServices;
class QmdModel;

// The controller of one network document: the only writer of network
// semantics into the tree. It creates elements and instruments with their
// defaults and repairs every reference when they disappear; on every reset it
// gives the document its defaults and state records and converts what older
// documents stored differently; it reads and writes network files, copies and
// pastes elements, and applies display toggles and style presets. It owns
// the document's playback objects and keeps them in step with the document.
//
// Its reactions to changes run when the model's signals arrive, after the
// request that caused them has returned. A reaction that writes continues
// that request under the same id, so its changes join the request's undo
// step; replays of undo and redo are never written to again, since the
// history already holds what the first run wrote.
class QmdLudraController : public QmdSyncronizedController<QmdElementDocController>
{
    Q_OBJECT

public:
    enum CreationFlag {
        CreateHidden = 1 // the element exists with "IsHidden" true
    };
    Q_DECLARE_FLAGS(CreationFlags, CreationFlag)
    Q_FLAG(CreationFlags)

    explicit QmdLudraController(QObject *parent = nullptr);
    ~QmdLudraController() override;

    // The root containers as found at the last reset.
    QmdIndex tempIndex() const;
    QmdIndex elementStatesIndex() const;
    QmdIndex instrumentsIndex() const;
    QmdIndex syncMidiInputsIndex() const;
    QmdIndex syncMidiOutputsIndex() const;

    // The file is replaced only once its complete new content has been
    // written; a file whose mode lets nobody write is refused with
    // QFile::PermissionsError and left alone.
    QFile::FileError save(const QString &fileName, QmdRequestId rid) override;
    // The same check, and the file's content, for a save in the background.
    QFile::FileError serialize(const QString &fileName, QByteArray *bytes,
                               QmdRequestId rid) override;
    // The document is replaced only by a file that reads as a document;
    // anything else gives QFile::ReadError and leaves the document, its name
    // and its undo history as they were. A successful load leaves nothing to
    // undo.
    QFile::FileError load(const QString &fileName, QmdRequestId rid) override;
    // Why the last save or load failed, for the user; empty after a success.
    QString lastFileErrorString() const { return m_lastFileErrorString; }

    // What the document's playback is made with; call before the document
    // is set.
    void setPlaybackServices(const QmdLudraPlaybackServices &services);
    // The timing source, voice groups, instruments and fired-node queue of
    // the document.
    QmdLudraPlayback &playback() const { return *m_playback; }
    bool isPlaying() const;
    // No voice group has a voice under way and no instrument has anything
    // queued: a headless player stops here.
    bool isPlaybackSilent() const;

Q_SIGNALS:
    void playbackStateChanged(bool isPlaying);
    void playbackJogged();
    void instrumentDataChanged(QmdItemId id, const QStringList &keys, QmdRequestId rid);
    void instrumentDataRemoved(QmdItemId id, const QStringList &keys, QmdRequestId rid);
    void instrumentsAdded(const QmdItemIdList &idList, QmdRequestId rid);
    void instrumentsRemoved(const QmdItemIdList &idList, QmdRequestId rid);

public Q_SLOTS:
    // Playback requests change no document value except the counters of
    // going to start, outside undo; they return -1.
    QmdRequestId requestPlay();
    QmdRequestId requestPause();
    QmdRequestId requestTogglePlayback();
    QmdRequestId requestSetPlayback(bool play);
    // Brings instruments and voice groups into the given state without
    // touching the timing source, which calls this when received clock
    // starts or stops it.
    QmdRequestId requestPrimePlaybackForSyncStateChange(bool newState);
    // Back to the start with fresh counters; a document that was playing
    // plays on from there.
    QmdRequestId requestGotoStart();
    // The timing source has rewound itself, on received MIDI clock: the
    // voices and counters follow, and the source is left as it is.
    void onTimingSourceRewound();

    // Display settings flip without entering the undo history.
    QmdRequestId requestToggleShowGrid();
    QmdRequestId requestToggleSnapToGrid();
    QmdRequestId requestToggleShowNodeCounters();

    // A new instrument with the first free label, palette colour and
    // channel.
    QmdRequestId requestAddInstrument(const QmdRequestOptions &options = tr("Instrument"));
    QmdRequestId requestAddInstrument(const QString &label, const QColor &color,
                                      const QBitArray &channels,
                                      const QmdRequestOptions &options = tr("Instrument"));
    // The new edge is also entered into its from-node's identifiers and
    // usage list, in the same undo step.
    QmdRequestId requestAddEdge(const QmdIndex &fromNode = QmdIndex(),
                                const QmdIndex &toNode = QmdIndex(),
                                QmdLudra::EdgePath path = QmdLudra::CityBlock,
                                QmdLudraController::CreationFlags flags = {},
                                const QmdRequestOptions &options = tr("Edge"));
    // Positions are taken as given: snapping is the caller's choice.
    QmdRequestId requestAddNode(const QmdLudra::TickPos &pos,
                                QmdLudraController::CreationFlags flags = {},
                                const QmdRequestOptions &options = tr("Node"));
    QmdRequestId requestAddVoiceGroup(const QmdIndex &toNode = QmdIndex(),
                                      QmdLudraController::CreationFlags flags = {},
                                      const QmdRequestOptions &options = tr("Voice Group"));
    QmdRequestId
    requestAddTextBox(const QmdLudra::TickPos &pos,
                      const QString &text = QStringLiteral("<html><body>Text</body></html>"),
                      QmdLudraController::CreationFlags flags = {},
                      const QmdRequestOptions &options = tr("Text Box"));
    // The elements as the clipboard's payload ("text/ludra-elements");
    // changes nothing. The GUI puts it on the system clipboard.
    QByteArray copyElements(const QmdItemIdSet &elements) const;
    // Adds the payload's elements centred on center, as one undo step.
    QmdRequestId requestPaste(const QByteArray &payload, const QmdLudra::TickPos &center);
    // Sets the eight style colours of the named preset as one undoable step;
    // 0 and no change for a name that is not a preset.
    QmdRequestId requestLoadStylePreset(const QString &presetName);
    // Voices in flight follow edits of the network and of the timing ratio.
    void requestTraverseFromPlaybackPos();

protected:
    void resetDocument() override;

    void beginRequest(QmdRequestId rid, Qmd::RequestFlags flags, const QString &text) override;
    void receivedItemsChanged(const QmdIndex &parent, const QmdItemIdList &idList,
                              QmdRequestId rid) override;
    void receivedItemsChanged(const QmdIndex &parent, const QStringList &keys,
                              QmdRequestId rid) override;
    void receivedItemsRemoved(const QmdIndex &parent, const QmdItemIdList &idList,
                              QmdRequestId rid) override;
    void receivedItemsRemoved(const QmdIndex &parent, const QStringList &keys,
                              QmdRequestId rid) override;
    void receivedRequestFinished(QmdRequestId rid, Qmd::RequestFlags flags, int status) override;

private:
    using Base = QmdSyncronizedController<QmdElementDocController>;

    // A request as long as it or a continuation of it has still to report
    // its end.
    struct OpenRequest
    {
        int pending = 0;
        Qmd::RequestFlags flags = 0;
        int status = 0;
    };

    QmdRequestId requestToggle(const QString &key);
    QmdRequestId addElement(QmdLudra::ElementType type, QHash<QString, QVariant> values,
                            const QHash<QString, Qmd::ContainerType> &containers,
                            CreationFlags flags, const QmdRequestOptions &options,
                            QmdItemId *newId = nullptr);
    // Continues the request rid with its flags and a text of its own.
    void continueRequest(QmdRequestId rid, const QString &text);

    void enterOutgoingEdge(const QmdIndex &node, QmdItemId edge);
    void removeOutgoingEdge(const QmdIndex &node, QmdItemId edge);
    void onElementsAdded(const QmdItemIdList &ids, QmdRequestId rid);
    void onElementsRemoved(const QmdItemIdList &ids, QmdRequestId rid);
    void onInstrumentsRemoved(const QmdItemIdList &ids, QmdRequestId rid);
    QmdItemIdList dependentsOf(const QmdItemIdList &removed) const;
    // What the reset needs to know of every element, read once.
    struct ElementSummary
    {
        QmdIndex record;
        uint type = 0;
        QmdItemId fromNode = 0;
    };
    QList<ElementSummary> summarizeElements() const;
    void rebuildEdgeFromNodeCache(const QList<ElementSummary> &elements);
    bool isContainer(const QmdIndex &index, const QmdIndex &container) const;
    bool isNetworkElement(const QmdIndex &record) const;
    // Whether a change there chooses other MIDI sync ports.
    bool touchesSyncPorts(const QmdIndex &parent, const QStringList &keys) const;

    // Where the playback objects of the document are made, rebound and
    // stopped; the document itself is complete without them.
    void createVoiceGroupObjectsFor(const QmdItemIdList &ids);
    void destroyVoiceGroupObjectsFor(const QmdItemIdList &ids);
    void createInstrumentObjectsFor(const QmdItemIdList &ids, QmdRequestId rid);
    void destroyInstrumentObjectsFor(const QmdItemIdList &ids);
    void rebuildPlaybackObjects(const QList<ElementSummary> &elements);
    void gotoStart(bool rewindTimingSource);
    void resetElementStatesForStart();
    // Builds the timing source anew; playback that was under way stops,
    // and says so.
    void rebuildTimingSource();
    // The counters playback keeps, into the elements' state records, as one
    // request outside the undo history.
    friend class QmdLudraPlayback;
    void writeElementStates(const QHash<QmdItemId, QHash<QString, QVariant>> &records);

    void applyDocumentDefaults(const QList<ElementSummary> &elements);
    void cacheRootIndexes();
    void rebuildElementStates(const QList<ElementSummary> &elements);
    void createStateRecord(QmdItemId elementId, uint type);
    void convertOlderDocument(const QList<ElementSummary> &elements);
    void convertOrderedArcUsages(const QmdIndex &node);
    void moveInstrumentOutOfVoiceGroup(const QmdIndex &voiceGroup);

    uint elementType(const QmdIndex &element) const;

    QmdIndex m_tempIndex;
    QmdIndex m_elementStatesIndex;
    QmdIndex m_instrumentsIndex;
    QmdIndex m_syncMidiInputsIndex;
    QmdIndex m_syncMidiOutputsIndex;
    QString m_lastFileErrorString;
    // The "FromNode" of every edge, for when the edge's record is gone.
    QHash<QmdItemId, QmdItemId> m_edgeFromNodes;
    QHash<QmdRequestId, OpenRequest> m_openRequests;
    std::unique_ptr<QmdLudraPlayback> m_playback;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(QmdLudraController::CreationFlags)
