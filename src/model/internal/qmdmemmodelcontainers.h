#pragma once

#include "qmdmemmodel.h"

#include <QHash>

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

    virtual bool isEmpty() const = 0;
    virtual QmdIndexList children() const = 0;
    // The value of the item that an index into this container names.
    virtual QVariant value(const QmdIndex &index) const = 0;

    QVariant toVariant() { return QVariant::fromValue<SpecialItemStar>(this); }
    // The container a value holds, or null for a plain value.
    static SpecialItem *fromVariant(const QVariant &value);
    // Destroys the container a value holds, if any, with everything below it.
    static void release(const QVariant &value);

protected:
    SpecialItem(Qmd::ContainerType kind, const QmdIndex &location, QmdMemModel *model);

private:
    const Qmd::ContainerType m_kind;
    const QmdIndex m_location;
    QmdMemModel *const m_model;
};

// What the two container kinds share: a hash of items under keys of one type.
template <class K> class QmdMemModel::DictSpecialItem : public SpecialItem
{
public:
    using Key = K;

    ~DictSpecialItem() override
    {
        for (const QVariant &value : std::as_const(items))
            release(value);
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
        return QmdIndex(key, handle, model());
    }

    bool isEmpty() const override { return items.isEmpty(); }
    QmdIndexList children() const override
    {
        QmdIndexList list;
        list.reserve(items.size());
        for (auto it = items.keyBegin(); it != items.keyEnd(); ++it)
            list.append(indexOf(*it));
        return list;
    }
    QVariant value(const QmdIndex &index) const override { return items.value(keyOf(index)); }

    // Writes one item, creating it if needed. A key written by the caller
    // counts as used for identifier allocation.
    void store(const Key &key, const QVariant &value)
    {
        noteKeyUsed(key);
        items.insert(key, value);
    }

    QHash<Key, QVariant> items;

protected:
    DictSpecialItem(Qmd::ContainerType kind, const QmdIndex &location, QmdMemModel *model)
        : SpecialItem(kind, location, model)
    {
    }
    virtual void noteKeyUsed(const Key &) {}
};

class QmdMemModel::IntDictSpecialItem : public DictSpecialItem<QmdItemId>
{
public:
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
    StrDictSpecialItem(const QmdIndex &location, QmdMemModel *model);
};
