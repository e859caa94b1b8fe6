#pragma once

#include "qmdglobal.h"

#include <QHashFunctions>
#include <QString>

class QmdModel;

// Addresses one item of a document tree: the parent container (opaque to
// everyone but the model) and the identifier or key of the item in it.
// Indexes are plain values: they are not updated when the tree changes and
// stop being valid once their parent container is destroyed. Any index that
// is not valid stands for the root.
class QmdIndex
{
public:
    QmdIndex() = default;
    QmdIndex(QmdItemId id, quint64 internalId, const QmdModel *model)
        : m_id(id), m_internalId(internalId), m_model(model)
    {
    }
    QmdIndex(QmdItemId id, void *internalPointer, const QmdModel *model)
        : m_id(id), m_internalPointer(internalPointer), m_model(model)
    {
    }
    QmdIndex(const QString &key, quint64 internalId, const QmdModel *model)
        : m_key(key), m_internalId(internalId), m_model(model)
    {
    }
    QmdIndex(const QString &key, void *internalPointer, const QmdModel *model)
        : m_key(key), m_internalPointer(internalPointer), m_model(model)
    {
    }
    QmdIndex(QmdItemId id, quint64 internalId, void *internalPointer, const QmdModel *model)
        : m_id(id), m_internalId(internalId), m_internalPointer(internalPointer), m_model(model)
    {
    }
    QmdIndex(const QString &key, quint64 internalId, void *internalPointer, const QmdModel *model)
        : m_key(key), m_internalId(internalId), m_internalPointer(internalPointer), m_model(model)
    {
    }

    QmdItemId id() const { return m_id; }
    const QString &key() const { return m_key; }
    quint64 internalId() const { return m_internalId; }
    void *internalPointer() const { return m_internalPointer; }
    const QmdModel *model() const { return m_model; }

    // True when the index has a model and that model accepts it.
    bool isValid() const;

    bool operator==(const QmdIndex &other) const
    {
        return m_id == other.m_id && m_key == other.m_key && m_internalId == other.m_internalId &&
               m_internalPointer == other.m_internalPointer && m_model == other.m_model;
    }
    bool operator!=(const QmdIndex &other) const { return !(*this == other); }

private:
    QmdItemId m_id = 0;
    QString m_key;
    quint64 m_internalId = 0;
    void *m_internalPointer = nullptr;
    const QmdModel *m_model = nullptr;
};

// The identifier for items of an IntDict, the key's hash for items of a
// StrDict.
inline size_t qHash(const QmdIndex &index, size_t seed = 0) noexcept
{
    if (index.key().isEmpty())
        return qHash(index.id(), seed);
    return qHash(index.key(), seed);
}

using QmdIndexList = QList<QmdIndex>;

Q_DECLARE_METATYPE(QmdIndex)
