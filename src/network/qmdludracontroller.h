#pragma once

#include "qmdelementdoccontroller.h"
#include "qmdludra.h"
#include "qmdsyncronizedcontroller.h"

#include <QFile>
#include <QString>
#include <QStringList>

class QmdModel;

// The controller of one network document: the only writer of network
// semantics into the tree. On every reset it gives the document its defaults
// and state records and converts what older documents stored differently; it
// reads and writes network files, and applies display toggles and style
// presets.
class QmdLudraController : public QmdSyncronizedController<QmdElementDocController>
{
    Q_OBJECT

public:
    explicit QmdLudraController(QObject *parent = nullptr);

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
    // The document is replaced only by a file that reads as a document;
    // anything else gives QFile::ReadError and leaves the document, its name
    // and its undo history as they were. A successful load leaves nothing to
    // undo.
    QFile::FileError load(const QString &fileName, QmdRequestId rid) override;
    // Why the last save or load failed, for the user; empty after a success.
    QString lastFileErrorString() const { return m_lastFileErrorString; }

Q_SIGNALS:
    void playbackStateChanged(bool isPlaying);
    void playbackJogged();
    void instrumentDataChanged(QmdItemId id, const QStringList &keys, QmdRequestId rid);
    void instrumentDataRemoved(QmdItemId id, const QStringList &keys, QmdRequestId rid);
    void instrumentsAdded(const QmdItemIdList &idList, QmdRequestId rid);
    void instrumentsRemoved(const QmdItemIdList &idList, QmdRequestId rid);

public Q_SLOTS:
    // Display settings flip without entering the undo history.
    QmdRequestId requestToggleShowGrid();
    QmdRequestId requestToggleSnapToGrid();
    QmdRequestId requestToggleShowNodeCounters();
    // Sets the eight style colours of the named preset as one undoable step;
    // 0 and no change for a name that is not a preset.
    QmdRequestId requestLoadStylePreset(const QString &presetName);

protected:
    void resetDocument() override;

private:
    using Base = QmdSyncronizedController<QmdElementDocController>;

    QmdRequestId requestToggle(const QString &key);

    void applyDocumentDefaults();
    void cacheRootIndexes();
    void rebuildElementStates();
    void createStateRecord(QmdItemId elementId, uint type);
    void convertOlderDocument();
    void convertOrderedArcUsages(const QmdIndex &node);
    void moveInstrumentOutOfVoiceGroup(const QmdIndex &voiceGroup);
    void replaceContent(const QmdModel &source);

    uint elementType(const QmdIndex &element) const;

    QmdIndex m_tempIndex;
    QmdIndex m_elementStatesIndex;
    QmdIndex m_instrumentsIndex;
    QmdIndex m_syncMidiInputsIndex;
    QmdIndex m_syncMidiOutputsIndex;
    QString m_lastFileErrorString;
};
