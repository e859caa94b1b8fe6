#pragma once

#include "qmddirectmodelinterface.h"
#include "qmdglobal.h"
#include "qmdindex.h"
#include "qmdrequestoptions.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QVariant>

// The one way into a document. Every change is a request: the controller
// gives it an id, frames the model operations between a begin and an end on
// the model (one undo step, one requestFinished) and returns the id at once.
// The model's signals come back through queued connections and are re-emitted
// from the event loop with the same id, so observers can tell their own
// changes from others'.
//
// The controller also binds properties of ordinary objects to document keys
// in both directions: the document refreshes the property once per request,
// and the object's change signal becomes a request.
//
// All model access runs between overridable hooks (empty here) so that a
// subclass can make the controller safe for readers on other threads.
class QmdController : public QObject, public QmdDirectModelInterface
{
    Q_OBJECT

public:
    enum UnbindAction {
        UnbindForget = 1,     // drop the binding record
        UnbindReset = 2,      // set the property to the empty value, signals blocked
        UnbindDisconnect = 4, // disconnect the notify signal and destroyed()
        UnbindAll = 7
    };
    Q_DECLARE_FLAGS(UnbindActions, UnbindAction)
    Q_FLAG(UnbindActions)

    explicit QmdController(QObject *parent = nullptr);
    ~QmdController() override;

    // QObject's parent() and children() would otherwise be hidden by the
    // tree queries of the same names.
    using QObject::children;
    using QObject::parent;

    void setModel(QmdModel *model) override;

    // Synchronous reads, each between the before-read and after-read hooks.
    virtual bool isValid(const QmdIndex &index) const;
    virtual QmdIndex index(const QString &key, const QmdIndex &parent = QmdIndex()) const;
    virtual QmdIndex index(QmdItemId id, const QmdIndex &parent = QmdIndex()) const;
    virtual QmdIndex parent(const QmdIndex &index) const;
    virtual bool hasChildren(const QmdIndex &index = QmdIndex()) const;
    virtual QmdIndexList children(const QmdIndex &index) const;
    virtual QVariant data(const QmdIndex &index) const;
    virtual Qmd::ContainerType containerType(const QmdIndex &index) const;
    virtual QmdItemIdList ids(const QmdIndex &parent = QmdIndex()) const;
    virtual QStringList keys(const QmdIndex &parent = QmdIndex()) const;
    virtual QVariantList values(const QmdIndex &parent, const QStringList &keys) const;
    virtual int undoRedoLimit() const;
    virtual bool isAtCleanState() const;
    virtual int undoRedoCount() const;
    virtual bool canRedo() const;
    virtual bool canUndo() const;
    virtual QString redoText() const;
    virtual QString undoText() const;

    // Ties objProperty of obj to the items named by targets (per parent
    // container, a set of keys). notifySignal is the object's change signal
    // as made by SIGNAL(); null or empty makes the binding read-only.
    // emptyValue is shown when there is nothing to show, mixedValue when the
    // targets disagree; a user edit becomes one request with text and options.
    void bind(QObject *obj, const char *objProperty, const char *notifySignal,
              const QHash<QmdIndex, QSet<QString>> &targets, const QVariant &emptyValue,
              const QVariant &mixedValue, const QString &text,
              const QmdRequestOptions &options = QmdRequestOptions());
    void bind(QObject *obj, const char *objProperty, const char *notifySignal, const QString &key,
              const QmdIndex &parent, const QVariant &emptyValue, const QVariant &mixedValue,
              const QString &text, const QmdRequestOptions &options = QmdRequestOptions());
    bool isBound(QObject *obj, const char *objProperty = nullptr) const;

    // True while the request with this id is an undo or redo issued by this
    // controller: from the request until its requestFinished has been handled.
    bool isUndoRedoRequest(QmdRequestId rid) const;

Q_SIGNALS:
    void atCleanStateChanged(bool atCleanState, QmdRequestId rid);
    void canRedoChanged(bool canRedo, QmdRequestId rid);
    void canUndoChanged(bool canUndo, QmdRequestId rid);
    void redoTextChanged(const QString &redoText, QmdRequestId rid);
    void undoTextChanged(const QString &undoText, QmdRequestId rid);
    // Around every reset: views drop what they show before the document is
    // replaced and rebuild it afterwards.
    void modelAboutToBeReset();
    void modelReset();
    void itemsChanged(const QmdIndex &parent, const QmdItemIdList &idList, QmdRequestId rid);
    void itemsChanged(const QmdIndex &parent, const QStringList &keys, QmdRequestId rid);
    void itemsRemoved(const QmdIndex &parent, const QmdItemIdList &idList, QmdRequestId rid);
    void itemsRemoved(const QmdIndex &parent, const QStringList &keys, QmdRequestId rid);
    void rootChanged(QmdRequestId rid);
    void requestFinished(QmdRequestId rid, int status);

public Q_SLOTS:
    void reset();
    void updateBoundObject(QObject *obj, const char *objProperty = nullptr);
    void unbind(QObject *obj, const char *objProperty = nullptr,
                QmdController::UnbindActions actions = UnbindAll);
    void unbind(const QObjectList &objs, QmdController::UnbindActions actions = UnbindAll);

    virtual QmdRequestId requestSetUndoRedoLimit(int limit);
    virtual QmdRequestId requestMarkAsCleanState();
    virtual QmdRequestId requestRedo();
    virtual QmdRequestId requestUndo();

    virtual QmdRequestId requestAddData(const QVariant &data, const QmdIndex &parent,
                                        const QmdRequestOptions &options);
    QmdRequestId requestAddData(const QVariant &data, const QmdIndex &parent = QmdIndex())
    {
        return requestAddData(data, parent, tr("Add Data"));
    }
    virtual QmdRequestId requestAddData(const QList<QVariant> &data, const QmdIndex &parent,
                                        const QmdRequestOptions &options);
    QmdRequestId requestAddData(const QList<QVariant> &data, const QmdIndex &parent = QmdIndex())
    {
        return requestAddData(data, parent, tr("Add Data"));
    }

    virtual QmdRequestId requestSetData(QmdItemId id, const QVariant &data, const QmdIndex &parent,
                                        const QmdRequestOptions &options);
    QmdRequestId requestSetData(QmdItemId id, const QVariant &data,
                                const QmdIndex &parent = QmdIndex())
    {
        return requestSetData(id, data, parent, tr("Set Data"));
    }
    virtual QmdRequestId requestSetData(const QHash<QmdItemId, QVariant> &pairs,
                                        const QmdIndex &parent, const QmdRequestOptions &options);
    QmdRequestId requestSetData(const QHash<QmdItemId, QVariant> &pairs,
                                const QmdIndex &parent = QmdIndex())
    {
        return requestSetData(pairs, parent, tr("Set Data"));
    }
    virtual QmdRequestId requestSetData(const QString &key, const QVariant &data,
                                        const QmdIndex &parent, const QmdRequestOptions &options);
    QmdRequestId requestSetData(const QString &key, const QVariant &data,
                                const QmdIndex &parent = QmdIndex())
    {
        return requestSetData(key, data, parent, tr("Set Data"));
    }
    virtual QmdRequestId requestSetData(const QHash<QString, QVariant> &pairs,
                                        const QmdIndex &parent, const QmdRequestOptions &options);
    QmdRequestId requestSetData(const QHash<QString, QVariant> &pairs,
                                const QmdIndex &parent = QmdIndex())
    {
        return requestSetData(pairs, parent, tr("Set Data"));
    }
    virtual QmdRequestId requestSetRoot(const QVariant &data, const QmdRequestOptions &options);
    QmdRequestId requestSetRoot(const QVariant &data)
    {
        return requestSetRoot(data, tr("Set Root"));
    }
    virtual QmdRequestId requestSetData(const QmdIndex &index, const QVariant &data,
                                        const QmdRequestOptions &options);
    QmdRequestId requestSetData(const QmdIndex &index, const QVariant &data)
    {
        return requestSetData(index, data, tr("Set Data"));
    }
    virtual QmdRequestId requestSetData(const QHash<QmdIndex, QVariant> &pairs,
                                        const QmdRequestOptions &options);
    QmdRequestId requestSetData(const QHash<QmdIndex, QVariant> &pairs)
    {
        return requestSetData(pairs, tr("Set Data"));
    }
    virtual QmdRequestId requestSetDataIfInvalid(QmdItemId id, const QVariant &fallbackData,
                                                 const QmdIndex &parent,
                                                 const QmdRequestOptions &options);
    QmdRequestId requestSetDataIfInvalid(QmdItemId id, const QVariant &fallbackData,
                                         const QmdIndex &parent = QmdIndex())
    {
        return requestSetDataIfInvalid(id, fallbackData, parent, tr("Set Data If Invalid"));
    }
    virtual QmdRequestId requestSetDataIfInvalid(const QString &key, const QVariant &fallbackData,
                                                 const QmdIndex &parent,
                                                 const QmdRequestOptions &options);
    QmdRequestId requestSetDataIfInvalid(const QString &key, const QVariant &fallbackData,
                                         const QmdIndex &parent = QmdIndex())
    {
        return requestSetDataIfInvalid(key, fallbackData, parent, tr("Set Data If Invalid"));
    }

    virtual QmdRequestId requestAddType(Qmd::ContainerType type, const QmdIndex &parent,
                                        const QmdRequestOptions &options);
    QmdRequestId requestAddType(Qmd::ContainerType type, const QmdIndex &parent = QmdIndex())
    {
        return requestAddType(type, parent, tr("Add Type"));
    }
    virtual QmdRequestId requestAddTypes(const QList<Qmd::ContainerType> &types,
                                         const QmdIndex &parent, const QmdRequestOptions &options);
    QmdRequestId requestAddTypes(const QList<Qmd::ContainerType> &types,
                                 const QmdIndex &parent = QmdIndex())
    {
        return requestAddTypes(types, parent, tr("Add Types"));
    }
    virtual QmdRequestId requestSetType(QmdItemId id, Qmd::ContainerType type,
                                        const QmdIndex &parent, const QmdRequestOptions &options);
    QmdRequestId requestSetType(QmdItemId id, Qmd::ContainerType type,
                                const QmdIndex &parent = QmdIndex())
    {
        return requestSetType(id, type, parent, tr("Set Type"));
    }
    virtual QmdRequestId requestSetTypes(const QHash<QmdItemId, Qmd::ContainerType> &pairs,
                                         const QmdIndex &parent, const QmdRequestOptions &options);
    QmdRequestId requestSetTypes(const QHash<QmdItemId, Qmd::ContainerType> &pairs,
                                 const QmdIndex &parent = QmdIndex())
    {
        return requestSetTypes(pairs, parent, tr("Set Types"));
    }
    virtual QmdRequestId requestSetType(const QString &key, Qmd::ContainerType type,
                                        const QmdIndex &parent, const QmdRequestOptions &options);
    QmdRequestId requestSetType(const QString &key, Qmd::ContainerType type,
                                const QmdIndex &parent = QmdIndex())
    {
        return requestSetType(key, type, parent, tr("Set Type"));
    }
    virtual QmdRequestId requestSetTypes(const QHash<QString, Qmd::ContainerType> &pairs,
                                         const QmdIndex &parent, const QmdRequestOptions &options);
    QmdRequestId requestSetTypes(const QHash<QString, Qmd::ContainerType> &pairs,
                                 const QmdIndex &parent = QmdIndex())
    {
        return requestSetTypes(pairs, parent, tr("Set Types"));
    }
    virtual QmdRequestId requestSetRootType(Qmd::ContainerType type,
                                            const QmdRequestOptions &options);
    QmdRequestId requestSetRootType(Qmd::ContainerType type)
    {
        return requestSetRootType(type, tr("Set Root Type"));
    }
    virtual QmdRequestId requestSetType(const QmdIndex &index, Qmd::ContainerType type,
                                        const QmdRequestOptions &options);
    QmdRequestId requestSetType(const QmdIndex &index, Qmd::ContainerType type)
    {
        return requestSetType(index, type, tr("Set Type"));
    }
    virtual QmdRequestId requestSetTypes(const QHash<QmdIndex, Qmd::ContainerType> &pairs,
                                         const QmdRequestOptions &options);
    QmdRequestId requestSetTypes(const QHash<QmdIndex, Qmd::ContainerType> &pairs)
    {
        return requestSetTypes(pairs, tr("Set Types"));
    }
    virtual QmdRequestId requestSetTypeIfInvalid(QmdItemId id, Qmd::ContainerType fallbackType,
                                                 const QmdIndex &parent,
                                                 const QmdRequestOptions &options);
    QmdRequestId requestSetTypeIfInvalid(QmdItemId id, Qmd::ContainerType fallbackType,
                                         const QmdIndex &parent = QmdIndex())
    {
        return requestSetTypeIfInvalid(id, fallbackType, parent, tr("Set Type If Invalid"));
    }
    virtual QmdRequestId requestSetTypeIfInvalid(const QString &key,
                                                 Qmd::ContainerType fallbackType,
                                                 const QmdIndex &parent,
                                                 const QmdRequestOptions &options);
    QmdRequestId requestSetTypeIfInvalid(const QString &key, Qmd::ContainerType fallbackType,
                                         const QmdIndex &parent = QmdIndex())
    {
        return requestSetTypeIfInvalid(key, fallbackType, parent, tr("Set Type If Invalid"));
    }

    virtual QmdRequestId requestRemove(QmdItemId id, const QmdIndex &parent,
                                       const QmdRequestOptions &options);
    QmdRequestId requestRemove(QmdItemId id, const QmdIndex &parent = QmdIndex())
    {
        return requestRemove(id, parent, tr("Remove"));
    }
    virtual QmdRequestId requestRemove(const QmdItemIdList &idList, const QmdIndex &parent,
                                       const QmdRequestOptions &options);
    QmdRequestId requestRemove(const QmdItemIdList &idList, const QmdIndex &parent = QmdIndex())
    {
        return requestRemove(idList, parent, tr("Remove"));
    }
    virtual QmdRequestId requestRemove(const QString &key, const QmdIndex &parent,
                                       const QmdRequestOptions &options);
    QmdRequestId requestRemove(const QString &key, const QmdIndex &parent = QmdIndex())
    {
        return requestRemove(key, parent, tr("Remove"));
    }
    virtual QmdRequestId requestRemove(const QStringList &keys, const QmdIndex &parent,
                                       const QmdRequestOptions &options);
    QmdRequestId requestRemove(const QStringList &keys, const QmdIndex &parent = QmdIndex())
    {
        return requestRemove(keys, parent, tr("Remove"));
    }
    virtual QmdRequestId requestRemove(const QmdIndex &index, const QmdRequestOptions &options);
    QmdRequestId requestRemove(const QmdIndex &index) { return requestRemove(index, tr("Remove")); }
    virtual QmdRequestId requestRemove(const QmdIndexList &indexes,
                                       const QmdRequestOptions &options);
    QmdRequestId requestRemove(const QmdIndexList &indexes)
    {
        return requestRemove(indexes, tr("Remove"));
    }
    virtual QmdRequestId requestClear(const QmdIndex &parent, const QmdRequestOptions &options);
    QmdRequestId requestClear(const QmdIndex &parent = QmdIndex())
    {
        return requestClear(parent, tr("Clear"));
    }

protected Q_SLOTS:
    void unbindForDeletion(QObject *obj);
    void unbindForDeletion(const QObjectList &objs);

    virtual void receivedAtCleanStateChanged(bool atCleanState, QmdRequestId rid);
    virtual void receivedCanRedoChanged(bool canRedo, QmdRequestId rid);
    virtual void receivedCanUndoChanged(bool canUndo, QmdRequestId rid);
    virtual void receivedRedoTextChanged(const QString &redoText, QmdRequestId rid);
    virtual void receivedUndoTextChanged(const QString &undoText, QmdRequestId rid);
    virtual void receivedItemsChanged(const QmdIndex &parent, const QmdItemIdList &idList,
                                      QmdRequestId rid);
    virtual void receivedItemsChanged(const QmdIndex &parent, const QStringList &keys,
                                      QmdRequestId rid);
    virtual void receivedItemsRemoved(const QmdIndex &parent, const QmdItemIdList &idList,
                                      QmdRequestId rid);
    virtual void receivedItemsRemoved(const QmdIndex &parent, const QStringList &keys,
                                      QmdRequestId rid);
    virtual void receivedRootChanged(QmdRequestId rid);
    virtual void receivedRequestFinished(QmdRequestId rid, Qmd::RequestFlags flags, int status);

protected:
    // The unlocked mutators of the model interface are for the controller's
    // own requests: called from outside they would bypass the lock, the undo
    // history and the change signals.
    using QmdDirectModelInterface::addData;
    using QmdDirectModelInterface::addType;
    using QmdDirectModelInterface::addTypes;
    using QmdDirectModelInterface::clear;
    using QmdDirectModelInterface::remove;
    using QmdDirectModelInterface::setData;
    using QmdDirectModelInterface::setType;
    using QmdDirectModelInterface::setTypes;

    // Brings the document to its standard state; reset() runs it and then
    // emits modelReset(). Here: refresh every bound object.
    virtual void resetDocument();

    // Issues the next request id: 2, 3, ... up to 4294967295, then 1 again;
    // never 0.
    virtual QmdRequestId nextRequestId();
    // The raw request counter, for subclasses that persist or inspect it.
    virtual QmdRequestId requestCounter() const;
    virtual void setRequestCounter(QmdRequestId counter);

    // Called with the id of every request whose requestFinished has been
    // handled, under the request hooks.
    virtual void requestFinishedHook(QmdRequestId rid);
    virtual void beforeReadHook() const;
    virtual void afterReadHook() const;
    virtual void beforeRequestHook() const;
    virtual void afterRequestHook() const;

    // Frame model operations as one request: the before-request hook, then
    // the model's beginRequest; the model's endRequest, then the after-request
    // hook. Subclasses continue requests under an id they were given.
    virtual void beginRequest(QmdRequestId rid, Qmd::RequestFlags flags, const QString &text);
    virtual void endRequest();

    // Takes the id from options (or issues a new one) and begins the request.
    QmdRequestId startRequest(const QmdRequestOptions &options);

    // Holds the read hooks for the lifetime of the scope, for sections that
    // must see the document without a request in between.
    class ReadScope
    {
    public:
        explicit ReadScope(const QmdController *c) : m_c(c) { m_c->beforeReadHook(); }
        ~ReadScope() { m_c->afterReadHook(); }
        ReadScope(const ReadScope &) = delete;
        ReadScope &operator=(const ReadScope &) = delete;

    private:
        const QmdController *m_c;
    };
    // The same with the request hooks, for changes of the controller's own
    // tables.
    class RequestScope
    {
    public:
        explicit RequestScope(const QmdController *c) : m_c(c) { m_c->beforeRequestHook(); }
        ~RequestScope() { m_c->afterRequestHook(); }
        RequestScope(const RequestScope &) = delete;
        RequestScope &operator=(const RequestScope &) = delete;

    private:
        const QmdController *m_c;
    };

private Q_SLOTS:
    void onBoundObjectSignalled();

private:
    struct Binding
    {
        QByteArray property;
        QByteArray notifySignal; // as made by SIGNAL(), empty for read-only
        int notifyIndex = -1;    // meta-method index of the notify signal
        QHash<QmdIndex, QSet<QString>> targets;
        QVariant emptyValue;
        QVariant mixedValue;
        QString text;
        QmdRequestOptions options;
    };

    template <class Operation>
    QmdRequestId serve(const QmdRequestOptions &options, Operation &&operation);
    template <class Operation>
    QmdRequestId serveUndoRequest(const QString &text, bool isReplay, Operation &&operation);

    QVariant boundValue(const Binding &binding) const;
    void storeBinding(QObject *obj, const Binding &binding);
    void forgetBinding(QObject *obj, const QByteArray &property);
    void disconnectBinding(QObject *obj, const Binding &binding,
                           const QList<QByteArray> &unboundProperties);
    void connectNotifySignal(QObject *obj, const QByteArray &signal);
    void disconnectNotifySignal(QObject *obj, const QByteArray &signal);
    void writeBoundTargets(QObject *obj, const Binding &binding, QmdRequestId &rid);
    void recordRefresh(const QmdIndex &parent, const QStringList &keys, QmdRequestId rid);

    QmdRequestId m_requestCounter = 1;
    QHash<QObject *, QList<Binding>> m_bindings;
    // parent -> key -> objects bound to that key
    QHash<QmdIndex, QHash<QString, QSet<QObject *>>> m_boundTargets;
    // objects to refresh when the request with the id finishes
    QHash<QmdRequestId, QSet<QObject *>> m_pendingRefresh;
    QSet<QmdRequestId> m_undoRedoRequests;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(QmdController::UnbindActions)
