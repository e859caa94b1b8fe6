#include "qmdmemmodel.h"

#include "qmdmemmodelcommand.h"
#include "qmdmemmodelcontainers.h"
#include "qmdmemmodelremovecommand.h"
#include "qmdmemmodelsetcommand.h"

#include <utility>

// Brackets an operation that may change the undo state: on leaving, emits a
// signal for every part of the state that differs from what it was on
// entering. Nested brackets leave the work to the outermost one.
class QmdMemModel::UndoStateBracket
{
public:
    explicit UndoStateBracket(QmdMemModel *model)
        : m_model(model), m_owner(!model->m_undoStateCaptured)
    {
        if (m_owner) {
            m_model->m_undoStateCaptured = true;
            m_model->m_savedUndoState = {m_model->isAtCleanState(), m_model->canRedo(),
                                         m_model->canUndo(), m_model->redoText(),
                                         m_model->undoText()};
        }
    }
    ~UndoStateBracket()
    {
        if (!m_owner)
            return;
        const UndoState &before = m_model->m_savedUndoState;
        const QmdRequestId rid = m_model->currentRequestId();
        if (const bool clean = m_model->isAtCleanState(); clean != before.atCleanState)
            Q_EMIT m_model->atCleanStateChanged(clean, rid);
        if (const bool can = m_model->canRedo(); can != before.canRedo)
            Q_EMIT m_model->canRedoChanged(can, rid);
        if (const bool can = m_model->canUndo(); can != before.canUndo)
            Q_EMIT m_model->canUndoChanged(can, rid);
        if (const QString text = m_model->redoText(); text != before.redoText)
            Q_EMIT m_model->redoTextChanged(text, rid);
        if (const QString text = m_model->undoText(); text != before.undoText)
            Q_EMIT m_model->undoTextChanged(text, rid);
        m_model->m_undoStateCaptured = false;
    }
    Q_DISABLE_COPY_MOVE(UndoStateBracket)

private:
    QmdMemModel *const m_model;
    const bool m_owner;
};

// Entries of an index-addressed operation sorted by the container their
// index points into; entries at an index that is not valid address the root.
template <class Value> struct QmdMemModel::IndexGroups
{
    QHash<IntDictSpecialItem *, QHash<QmdItemId, Value>> intDicts;
    QHash<StrDictSpecialItem *, QHash<QString, Value>> strDicts;
    QList<Value> root;
};

QmdMemModel::QmdMemModel(QObject *parent) : QmdModel(parent)
{
    qRegisterMetaType<SpecialItemStar>("QmdMemModel::SpecialItemStar");
}

QmdMemModel::QmdMemModel(Qmd::ContainerType rootType, QObject *parent) : QmdMemModel(parent)
{
    m_root = newContainer(rootType, QmdIndex());
}

QmdMemModel::~QmdMemModel()
{
    qDeleteAll(m_undoList);
    qDeleteAll(m_redoList);
    SpecialItem::release(m_root);
}

void QmdMemModel::setUndoRedoLimit(int limit)
{
    UndoStateBracket bracket(this);
    QmdModel::setUndoRedoLimit(limit);
    trimToLimit();
}

bool QmdMemModel::isAtCleanState() const
{
    if (!m_cleanReachable)
        return false;
    return m_undoList.isEmpty() ? m_cleanCommand == nullptr : m_undoList.last() == m_cleanCommand;
}

void QmdMemModel::markAsCleanState()
{
    UndoStateBracket bracket(this);
    m_cleanCommand = m_undoList.isEmpty() ? nullptr : m_undoList.last();
    m_cleanReachable = true;
}

QmdModel::StateMark QmdMemModel::stateMark() const
{
    if (m_undoList.isEmpty())
        return {m_baseSerial, 0};
    return {m_undoList.last()->serial(), m_undoList.last()->childCount()};
}

void QmdMemModel::markAsCleanState(const StateMark &mark)
{
    UndoStateBracket bracket(this);
    if (mark.step == m_baseSerial) {
        m_cleanCommand = nullptr;
        m_cleanReachable = true;
        return;
    }
    for (const QList<QmdCommand *> *list : {&m_undoList, &m_redoList}) {
        for (const QmdCommand *command : *list) {
            if (command->serial() == mark.step) {
                m_cleanCommand = command;
                m_cleanReachable = command->childCount() == mark.parts;
                return;
            }
        }
    }
    m_cleanCommand = nullptr;
    m_cleanReachable = false;
}

void QmdMemModel::clearUndoRedo()
{
    UndoStateBracket bracket(this);
    const bool clean = isAtCleanState();
    while (!m_redoList.isEmpty())
        discardOldestRedo();
    // What is left is the state with nothing to undo.
    const StateMark now = stateMark();
    while (!m_undoList.isEmpty())
        discardOldestUndo();
    m_baseSerial = now.step;
    m_cleanCommand = nullptr;
    m_cleanReachable = clean;
}

int QmdMemModel::undoRedoCount() const
{
    return int(m_undoList.size() + m_redoList.size());
}

bool QmdMemModel::canRedo() const
{
    return !m_redoList.isEmpty();
}

bool QmdMemModel::canUndo() const
{
    return !m_undoList.isEmpty();
}

QString QmdMemModel::redoText() const
{
    return m_redoList.isEmpty() ? QString() : m_redoList.last()->text();
}

QString QmdMemModel::undoText() const
{
    return m_undoList.isEmpty() ? QString() : m_undoList.last()->text();
}

bool QmdMemModel::isValid(const QmdIndex &index) const
{
    if (index.model() != this || (index.id() == 0 && index.key().isEmpty()))
        return false;
    const void *pointer = index.internalPointer();
    return !pointer || isLiveContainer(pointer, index.internalId());
}

quint64 QmdMemModel::registerContainer(const SpecialItem *container)
{
    quint32 slot = 0;
    if (m_freeContainerSlots.isEmpty()) {
        slot = quint32(m_containerSlots.size());
        m_containerSlots.append(ContainerSlot());
    } else {
        slot = m_freeContainerSlots.takeLast();
    }
    ContainerSlot &entry = m_containerSlots[slot];
    entry.container = container;
    return (quint64(entry.generation) << 32) | (quint64(slot) + 1);
}

void QmdMemModel::unregisterContainer(quint64 registration)
{
    const quint32 slot = quint32(registration) - 1;
    ContainerSlot &entry = m_containerSlots[slot];
    entry.container = nullptr;
    ++entry.generation;
    m_freeContainerSlots.append(slot);
}

bool QmdMemModel::isLiveContainer(const void *pointer, quint64 registration) const
{
    const quint32 slot = quint32(registration) - 1;
    if (quint32(registration) == 0 || slot >= quint32(m_containerSlots.size()))
        return false;
    const ContainerSlot &entry = m_containerSlots.at(slot);
    return entry.container == pointer && entry.generation == quint32(registration >> 32);
}

QmdIndex QmdMemModel::index(const QString &key, const QmdIndex &parent) const
{
    const auto *container = dictAt<StrDictSpecialItem>(parent);
    if (!container || !container->items.contains(key))
        return QmdIndex();
    return container->indexOf(key);
}

QmdIndex QmdMemModel::index(QmdItemId id, const QmdIndex &parent) const
{
    const auto *container = dictAt<IntDictSpecialItem>(parent);
    if (!container || !container->items.contains(id))
        return QmdIndex();
    return container->indexOf(id);
}

QmdIndex QmdMemModel::parent(const QmdIndex &index) const
{
    if (!isValid(index) || !index.internalPointer())
        return QmdIndex();
    return parentContainer(index)->location();
}

bool QmdMemModel::hasChildren(const QmdIndex &index) const
{
    const SpecialItem *container = containerAt(index);
    return container && !container->isEmpty();
}

QmdIndexList QmdMemModel::children(const QmdIndex &index) const
{
    const SpecialItem *container = containerAt(index);
    return container ? container->children() : QmdIndexList();
}

QVariant QmdMemModel::data(const QmdIndex &index) const
{
    const QVariant value = valueAt(index);
    return SpecialItem::fromVariant(value) ? QVariant() : value;
}

Qmd::ContainerType QmdMemModel::containerType(const QmdIndex &index) const
{
    const SpecialItem *container = containerAt(index);
    return container ? container->kind() : Qmd::NoContainer;
}

QmdItemIdList QmdMemModel::ids(const QmdIndex &parent) const
{
    const auto *container = dictAt<IntDictSpecialItem>(parent);
    return container ? container->items.keys() : QmdItemIdList();
}

QStringList QmdMemModel::keys(const QmdIndex &parent) const
{
    const auto *container = dictAt<StrDictSpecialItem>(parent);
    return container ? container->items.keys() : QStringList();
}

QVariantList QmdMemModel::values(const QmdIndex &parent, const QStringList &keys) const
{
    QVariantList list;
    list.reserve(keys.size());
    const auto *container = dictAt<StrDictSpecialItem>(parent);
    for (const QString &key : keys) {
        const QVariant *value = container ? container->items.find(key) : nullptr;
        list.append(value && !SpecialItem::fromVariant(*value) ? *value : QVariant());
    }
    return list;
}

void QmdMemModel::redo()
{
    UndoStateBracket bracket(this);
    if (!canRedo())
        return;
    QmdCommand *command = m_redoList.takeLast();
    command->redo();
    m_undoList.append(command);
}

void QmdMemModel::undo()
{
    UndoStateBracket bracket(this);
    if (!canUndo())
        return;
    QmdCommand *command = m_undoList.takeLast();
    command->undo();
    m_redoList.append(command);
}

QmdItemIdList QmdMemModel::addData(const QList<QVariant> &values, const QmdIndex &parent)
{
    return addItems<IntDictSpecialItem>(
        values.size(), parent, [&values](qsizetype i, const QmdIndex &) { return values.at(i); });
}

void QmdMemModel::setData(const QHash<QmdIndex, QVariant> &pairs)
{
    const IndexGroups<QVariant> groups = groupByContainer(pairs);
    for (auto it = groups.intDicts.cbegin(); it != groups.intDicts.cend(); ++it)
        setData(it.value(), it.key()->location());
    for (auto it = groups.strDicts.cbegin(); it != groups.strDicts.cend(); ++it)
        setData(it.value(), it.key()->location());
    for (const QVariant &value : groups.root)
        push(new QmdSetRootCommand(this, value));
}

void QmdMemModel::setData(const QHash<QString, QVariant> &pairs, const QmdIndex &parent)
{
    setItems<StrDictSpecialItem>(pairs, parent,
                                 [](const QVariant &value, const QmdIndex &) { return value; });
}

void QmdMemModel::setData(const QHash<QmdItemId, QVariant> &pairs, const QmdIndex &parent)
{
    setItems<IntDictSpecialItem>(pairs, parent,
                                 [](const QVariant &value, const QmdIndex &) { return value; });
}

QmdItemIdList QmdMemModel::addTypes(const QList<Qmd::ContainerType> &types, const QmdIndex &parent)
{
    return addItems<IntDictSpecialItem>(types.size(), parent,
                                        [this, &types](qsizetype i, const QmdIndex &location) {
                                            return newContainer(types.at(i), location);
                                        });
}

void QmdMemModel::setTypes(const QHash<QmdIndex, Qmd::ContainerType> &pairs)
{
    const IndexGroups<Qmd::ContainerType> groups = groupByContainer(pairs);
    for (auto it = groups.intDicts.cbegin(); it != groups.intDicts.cend(); ++it)
        setTypes(it.value(), it.key()->location());
    for (auto it = groups.strDicts.cbegin(); it != groups.strDicts.cend(); ++it)
        setTypes(it.value(), it.key()->location());
    for (Qmd::ContainerType type : groups.root)
        push(new QmdSetRootCommand(this, newContainer(type, QmdIndex())));
}

void QmdMemModel::setTypes(const QHash<QString, Qmd::ContainerType> &pairs, const QmdIndex &parent)
{
    setItems<StrDictSpecialItem>(pairs, parent,
                                 [this](Qmd::ContainerType type, const QmdIndex &location) {
                                     return newContainer(type, location);
                                 });
}

void QmdMemModel::setTypes(const QHash<QmdItemId, Qmd::ContainerType> &pairs,
                           const QmdIndex &parent)
{
    setItems<IntDictSpecialItem>(pairs, parent,
                                 [this](Qmd::ContainerType type, const QmdIndex &location) {
                                     return newContainer(type, location);
                                 });
}

void QmdMemModel::remove(const QmdIndexList &indexes)
{
    QHash<QmdIndex, bool> entries;
    for (const QmdIndex &index : indexes)
        entries.insert(index, true);
    const IndexGroups<bool> groups = groupByContainer(entries);
    for (auto it = groups.intDicts.cbegin(); it != groups.intDicts.cend(); ++it)
        remove(it.value().keys(), it.key()->location());
    for (auto it = groups.strDicts.cbegin(); it != groups.strDicts.cend(); ++it)
        remove(it.value().keys(), it.key()->location());
    if (!groups.root.isEmpty())
        clear(QmdIndex());
}

void QmdMemModel::remove(const QStringList &keys, const QmdIndex &parent)
{
    removeItems<StrDictSpecialItem>(keys, parent);
}

void QmdMemModel::remove(const QmdItemIdList &ids, const QmdIndex &parent)
{
    removeItems<IntDictSpecialItem>(ids, parent);
}

void QmdMemModel::clear(const QmdIndex &parent)
{
    if (!isValid(parent)) {
        push(new QmdSetRootCommand(this, QVariant()));
        return;
    }
    SpecialItem *container = containerAt(parent);
    if (auto *intDict = dynamic_cast<IntDictSpecialItem *>(container))
        remove(intDict->items.keys(), parent);
    else if (auto *strDict = dynamic_cast<StrDictSpecialItem *>(container))
        remove(strDict->items.keys(), parent);
}

void QmdMemModel::takeContent(QmdMemModel &source)
{
    if (&source == this)
        return;
    const QVariant root = std::exchange(source.m_root, QVariant());
    if (SpecialItem *container = SpecialItem::fromVariant(root))
        container->moveTo(this);
    push(new QmdSetRootCommand(this, root));
}

QVariant QmdMemModel::valueAt(const QmdIndex &index) const
{
    if (!isValid(index))
        return m_root;
    const SpecialItem *parent = parentContainer(index);
    return parent ? parent->value(index) : QVariant();
}

QmdMemModel::SpecialItem *QmdMemModel::containerAt(const QmdIndex &index) const
{
    return SpecialItem::fromVariant(valueAt(index));
}

template <class Dict> Dict *QmdMemModel::dictAt(const QmdIndex &index) const
{
    SpecialItem *container = containerAt(index);
    if (!container || container->kind() != Dict::Kind)
        return nullptr;
    return static_cast<Dict *>(container);
}

QmdMemModel::SpecialItem *QmdMemModel::parentContainer(const QmdIndex &index) const
{
    // An index without a container pointer names an item of the root.
    void *pointer = index.internalPointer();
    return pointer ? static_cast<SpecialItem *>(pointer) : SpecialItem::fromVariant(m_root);
}

QVariant QmdMemModel::newContainer(Qmd::ContainerType type, const QmdIndex &location)
{
    switch (type) {
    case Qmd::IntDict:
        return (new IntDictSpecialItem(location, this))->toVariant();
    case Qmd::StrDict:
        return (new StrDictSpecialItem(location, this))->toVariant();
    case Qmd::NoContainer:
        break;
    }
    return QVariant();
}

template <class Container, class MakeValue>
QmdItemIdList QmdMemModel::addItems(qsizetype count, const QmdIndex &parent, MakeValue makeValue)
{
    auto *container = dynamic_cast<Container *>(containerAt(parent));
    if (!container)
        return QmdItemIdList();
    QmdItemIdList ids;
    QHash<QmdItemId, QVariant> values;
    for (qsizetype i = 0; i < count; ++i) {
        const QmdItemId id = container->registerNewItemId();
        if (id == 0)
            break;
        ids.append(id);
        values.insert(id, makeValue(i, container->indexOf(id)));
    }
    push(new QmdSetCommand<QmdItemId, Container>(this, container->location(), values));
    return ids;
}

template <class Container, class Entries, class MakeValue>
void QmdMemModel::setItems(const Entries &entries, const QmdIndex &parent, MakeValue makeValue)
{
    using Key = typename Container::Key;
    auto *container = dynamic_cast<Container *>(containerAt(parent));
    if (!container)
        return;
    QHash<Key, QVariant> values;
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        if (Container::isUsableKey(it.key()))
            values.insert(it.key(), makeValue(it.value(), container->indexOf(it.key())));
    }
    push(new QmdSetCommand<Key, Container>(this, container->location(), values));
}

template <class Container>
void QmdMemModel::removeItems(const QList<typename Container::Key> &keys, const QmdIndex &parent)
{
    auto *container = dynamic_cast<Container *>(containerAt(parent));
    if (!container)
        return;
    push(new QmdRemoveCommand<typename Container::Key, Container>(this, container->location(),
                                                                  keys));
}

template <class Value>
QmdMemModel::IndexGroups<Value>
QmdMemModel::groupByContainer(const QHash<QmdIndex, Value> &entries) const
{
    IndexGroups<Value> groups;
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        const QmdIndex &index = it.key();
        if (!isValid(index)) {
            groups.root.append(it.value());
            continue;
        }
        SpecialItem *parent = parentContainer(index);
        // A container that was taken out of the tree is no longer the one at
        // its location; changes addressed to it would land elsewhere.
        if (!parent || containerAt(parent->location()) != parent)
            continue;
        if (auto *intDict = dynamic_cast<IntDictSpecialItem *>(parent))
            groups.intDicts[intDict].insert(index.id(), it.value());
        else if (auto *strDict = dynamic_cast<StrDictSpecialItem *>(parent))
            groups.strDicts[strDict].insert(index.key(), it.value());
    }
    return groups;
}

void QmdMemModel::push(QmdCommand *command)
{
    UndoStateBracket bracket(this);
    if (command->isUndoable()) {
        while (!m_redoList.isEmpty())
            discardOldestRedo();
        if (!m_undoList.isEmpty() && m_undoList.last()->requestId() == command->requestId()) {
            m_undoList.last()->appendChild(command);
        } else {
            m_undoList.append(command);
            trimToLimit();
        }
    }
    command->redo();
    if (!command->isUndoable())
        delete command;
}

void QmdMemModel::trimToLimit()
{
    const int limit = undoRedoLimit();
    if (limit <= 0)
        return;
    while (undoRedoCount() > limit && !m_redoList.isEmpty())
        discardOldestRedo();
    while (undoRedoCount() > limit)
        discardOldestUndo();
}

void QmdMemModel::discardOldestUndo()
{
    QmdCommand *command = m_undoList.takeFirst();
    if (command == m_cleanCommand) {
        // The marked state is now the one with nothing left to undo.
        m_cleanCommand = nullptr;
    } else if (!m_cleanCommand) {
        // The marked state was the one before this step: no undo reaches it
        // any more, and the state that now has nothing to undo is not it.
        m_cleanReachable = false;
    }
    m_baseSerial = command->serial();
    delete command;
}

void QmdMemModel::discardOldestRedo()
{
    QmdCommand *command = m_redoList.takeFirst();
    if (command == m_cleanCommand) {
        m_cleanCommand = nullptr;
        m_cleanReachable = false;
    }
    delete command;
}
