#pragma once

#include <QHash>
#include <QList>
#include <QVariant>

#include <type_traits>
#include <utility>

// The items of one container of the memory model: a flat list of key and
// value pairs, with a hash from key to position once the list is long.
//
// Nearly every container of a network document is a record of a few dozen
// items at most, and a document holds one or two records per element. A
// QHash of Qt 6.4 allocates room for 48 items at its first insertion (some
// 2.7 KiB for a QString key and a QVariant value), which made a record of
// seven items cost a hundred bytes an item. A short list is searched
// faster than a hash is computed, and costs its items and nothing more.
//
// The order of the items is the order they were first written, until one
// is removed: the last item then takes its place. Nothing may rely on the
// order beyond that: it is only what writers list and save in.
//
// Not thread-safe; the model guards it.
template <class Key> class QmdItemTable
{
public:
    using Entry = std::pair<Key, QVariant>;
    using const_iterator = typename QList<Entry>::const_iterator;

    // Up to this many items are found by searching the list.
    static constexpr qsizetype MaxUnindexed = 16;

    qsizetype size() const { return m_entries.size(); }
    bool isEmpty() const { return m_entries.isEmpty(); }
    const_iterator begin() const { return m_entries.cbegin(); }
    const_iterator end() const { return m_entries.cend(); }

    // Room for this many items without growing.
    void reserve(qsizetype size)
    {
        m_entries.reserve(size);
        if (size > MaxUnindexed)
            m_index.reserve(size);
    }

    bool contains(const Key &key) const { return position(key) >= 0; }
    // The value under key, or null when there is no such item.
    const QVariant *find(const Key &key) const
    {
        const qsizetype at = position(key);
        return at < 0 ? nullptr : &m_entries.at(at).second;
    }
    QVariant *find(const Key &key)
    {
        const qsizetype at = position(key);
        return at < 0 ? nullptr : &m_entries[at].second;
    }
    // The value under key; an invalid value when there is no such item.
    QVariant value(const Key &key) const
    {
        const QVariant *found = find(key);
        return found ? *found : QVariant();
    }

    // Writes the value under key, adding the item at the end when it is new.
    void insert(const Key &key, QVariant value) { exchange(key, std::move(value)); }
    // The same, handing back the value the item held (an invalid one when
    // the item is new).
    QVariant exchange(const Key &key, QVariant value)
    {
        if (QVariant *found = find(key))
            return std::exchange(*found, std::move(value));
        m_entries.append(Entry(key, std::move(value)));
        if (!m_index.isEmpty())
            m_index.insert(key, m_entries.size() - 1);
        else if (m_entries.size() > MaxUnindexed)
            reindex();
        return QVariant();
    }
    // Takes the item out and hands over its value; false when there was
    // none.
    bool take(const Key &key, QVariant *value)
    {
        const qsizetype at = position(key);
        if (at < 0)
            return false;
        *value = std::move(m_entries[at].second);
        const qsizetype last = m_entries.size() - 1;
        if (at != last) {
            m_entries[at] = std::move(m_entries[last]);
            if (!m_index.isEmpty())
                m_index.insert(m_entries.at(at).first, at);
        }
        m_entries.removeLast();
        if (m_entries.size() <= MaxUnindexed)
            m_index.clear();
        else
            m_index.remove(key);
        return true;
    }

    QList<Key> keys() const
    {
        QList<Key> list;
        list.reserve(m_entries.size());
        for (const Entry &entry : m_entries)
            list.append(entry.first);
        return list;
    }

private:
    qsizetype position(const Key &key) const
    {
        if (!m_index.isEmpty())
            return m_index.value(key, -1);
        for (qsizetype i = 0; i < m_entries.size(); ++i) {
            if (sameKey(m_entries.at(i).first, key))
                return i;
        }
        return -1;
    }
    // Keys read from a file share their text, and so do the literals that
    // look them up: the same text is equal without comparing it.
    static bool sameKey(const Key &a, const Key &b)
    {
        if constexpr (std::is_same_v<Key, QString>) {
            return a.size() == b.size() && (a.constData() == b.constData() || a == b);
        } else {
            return a == b;
        }
    }
    void reindex()
    {
        m_index.reserve(m_entries.size());
        for (qsizetype i = 0; i < m_entries.size(); ++i)
            m_index.insert(m_entries.at(i).first, i);
    }

    QList<Entry> m_entries;
    // Empty while the list is short enough to search.
    QHash<Key, qsizetype> m_index;
};
