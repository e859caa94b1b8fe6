#pragma once

#include "qmditemtable.h"
#include "qmdmemmodel.h"

#include <functional>
#include <type_traits>

// A container of the memory model's tree. It registers itself with its model
// while it lives, and it owns every container nested in its items, so that
// destroying one container releases its whole subtree.
class QmdMemModel::SpecialItem
{
public:
    virtual ~SpecialItem();
    Q_DISABLE_COPY_MOVE(SpecialItem)

    Qmd::ContainerType kind() const { return m_kind; }
    // The index of the item holding this container; invalid for the root.
    const QmdIndex &location() const { return m_location; }
    QmdMemModel *model() const { return m_model; }
    // What indexes into this container name beside its pointer.
    quint64 registration() const { return m_registration; }

    virtual bool isEmpty() const = 0;
    virtual QmdIndexList children() const = 0;
    // The value of the item that an index into this container names.
    virtual QVariant value(const QmdIndex &index) const = 0;

    QVariant toVariant() { return QVariant::fromValue<SpecialItemStar>(this); }
    // The container a value holds, or null for a plain value.
    static SpecialItem *fromVariant(const QVariant &value);
    // Destroys the container a value holds, if any, with everything below it.
    static void release(const QVariant &value);

    // Hands this container and everything below it over to another model,
    // keeping every item and its place.
    void moveTo(QmdMemModel *model);

protected:
    SpecialItem(Qmd::ContainerType kind, const QmdIndex &location, QmdMemModel *model);
    // moveTo() for the containers among the items.
    virtual void moveItemsTo(QmdMemModel *model) = 0;

private:
    const Qmd::ContainerType m_kind;
    // These change only when the container moves to another model.
    QmdIndex m_location;
    QmdMemModel *m_model;
    quint64 m_registration;
};

// What the two container kinds share: a table of items under keys of one type.
template <class K> class QmdMemModel::DictSpecialItem : public SpecialItem
{
public:
    using Key = K;

    ~DictSpecialItem() override
    {
        for (const auto &entry : std::as_const(items))
            release(entry.second);
    }

    // 0 is never an identifier and the empty string never a key.
    static bool isUsableKey(const Key &key)
    {
        if constexpr (std::is_same_v<Key, QString>)
            return !key.isEmpty();
        else
            return key != 0;
    }
    static Key keyOf(const QmdIndex &index)
    {
        if constexpr (std::is_same_v<Key, QString>)
            return index.key();
        else
            return index.id();
    }
    QmdIndex indexOf(const Key &key) const
    {
        void *handle = const_cast<SpecialItem *>(static_cast<const SpecialItem *>(this));
        return QmdIndex(key, registration(), handle, model());
    }

    bool isEmpty() const override { return items.isEmpty(); }
    QmdIndexList children() const override
    {
        QmdIndexList list;
        list.reserve(items.size());
        for (const auto &entry : items)
            list.append(indexOf(entry.first));
        return list;
    }
    QVariant value(const QmdIndex &index) const override { return items.value(keyOf(index)); }

    // Writes one item, creating it if needed. A key written by the caller
    // counts as used for identifier allocation.
    void store(const Key &key, const QVariant &value) { exchange(key, value); }
    // The same, handing back the value the item held.
    QVariant exchange(const Key &key, const QVariant &value)
    {
        noteKeyUsed(key);
        return items.exchange(key, value);
    }

    QmdItemTable<Key> items;

protected:
    DictSpecialItem(Qmd::ContainerType kind, const QmdIndex &location, QmdMemModel *model)
        : SpecialItem(kind, location, model)
    {
    }
    void moveItemsTo(QmdMemModel *model) override
    {
        for (const auto &entry : std::as_const(items)) {
            if (SpecialItem *child = fromVariant(entry.second))
                child->moveTo(model);
        }
    }
    virtual void noteKeyUsed(const Key &) {}
};

class QmdMemModel::IntDictSpecialItem : public DictSpecialItem<QmdItemId>
{
public:
    static constexpr Qmd::ContainerType Kind = Qmd::IntDict;

    IntDictSpecialItem(const QmdIndex &location, QmdMemModel *model);

    QmdItemId lastItemId() const { return m_lastItemId; }
    // Allocates the next free identifier after the last one, wrapping to 1
    // once; 0 when every identifier is in use.
    QmdItemId registerNewItemId();
    // The allocation search over the identifiers 1..largest.
    static QmdItemId findFreeItemId(QmdItemId last, QmdItemId largest,
                                    const std::function<bool(QmdItemId)> &inUse);

protected:
    void noteKeyUsed(const QmdItemId &id) override { m_lastItemId = id; }

private:
    QmdItemId m_lastItemId = 0;
};

class QmdMemModel::StrDictSpecialItem : public DictSpecialItem<QString>
{
public:
    static constexpr Qmd::ContainerType Kind = Qmd::StrDict;

    StrDictSpecialItem(const QmdIndex &location, QmdMemModel *model);
};
