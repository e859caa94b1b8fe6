#include "qmdcontroller.h"

#include "qmdmodel.h"

#include <QMetaMethod>
#include <QMetaObject>
#include <QtDebug>

#include <limits>

QmdController::QmdController(QObject *parent) : QObject(parent) {}

QmdController::~QmdController() = default;

void QmdController::setModel(QmdModel *newModel)
{
    {
        RequestScope scope(this);
        if (QmdModel *old = model())
            disconnect(old, nullptr, this, nullptr);
        QmdDirectModelInterface::setModel(newModel);
    }
    if (newModel) {
        // Queued even within one thread: a request returns its id before any
        // of its signals reaches an observer.
        const auto queued = Qt::QueuedConnection;
        using IdsSignal = void (QmdModel::*)(const QmdIndex &, const QmdItemIdList &, QmdRequestId);
        using KeysSignal = void (QmdModel::*)(const QmdIndex &, const QStringList &, QmdRequestId);
        using IdsSlot =
            void (QmdController::*)(const QmdIndex &, const QmdItemIdList &, QmdRequestId);
        using KeysSlot =
            void (QmdController::*)(const QmdIndex &, const QStringList &, QmdRequestId);
        connect(newModel, &QmdModel::atCleanStateChanged, this,
                &QmdController::receivedAtCleanStateChanged, queued);
        connect(newModel, &QmdModel::canRedoChanged, this, &QmdController::receivedCanRedoChanged,
                queued);
        connect(newModel, &QmdModel::canUndoChanged, this, &QmdController::receivedCanUndoChanged,
                queued);
        connect(newModel, &QmdModel::redoTextChanged, this, &QmdController::receivedRedoTextChanged,
                queued);
        connect(newModel, &QmdModel::undoTextChanged, this, &QmdController::receivedUndoTextChanged,
                queued);
        connect(newModel, IdsSignal(&QmdModel::itemsChanged), this,
                IdsSlot(&QmdController::receivedItemsChanged), queued);
        connect(newModel, KeysSignal(&QmdModel::itemsChanged), this,
                KeysSlot(&QmdController::receivedItemsChanged), queued);
        connect(newModel, IdsSignal(&QmdModel::itemsRemoved), this,
                IdsSlot(&QmdController::receivedItemsRemoved), queued);
        connect(newModel, KeysSignal(&QmdModel::itemsRemoved), this,
                KeysSlot(&QmdController::receivedItemsRemoved), queued);
        connect(newModel, &QmdModel::rootChanged, this, &QmdController::receivedRootChanged,
                queued);
        connect(newModel, &QmdModel::requestFinished, this, &QmdController::receivedRequestFinished,
                queued);
    }
    reset();
}

// --- Reads -----------------------------------------------------------------

bool QmdController::isValid(const QmdIndex &index) const
{
    ReadScope scope(this);
    return QmdDirectModelInterface::isValid(index);
}

QmdIndex QmdController::index(const QString &key, const QmdIndex &parent) const
{
    ReadScope scope(this);
    return QmdDirectModelInterface::index(key, parent);
}

QmdIndex QmdController::index(QmdItemId id, const QmdIndex &parent) const
{
    ReadScope scope(this);
    return QmdDirectModelInterface::index(id, parent);
}

QmdIndex QmdController::parent(const QmdIndex &index) const
{
    ReadScope scope(this);
    return QmdDirectModelInterface::parent(index);
}

bool QmdController::hasChildren(const QmdIndex &index) const
{
    ReadScope scope(this);
    return QmdDirectModelInterface::hasChildren(index);
}

QmdIndexList QmdController::children(const QmdIndex &index) const
{
    ReadScope scope(this);
    return QmdDirectModelInterface::children(index);
}

QVariant QmdController::data(const QmdIndex &index) const
{
    ReadScope scope(this);
    return QmdDirectModelInterface::data(index);
}

Qmd::ContainerType QmdController::containerType(const QmdIndex &index) const
{
    ReadScope scope(this);
    return QmdDirectModelInterface::containerType(index);
}

QmdItemIdList QmdController::ids(const QmdIndex &parent) const
{
    ReadScope scope(this);
    return QmdDirectModelInterface::ids(parent);
}

QStringList QmdController::keys(const QmdIndex &parent) const
{
    ReadScope scope(this);
    return QmdDirectModelInterface::keys(parent);
}

QVariantList QmdController::values(const QmdIndex &parent, const QStringList &keys) const
{
    ReadScope scope(this);
    return QmdDirectModelInterface::values(parent, keys);
}

int QmdController::undoRedoLimit() const
{
    ReadScope scope(this);
    return QmdDirectModelInterface::undoRedoLimit();
}

bool QmdController::isAtCleanState() const
{
    ReadScope scope(this);
    return QmdDirectModelInterface::isAtCleanState();
}

int QmdController::undoRedoCount() const
{
    ReadScope scope(this);
    return QmdDirectModelInterface::undoRedoCount();
}

bool QmdController::canRedo() const
{
    ReadScope scope(this);
    return QmdDirectModelInterface::canRedo();
}

bool QmdController::canUndo() const
{
    ReadScope scope(this);
    return QmdDirectModelInterface::canUndo();
}

QString QmdController::redoText() const
{
    ReadScope scope(this);
    return QmdDirectModelInterface::redoText();
}

QString QmdController::undoText() const
{
    ReadScope scope(this);
    return QmdDirectModelInterface::undoText();
}

// --- Requests --------------------------------------------------------------

QmdRequestId QmdController::nextRequestId()
{
    constexpr QmdRequestId last = std::numeric_limits<QmdRequestId>::max();
    m_requestCounter =
        (m_requestCounter != 0 && m_requestCounter < last) ? m_requestCounter + 1 : 1;
    return m_requestCounter;
}

QmdRequestId QmdController::requestCounter() const
{
    return m_requestCounter;
}

void QmdController::setRequestCounter(QmdRequestId counter)
{
    m_requestCounter = counter;
}

void QmdController::requestFinishedHook(QmdRequestId) {}

void QmdController::beforeReadHook() const {}

void QmdController::afterReadHook() const {}

void QmdController::beforeRequestHook() const {}

void QmdController::afterRequestHook() const {}

void QmdController::beginRequest(QmdRequestId rid, Qmd::RequestFlags flags, const QString &text)
{
    beforeRequestHook();
    if (QmdModel *m = model())
        m->beginRequest(rid, QmdRequestOptions(flags, text, rid), text);
}

void QmdController::endRequest()
{
    if (QmdModel *m = model())
        m->endRequest();
    afterRequestHook();
}

QmdRequestId QmdController::startRequest(const QmdRequestOptions &options)
{
    const QmdRequestId rid = options.requestId ? options.requestId : nextRequestId();
    beginRequest(rid, options.flags, options.text);
    return rid;
}

template <class Operation>
QmdRequestId QmdController::serve(const QmdRequestOptions &options, Operation &&operation)
{
    const QmdRequestId rid = startRequest(options);
    operation();
    endRequest();
    return rid;
}

template <class Operation>
QmdRequestId QmdController::serveUndoRequest(const QString &text, bool isReplay,
                                             Operation &&operation)
{
    const QmdRequestId rid = startRequest(QmdRequestOptions(Qmd::NoUndo, text));
    // Recorded inside the request, so the mark is in place before any of its
    // signals can be handled.
    if (isReplay)
        m_undoRedoRequests.insert(rid);
    if (QmdModel *m = model())
        operation(m);
    endRequest();
    return rid;
}

QmdRequestId QmdController::requestSetUndoRedoLimit(int limit)
{
    return serveUndoRequest(tr("Undo/Redo Limit"), false,
                            [limit](QmdModel *m) { m->setUndoRedoLimit(limit); });
}

QmdRequestId QmdController::requestMarkAsCleanState()
{
    return serveUndoRequest(tr("Mark Clean State"), false,
                            [](QmdModel *m) { m->markAsCleanState(); });
}

QmdRequestId QmdController::requestRedo()
{
    return serveUndoRequest(tr("Redo"), true, [](QmdModel *m) { m->redo(); });
}

QmdRequestId QmdController::requestUndo()
{
    return serveUndoRequest(tr("Undo"), true, [](QmdModel *m) { m->undo(); });
}

QmdRequestId QmdController::requestAddData(const QVariant &data, const QmdIndex &parent,
                                           const QmdRequestOptions &options)
{
    return serve(options, [&] { addData(data, parent); });
}

QmdRequestId QmdController::requestAddData(const QList<QVariant> &data, const QmdIndex &parent,
                                           const QmdRequestOptions &options)
{
    return serve(options, [&] { addData(data, parent); });
}

QmdRequestId QmdController::requestSetData(QmdItemId id, const QVariant &data,
                                           const QmdIndex &parent, const QmdRequestOptions &options)
{
    return serve(options, [&] { setData(id, data, parent); });
}

QmdRequestId QmdController::requestSetData(const QHash<QmdItemId, QVariant> &pairs,
                                           const QmdIndex &parent, const QmdRequestOptions &options)
{
    return serve(options, [&] { setData(pairs, parent); });
}

QmdRequestId QmdController::requestSetData(const QString &key, const QVariant &data,
                                           const QmdIndex &parent, const QmdRequestOptions &options)
{
    return serve(options, [&] { setData(key, data, parent); });
}

QmdRequestId QmdController::requestSetData(const QHash<QString, QVariant> &pairs,
                                           const QmdIndex &parent, const QmdRequestOptions &options)
{
    return serve(options, [&] { setData(pairs, parent); });
}

QmdRequestId QmdController::requestSetRoot(const QVariant &data, const QmdRequestOptions &options)
{
    return serve(options, [&] { setData(QmdIndex(), data); });
}

QmdRequestId QmdController::requestSetData(const QmdIndex &index, const QVariant &data,
                                           const QmdRequestOptions &options)
{
    return serve(options, [&] { setData(index, data); });
}

QmdRequestId QmdController::requestSetData(const QHash<QmdIndex, QVariant> &pairs,
                                           const QmdRequestOptions &options)
{
    return serve(options, [&] { setData(pairs); });
}

QmdRequestId QmdController::requestSetDataIfInvalid(QmdItemId id, const QVariant &fallbackData,
                                                    const QmdIndex &parent,
                                                    const QmdRequestOptions &options)
{
    return serve(options, [&] {
        if (!isValid(index(id, parent)))
            setData(id, fallbackData, parent);
    });
}

QmdRequestId QmdController::requestSetDataIfInvalid(const QString &key,
                                                    const QVariant &fallbackData,
                                                    const QmdIndex &parent,
                                                    const QmdRequestOptions &options)
{
    return serve(options, [&] {
        if (!isValid(index(key, parent)))
            setData(key, fallbackData, parent);
    });
}

QmdRequestId QmdController::requestAddType(Qmd::ContainerType type, const QmdIndex &parent,
                                           const QmdRequestOptions &options)
{
    return serve(options, [&] { addType(type, parent); });
}

QmdRequestId QmdController::requestAddTypes(const QList<Qmd::ContainerType> &types,
                                            const QmdIndex &parent,
                                            const QmdRequestOptions &options)
{
    return serve(options, [&] { addTypes(types, parent); });
}

QmdRequestId QmdController::requestSetType(QmdItemId id, Qmd::ContainerType type,
                                           const QmdIndex &parent, const QmdRequestOptions &options)
{
    return serve(options, [&] { setType(id, type, parent); });
}

QmdRequestId QmdController::requestSetTypes(const QHash<QmdItemId, Qmd::ContainerType> &pairs,
                                            const QmdIndex &parent,
                                            const QmdRequestOptions &options)
{
    return serve(options, [&] { setTypes(pairs, parent); });
}

QmdRequestId QmdController::requestSetType(const QString &key, Qmd::ContainerType type,
                                           const QmdIndex &parent, const QmdRequestOptions &options)
{
    return serve(options, [&] { setType(key, type, parent); });
}

QmdRequestId QmdController::requestSetTypes(const QHash<QString, Qmd::ContainerType> &pairs,
                                            const QmdIndex &parent,
                                            const QmdRequestOptions &options)
{
    return serve(options, [&] { setTypes(pairs, parent); });
}

QmdRequestId QmdController::requestSetRootType(Qmd::ContainerType type,
                                               const QmdRequestOptions &options)
{
    return serve(options, [&] { setType(QmdIndex(), type); });
}

QmdRequestId QmdController::requestSetType(const QmdIndex &index, Qmd::ContainerType type,
                                           const QmdRequestOptions &options)
{
    return serve(options, [&] { setType(index, type); });
}

QmdRequestId QmdController::requestSetTypes(const QHash<QmdIndex, Qmd::ContainerType> &pairs,
                                            const QmdRequestOptions &options)
{
    return serve(options, [&] { setTypes(pairs); });
}

QmdRequestId QmdController::requestSetTypeIfInvalid(QmdItemId id, Qmd::ContainerType fallbackType,
                                                    const QmdIndex &parent,
                                                    const QmdRequestOptions &options)
{
    return serve(options, [&] {
        if (!isValid(index(id, parent)))
            setType(id, fallbackType, parent);
    });
}

QmdRequestId QmdController::requestSetTypeIfInvalid(const QString &key,
                                                    Qmd::ContainerType fallbackType,
                                                    const QmdIndex &parent,
                                                    const QmdRequestOptions &options)
{
    return serve(options, [&] {
        if (!isValid(index(key, parent)))
            setType(key, fallbackType, parent);
    });
}

QmdRequestId QmdController::requestRemove(QmdItemId id, const QmdIndex &parent,
                                          const QmdRequestOptions &options)
{
    return serve(options, [&] { remove(id, parent); });
}

QmdRequestId QmdController::requestRemove(const QmdItemIdList &idList, const QmdIndex &parent,
                                          const QmdRequestOptions &options)
{
    return serve(options, [&] { remove(idList, parent); });
}

QmdRequestId QmdController::requestRemove(const QString &key, const QmdIndex &parent,
                                          const QmdRequestOptions &options)
{
    return serve(options, [&] { remove(key, parent); });
}

QmdRequestId QmdController::requestRemove(const QStringList &keys, const QmdIndex &parent,
                                          const QmdRequestOptions &options)
{
    return serve(options, [&] { remove(keys, parent); });
}

QmdRequestId QmdController::requestRemove(const QmdIndex &index, const QmdRequestOptions &options)
{
    return serve(options, [&] { remove(QmdIndexList{index}); });
}

QmdRequestId QmdController::requestRemove(const QmdIndexList &indexes,
                                          const QmdRequestOptions &options)
{
    return serve(options, [&] { remove(indexes); });
}

QmdRequestId QmdController::requestClear(const QmdIndex &parent, const QmdRequestOptions &options)
{
    return serve(options, [&] { clear(parent); });
}

bool QmdController::isUndoRedoRequest(QmdRequestId rid) const
{
    ReadScope scope(this);
    return m_undoRedoRequests.contains(rid);
}

// --- Model signals ---------------------------------------------------------

void QmdController::receivedAtCleanStateChanged(bool atCleanState, QmdRequestId rid)
{
    Q_EMIT atCleanStateChanged(atCleanState, rid);
}

void QmdController::receivedCanRedoChanged(bool canRedo, QmdRequestId rid)
{
    Q_EMIT canRedoChanged(canRedo, rid);
}

void QmdController::receivedCanUndoChanged(bool canUndo, QmdRequestId rid)
{
    Q_EMIT canUndoChanged(canUndo, rid);
}

void QmdController::receivedRedoTextChanged(const QString &redoText, QmdRequestId rid)
{
    Q_EMIT redoTextChanged(redoText, rid);
}

void QmdController::receivedUndoTextChanged(const QString &undoText, QmdRequestId rid)
{
    Q_EMIT undoTextChanged(undoText, rid);
}

void QmdController::receivedItemsChanged(const QmdIndex &parent, const QmdItemIdList &idList,
                                         QmdRequestId rid)
{
    Q_EMIT itemsChanged(parent, idList, rid);
}

void QmdController::receivedItemsChanged(const QmdIndex &parent, const QStringList &keys,
                                         QmdRequestId rid)
{
    recordRefresh(parent, keys, rid);
    Q_EMIT itemsChanged(parent, keys, rid);
}

void QmdController::receivedItemsRemoved(const QmdIndex &parent, const QmdItemIdList &idList,
                                         QmdRequestId rid)
{
    Q_EMIT itemsRemoved(parent, idList, rid);
}

void QmdController::receivedItemsRemoved(const QmdIndex &parent, const QStringList &keys,
                                         QmdRequestId rid)
{
    recordRefresh(parent, keys, rid);
    Q_EMIT itemsRemoved(parent, keys, rid);
}

void QmdController::receivedRootChanged(QmdRequestId rid)
{
    Q_EMIT rootChanged(rid);
}

void QmdController::receivedRequestFinished(QmdRequestId rid, Qmd::RequestFlags, int status)
{
    QSet<QObject *> objects;
    {
        ReadScope scope(this);
        objects = m_pendingRefresh.value(rid);
    }
    for (QObject *obj : std::as_const(objects)) {
        // An earlier refresh may have led to this object's unbinding.
        if (isBound(obj))
            updateBoundObject(obj);
    }
    Q_EMIT requestFinished(rid, status);

    RequestScope scope(this);
    m_pendingRefresh.remove(rid);
    requestFinishedHook(rid);
    // Forgotten after the hook, so that the hook can still ask.
    m_undoRedoRequests.remove(rid);
}

void QmdController::recordRefresh(const QmdIndex &parent, const QStringList &keys, QmdRequestId rid)
{
    RequestScope scope(this);
    const auto byKey = m_boundTargets.constFind(parent);
    if (byKey == m_boundTargets.cend())
        return;
    for (const QString &key : keys) {
        const auto objects = byKey->constFind(key);
        if (objects != byKey->cend())
            m_pendingRefresh[rid].unite(*objects);
    }
}

// --- Reset -----------------------------------------------------------------

void QmdController::reset()
{
    Q_EMIT modelAboutToBeReset();
    resetDocument();
    Q_EMIT modelReset();
}

void QmdController::resetDocument()
{
    QList<QObject *> objects;
    {
        ReadScope scope(this);
        objects = m_bindings.keys();
    }
    for (QObject *obj : std::as_const(objects))
        updateBoundObject(obj);
}

// --- Binding ---------------------------------------------------------------

void QmdController::bind(QObject *obj, const char *objProperty, const char *notifySignal,
                         const QHash<QmdIndex, QSet<QString>> &targets, const QVariant &emptyValue,
                         const QVariant &mixedValue, const QString &text,
                         const QmdRequestOptions &options)
{
    if (!obj || !objProperty || !*objProperty)
        return;
    unbind(obj, objProperty, UnbindAll);

    Binding binding;
    binding.property = objProperty;
    binding.targets = targets;
    binding.emptyValue = emptyValue;
    binding.mixedValue = mixedValue;
    binding.text = text;
    binding.options = options;
    const QByteArray signal(notifySignal ? notifySignal : "");
    if (!signal.isEmpty()) {
        // SIGNAL() prefixes the signature with a code; the rest names the
        // signal whose index onBoundObjectSignalled() compares against.
        const QMetaObject *meta = obj->metaObject();
        int index = signal.at(0) == '0' + QSIGNAL_CODE
                        ? meta->indexOfSignal(QMetaObject::normalizedSignature(signal.mid(1)))
                        : -1;
        // A signal with default arguments is listed once per shorter form,
        // each after the full one; a sender always reports the full one.
        while (index > 0 && (meta->method(index).attributes() & QMetaMethod::Cloned))
            --index;
        if (index < 0) {
            qWarning("QmdController::bind: %s has no signal %s; the binding is read-only",
                     obj->metaObject()->className(), signal.constData());
        } else {
            binding.notifySignal = signal;
            binding.notifyIndex = index;
        }
    }

    const bool wasBound = isBound(obj);
    storeBinding(obj, binding);
    updateBoundObject(obj, objProperty);
    if (!wasBound)
        connect(obj, &QObject::destroyed, this,
                qOverload<QObject *>(&QmdController::unbindForDeletion));
}

void QmdController::bind(QObject *obj, const char *objProperty, const char *notifySignal,
                         const QString &key, const QmdIndex &parent, const QVariant &emptyValue,
                         const QVariant &mixedValue, const QString &text,
                         const QmdRequestOptions &options)
{
    bind(obj, objProperty, notifySignal, QHash<QmdIndex, QSet<QString>>{{parent, {key}}},
         emptyValue, mixedValue, text, options);
}

bool QmdController::isBound(QObject *obj, const char *objProperty) const
{
    ReadScope scope(this);
    const auto bindings = m_bindings.constFind(obj);
    if (bindings == m_bindings.cend())
        return false;
    if (!objProperty)
        return true;
    for (const Binding &binding : *bindings) {
        if (binding.property == objProperty)
            return true;
    }
    return false;
}

void QmdController::storeBinding(QObject *obj, const Binding &binding)
{
    RequestScope scope(this);
    m_bindings[obj].append(binding);
    for (auto it = binding.targets.cbegin(); it != binding.targets.cend(); ++it) {
        for (const QString &key : it.value())
            m_boundTargets[it.key()][key].insert(obj);
    }
}

void QmdController::forgetBinding(QObject *obj, const QByteArray &property)
{
    RequestScope scope(this);
    auto bindings = m_bindings.find(obj);
    if (bindings == m_bindings.end())
        return;
    QHash<QmdIndex, QSet<QString>> released;
    for (auto it = bindings->begin(); it != bindings->end();) {
        if (it->property == property) {
            released = it->targets;
            it = bindings->erase(it);
        } else {
            ++it;
        }
    }
    // A target stays registered while another binding of the object uses it.
    for (const Binding &other : std::as_const(*bindings)) {
        for (auto it = other.targets.cbegin(); it != other.targets.cend(); ++it) {
            if (released.contains(it.key()))
                released[it.key()].subtract(it.value());
        }
    }
    for (auto it = released.cbegin(); it != released.cend(); ++it) {
        auto byKey = m_boundTargets.find(it.key());
        if (byKey == m_boundTargets.end())
            continue;
        for (const QString &key : it.value()) {
            auto objects = byKey->find(key);
            if (objects == byKey->end())
                continue;
            objects->remove(obj);
            if (objects->isEmpty())
                byKey->erase(objects);
        }
        if (byKey->isEmpty())
            m_boundTargets.erase(byKey);
    }
    if (bindings->isEmpty()) {
        m_bindings.erase(bindings);
        for (auto it = m_pendingRefresh.begin(); it != m_pendingRefresh.end(); ++it)
            it->remove(obj);
    }
}

QVariant QmdController::boundValue(const Binding &binding) const
{
    // All targets of one binding are read without a request in between.
    ReadScope scope(this);
    bool first = true;
    QVariant value;
    for (auto it = binding.targets.cbegin(); it != binding.targets.cend(); ++it) {
        for (const QString &key : it.value()) {
            const QmdIndex item = index(key, it.key());
            const QVariant itemValue = isValid(item) ? data(item) : QVariant();
            if (first) {
                value = itemValue;
                first = false;
            } else if (itemValue != value) {
                return binding.mixedValue;
            }
        }
    }
    return value.isValid() ? value : binding.emptyValue;
}

void QmdController::connectNotifySignal(QObject *obj, const QByteArray &signal)
{
    connect(obj, signal.constData(), this, SLOT(onBoundObjectSignalled()), Qt::UniqueConnection);
}

void QmdController::disconnectNotifySignal(QObject *obj, const QByteArray &signal)
{
    disconnect(obj, signal.constData(), this, SLOT(onBoundObjectSignalled()));
}

void QmdController::updateBoundObject(QObject *obj, const char *objProperty)
{
    if (!obj)
        return;
    QList<Binding> bindings;
    {
        ReadScope scope(this);
        bindings = m_bindings.value(obj);
    }
    for (const Binding &binding : std::as_const(bindings)) {
        if (objProperty && binding.property != objProperty)
            continue;
        const QVariant value = boundValue(binding);
        // The object's reaction to the new value is not a user edit.
        if (!binding.notifySignal.isEmpty())
            disconnectNotifySignal(obj, binding.notifySignal);
        if (obj->property(binding.property.constData()) != value)
            obj->setProperty(binding.property.constData(), value);
        if (!binding.notifySignal.isEmpty())
            connectNotifySignal(obj, binding.notifySignal);
    }
}

void QmdController::onBoundObjectSignalled()
{
    QObject *obj = sender();
    const int signal = senderSignalIndex();
    if (!obj)
        return;
    QList<Binding> fired;
    {
        RequestScope scope(this);
        for (const Binding &binding : m_bindings.value(obj)) {
            if (binding.notifyIndex == signal)
                fired.append(binding);
        }
    }
    QmdRequestId rid = 0;
    for (const Binding &binding : std::as_const(fired))
        writeBoundTargets(obj, binding, rid);
}

void QmdController::writeBoundTargets(QObject *obj, const Binding &binding, QmdRequestId &rid)
{
    const QVariant value = obj->property(binding.property.constData());
    QHash<QmdIndex, QHash<QString, QVariant>> differing;
    {
        ReadScope scope(this);
        for (auto it = binding.targets.cbegin(); it != binding.targets.cend(); ++it) {
            for (const QString &key : it.value()) {
                const QmdIndex item = index(key, it.key());
                if (!isValid(item) || data(item) != value)
                    differing[it.key()].insert(key, value);
            }
        }
    }
    if (differing.isEmpty())
        return;
    // Bindings fired by one signal share one id and so one undo step.
    if (!rid)
        rid = binding.options.requestId ? binding.options.requestId : nextRequestId();
    beginRequest(rid, binding.options.flags, binding.text);
    for (auto it = differing.cbegin(); it != differing.cend(); ++it)
        setData(it.value(), it.key());
    endRequest();
}

// --- Unbinding -------------------------------------------------------------

void QmdController::unbind(QObject *obj, const char *objProperty, UnbindActions actions)
{
    if (!obj)
        return;
    QList<Binding> all;
    {
        ReadScope scope(this);
        all = m_bindings.value(obj);
    }
    QList<Binding> selected;
    QSet<QByteArray> keptSignals;
    for (const Binding &binding : std::as_const(all)) {
        if (!objProperty || binding.property == objProperty)
            selected.append(binding);
        else
            keptSignals.insert(binding.notifySignal);
    }
    if (selected.isEmpty())
        return;

    if (actions & UnbindDisconnect) {
        if (selected.size() == all.size())
            disconnect(obj, &QObject::destroyed, this,
                       qOverload<QObject *>(&QmdController::unbindForDeletion));
        for (const Binding &binding : std::as_const(selected)) {
            if (!binding.notifySignal.isEmpty() && !keptSignals.contains(binding.notifySignal))
                disconnectNotifySignal(obj, binding.notifySignal);
        }
    }
    if (actions & UnbindReset) {
        for (const Binding &binding : std::as_const(selected)) {
            const bool wasBlocked = obj->blockSignals(true);
            obj->setProperty(binding.property.constData(), binding.emptyValue);
            obj->blockSignals(wasBlocked);
        }
    }
    if (actions & UnbindForget) {
        for (const Binding &binding : std::as_const(selected))
            forgetBinding(obj, binding.property);
    }
}

void QmdController::unbind(const QObjectList &objs, UnbindActions actions)
{
    for (QObject *obj : objs)
        unbind(obj, nullptr, actions);
}

void QmdController::unbindForDeletion(QObject *obj)
{
    // The object is half destroyed: only the records go.
    unbind(obj, nullptr, UnbindForget);
}

void QmdController::unbindForDeletion(const QObjectList &objs)
{
    unbind(objs, UnbindForget);
}
