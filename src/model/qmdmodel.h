#pragma once

#include "qmdglobal.h"
#include "qmdindex.h"
#include "qmdrequestoptions.h"

#include <QHash>
#include <QObject>
#include <QStringList>
#include <QVariant>

// The abstract document tree: one root value which is either a plain value or
// a container (IntDict or StrDict) of items. Nothing here knows about
// networks. Every mutating operation is undoable in the memory model; callers
// frame their changes as requests through a controller.
class QmdModel : public QObject
{
    Q_OBJECT

public:
    explicit QmdModel(QObject *parent = nullptr);
    ~QmdModel() override;

    // The current request, recorded between beginRequest() and endRequest().
    QmdRequestId currentRequestId() const { return m_requestId; }
    const QmdRequestOptions &currentRequestOptions() const { return m_requestOptions; }
    const QString &currentRequestText() const { return m_requestText; }
    int currentRequestStatus() const { return m_requestStatus; }

    virtual void setRequestStatus(int status);
    virtual void beginRequest(QmdRequestId rid, const QmdRequestOptions &options,
                              const QString &text);
    virtual void endRequest();
    virtual int undoRedoLimit() const;
    virtual void setUndoRedoLimit(int limit);
    virtual bool isAtCleanState() const;
    virtual void markAsCleanState();
    // Names the state the document is in now, so that it can be marked clean
    // later, once a copy of it has reached its file: by then the document may
    // have moved on. A state that can no longer be reached (its step was
    // dropped, or the step it ended has since grown) leaves no clean state.
    struct StateMark
    {
        quint64 step = 0;
        qsizetype parts = 0;
    };
    virtual StateMark stateMark() const;
    virtual void markAsCleanState(const StateMark &mark);
    virtual int undoRedoCount() const;
    virtual bool canRedo() const;
    virtual bool canUndo() const;
    virtual QString redoText() const;
    virtual QString undoText() const;
    virtual bool isValid(const QmdIndex &index) const = 0;
    virtual QmdIndex index(const QString &key, const QmdIndex &parent = QmdIndex()) const = 0;
    virtual QmdIndex index(QmdItemId id, const QmdIndex &parent = QmdIndex()) const = 0;
    virtual QmdIndex parent(const QmdIndex &index) const = 0;
    virtual bool hasChildren(const QmdIndex &index = QmdIndex()) const = 0;
    virtual QmdIndexList children(const QmdIndex &index = QmdIndex()) const = 0;
    virtual QVariant data(const QmdIndex &index) const = 0;
    virtual Qmd::ContainerType containerType(const QmdIndex &index) const = 0;
    virtual QmdItemIdList ids(const QmdIndex &parent = QmdIndex()) const = 0;
    virtual QStringList keys(const QmdIndex &parent = QmdIndex()) const = 0;
    // What data() holds under each of keys in the StrDict at parent, in the
    // order of keys: a record read in one call rather than one per field.
    virtual QVariantList values(const QmdIndex &parent, const QStringList &keys) const;
    virtual void redo();
    virtual void undo();
    virtual QmdItemIdList addData(const QList<QVariant> &values,
                                  const QmdIndex &parent = QmdIndex()) = 0;
    virtual void setData(const QHash<QmdIndex, QVariant> &pairs) = 0;
    virtual void setData(const QHash<QString, QVariant> &pairs,
                         const QmdIndex &parent = QmdIndex()) = 0;
    virtual void setData(const QHash<QmdItemId, QVariant> &pairs,
                         const QmdIndex &parent = QmdIndex()) = 0;
    virtual QmdItemIdList addTypes(const QList<Qmd::ContainerType> &types,
                                   const QmdIndex &parent = QmdIndex()) = 0;
    virtual void setTypes(const QHash<QmdIndex, Qmd::ContainerType> &pairs) = 0;
    virtual void setTypes(const QHash<QString, Qmd::ContainerType> &pairs,
                          const QmdIndex &parent = QmdIndex()) = 0;
    virtual void setTypes(const QHash<QmdItemId, Qmd::ContainerType> &pairs,
                          const QmdIndex &parent = QmdIndex()) = 0;
    virtual void remove(const QmdIndexList &indexes) = 0;
    virtual void remove(const QStringList &keys, const QmdIndex &parent = QmdIndex()) = 0;
    virtual void remove(const QmdItemIdList &ids, const QmdIndex &parent = QmdIndex()) = 0;
    virtual void clear(const QmdIndex &parent = QmdIndex()) = 0;

Q_SIGNALS:
    void atCleanStateChanged(bool atCleanState, QmdRequestId rid);
    void canRedoChanged(bool canRedo, QmdRequestId rid);
    void canUndoChanged(bool canUndo, QmdRequestId rid);
    void redoTextChanged(const QString &redoText, QmdRequestId rid);
    void undoTextChanged(const QString &undoText, QmdRequestId rid);
    void itemsChanged(const QmdIndex &parent, const QmdItemIdList &idList, QmdRequestId rid);
    void itemsChanged(const QmdIndex &parent, const QStringList &keys, QmdRequestId rid);
    void itemsRemoved(const QmdIndex &parent, const QmdItemIdList &idList, QmdRequestId rid);
    void itemsRemoved(const QmdIndex &parent, const QStringList &keys, QmdRequestId rid);
    void rootChanged(QmdRequestId rid);
    void requestFinished(QmdRequestId rid, Qmd::RequestFlags flags, int status = 0);

private:
    int m_undoRedoLimit = 0;
    QmdRequestId m_requestId = 0;
    QmdRequestOptions m_requestOptions;
    QString m_requestText;
    int m_requestStatus = 0;
};
