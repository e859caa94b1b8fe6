#pragma once

#include "qmdmodel.h"

#include <QList>

// The in-memory document tree. Containers are objects owned by the model,
// either in the tree or inside the undo command that took them out of it, and
// a registry of the live ones lets indexes into destroyed containers be told
// apart without reference counting: each live container has a slot, which
// its indexes name beside its pointer. Every change is a command on the undo
// list (or run and dropped at once for requests flagged NoUndo); the commands
// of one request form one undo step.
class QmdMemModel : public QmdModel
{
    Q_OBJECT

public:
    class SpecialItem;
    template <class Key> class DictSpecialItem;
    class IntDictSpecialItem;
    class StrDictSpecialItem;
    // How a container travels in a QVariant, in the tree and in commands.
    using SpecialItemStar = SpecialItem *;

    class QmdCommand;
    class QmdSetRootCommand;
    template <class Key, class Container> class QmdSetCommand;
    template <class Key, class Container> class QmdRemoveCommand;

    explicit QmdMemModel(QObject *parent = nullptr);
    explicit QmdMemModel(Qmd::ContainerType rootType, QObject *parent = nullptr);
    ~QmdMemModel() override;

    void setUndoRedoLimit(int limit) override;
    bool isAtCleanState() const override;
    void markAsCleanState() override;
    StateMark stateMark() const override;
    void markAsCleanState(const StateMark &mark) override;
    // Forgets every undo and redo step, for when the whole content is about
    // to be replaced and the old steps would no longer describe it. The
    // present state stays clean if it was; otherwise the clean state can no
    // longer be reached.
    void clearUndoRedo();
    int undoRedoCount() const override;
    bool canRedo() const override;
    bool canUndo() const override;
    QString redoText() const override;
    QString undoText() const override;
    bool isValid(const QmdIndex &index) const override;
    QmdIndex index(const QString &key, const QmdIndex &parent = QmdIndex()) const override;
    QmdIndex index(QmdItemId id, const QmdIndex &parent = QmdIndex()) const override;
    QmdIndex parent(const QmdIndex &index) const override;
    bool hasChildren(const QmdIndex &index = QmdIndex()) const override;
    QmdIndexList children(const QmdIndex &index = QmdIndex()) const override;
    QVariant data(const QmdIndex &index) const override;
    Qmd::ContainerType containerType(const QmdIndex &index) const override;
    QmdItemIdList ids(const QmdIndex &parent = QmdIndex()) const override;
    QStringList keys(const QmdIndex &parent = QmdIndex()) const override;
    QVariantList values(const QmdIndex &parent, const QStringList &keys) const override;
    void redo() override;
    void undo() override;
    QmdItemIdList addData(const QList<QVariant> &values,
                          const QmdIndex &parent = QmdIndex()) override;
    void setData(const QHash<QmdIndex, QVariant> &pairs) override;
    void setData(const QHash<QString, QVariant> &pairs,
                 const QmdIndex &parent = QmdIndex()) override;
    void setData(const QHash<QmdItemId, QVariant> &pairs,
                 const QmdIndex &parent = QmdIndex()) override;
    QmdItemIdList addTypes(const QList<Qmd::ContainerType> &types,
                           const QmdIndex &parent = QmdIndex()) override;
    void setTypes(const QHash<QmdIndex, Qmd::ContainerType> &pairs) override;
    void setTypes(const QHash<QString, Qmd::ContainerType> &pairs,
                  const QmdIndex &parent = QmdIndex()) override;
    void setTypes(const QHash<QmdItemId, Qmd::ContainerType> &pairs,
                  const QmdIndex &parent = QmdIndex()) override;
    void remove(const QmdIndexList &indexes) override;
    void remove(const QStringList &keys, const QmdIndex &parent = QmdIndex()) override;
    void remove(const QmdItemIdList &ids, const QmdIndex &parent = QmdIndex()) override;
    void clear(const QmdIndex &parent = QmdIndex()) override;

    // Moves the whole content of source, whatever its root holds, into this
    // model as its new root: one change of the current request, with no
    // copy of any item. source is left without a root; indexes into the
    // moved containers stay valid only as indexes of this model, which is
    // how the model of a file read aside replaces a document.
    void takeContent(QmdMemModel &source);

private:
    friend class QmdMemModelBuilder;

    class UndoStateBracket;
    template <class Value> struct IndexGroups;

    // The raw value at an index (containers as SpecialItemStar), the root
    // value for an index that is not valid.
    QVariant valueAt(const QmdIndex &index) const;
    // The container stored at an index (the root's for one that is not
    // valid), or null when the value there is not a container.
    SpecialItem *containerAt(const QmdIndex &index) const;
    // The container at an index when it is of the kind Dict holds.
    template <class Dict> Dict *dictAt(const QmdIndex &index) const;
    // The container a valid index points into.
    SpecialItem *parentContainer(const QmdIndex &index) const;
    QVariant newContainer(Qmd::ContainerType type, const QmdIndex &location);

    template <class Container, class MakeValue>
    QmdItemIdList addItems(qsizetype count, const QmdIndex &parent, MakeValue makeValue);
    template <class Container, class Entries, class MakeValue>
    void setItems(const Entries &entries, const QmdIndex &parent, MakeValue makeValue);
    template <class Container>
    void removeItems(const QList<typename Container::Key> &keys, const QmdIndex &parent);
    template <class Value>
    IndexGroups<Value> groupByContainer(const QHash<QmdIndex, Value> &entries) const;

    void push(QmdCommand *command);
    void trimToLimit();
    void discardOldestUndo();
    void discardOldestRedo();

    QVariant m_root;
    QList<QmdCommand *> m_undoList; // oldest first; the next undo is last
    QList<QmdCommand *> m_redoList; // the next redo is last
    // The last command of the undo list when the state was marked clean;
    // null meaning "clean with an empty undo list". Lost once that command
    // is discarded from the redo list: the saved state can never come back.
    const QmdCommand *m_cleanCommand = nullptr;
    bool m_cleanReachable = true;
    // Every undo step gets the next serial number; the state with nothing
    // left to undo is named by the serial of the last step dropped from the
    // front of the undo list (0 while none was).
    quint64 m_lastStepSerial = 0;
    quint64 m_baseSerial = 0;
    // A slot's generation grows each time its container goes, so that an
    // index into a destroyed container never passes for one into a container
    // made later at the same slot, even at the same address.
    struct ContainerSlot
    {
        const SpecialItem *container = nullptr;
        quint32 generation = 0;
    };
    // What an index names beside the pointer: generation and slot + 1, so
    // that 0 (an index made without it) names none.
    quint64 registerContainer(const SpecialItem *container);
    void unregisterContainer(quint64 registration);
    bool isLiveContainer(const void *pointer, quint64 registration) const;

    QList<ContainerSlot> m_containerSlots;
    QList<quint32> m_freeContainerSlots;

    struct UndoState
    {
        bool atCleanState = true;
        bool canRedo = false;
        bool canUndo = false;
        QString redoText;
        QString undoText;
    };
    UndoState m_savedUndoState;
    bool m_undoStateCaptured = false;
};

// The container classes stay out of this header; to the meta-type system the
// pointer is opaque.
Q_DECLARE_OPAQUE_POINTER(QmdMemModel::SpecialItemStar)
Q_DECLARE_METATYPE(QmdMemModel::SpecialItemStar)
