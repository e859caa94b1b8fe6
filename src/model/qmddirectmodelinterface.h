#pragma once

#include "qmdmodel.h"

#include <QPointer>

// Synchronous access to a model, shared by controllers and by file readers
// and writers. Holds a guarded pointer, so a destroyed model reads as null.
// Every call forwards to the model; the single-item forms wrap one entry into
// the hash or list form. With no model, reads return empty values and writes
// do nothing.
class QmdDirectModelInterface
{
public:
    explicit QmdDirectModelInterface(QmdModel *model = nullptr) : m_model(model) {}
    virtual ~QmdDirectModelInterface() = default;
    virtual void setModel(QmdModel *model) { m_model = model; }
    QmdModel *model() const { return m_model.data(); }

    bool isValid(const QmdIndex &index) const { return m_model && m_model->isValid(index); }
    QmdIndex index(const QString &key, const QmdIndex &parent = QmdIndex()) const
    {
        return m_model ? m_model->index(key, parent) : QmdIndex();
    }
    QmdIndex index(QmdItemId id, const QmdIndex &parent = QmdIndex()) const
    {
        return m_model ? m_model->index(id, parent) : QmdIndex();
    }
    QmdIndex parent(const QmdIndex &index) const
    {
        return m_model ? m_model->parent(index) : QmdIndex();
    }
    bool hasChildren(const QmdIndex &index = QmdIndex()) const
    {
        return m_model && m_model->hasChildren(index);
    }
    QmdIndexList children(const QmdIndex &index = QmdIndex()) const
    {
        return m_model ? m_model->children(index) : QmdIndexList();
    }
    QVariant data(const QmdIndex &index) const
    {
        return m_model ? m_model->data(index) : QVariant();
    }
    Qmd::ContainerType containerType(const QmdIndex &index) const
    {
        return m_model ? m_model->containerType(index) : Qmd::NoContainer;
    }
    QmdItemIdList ids(const QmdIndex &parent = QmdIndex()) const
    {
        return m_model ? m_model->ids(parent) : QmdItemIdList();
    }
    QStringList keys(const QmdIndex &parent = QmdIndex()) const
    {
        return m_model ? m_model->keys(parent) : QStringList();
    }
    QVariantList values(const QmdIndex &parent, const QStringList &keys) const
    {
        return m_model ? m_model->values(parent, keys) : QVariantList(keys.size());
    }

    int undoRedoLimit() const { return m_model ? m_model->undoRedoLimit() : 0; }
    bool isAtCleanState() const { return m_model && m_model->isAtCleanState(); }
    int undoRedoCount() const { return m_model ? m_model->undoRedoCount() : 0; }
    bool canRedo() const { return m_model && m_model->canRedo(); }
    bool canUndo() const { return m_model && m_model->canUndo(); }
    QString redoText() const { return m_model ? m_model->redoText() : QString(); }
    QString undoText() const { return m_model ? m_model->undoText() : QString(); }

    QmdItemIdList addData(const QList<QVariant> &values, const QmdIndex &parent = QmdIndex())
    {
        return m_model ? m_model->addData(values, parent) : QmdItemIdList();
    }
    QmdItemId addData(const QVariant &value, const QmdIndex &parent = QmdIndex())
    {
        const QmdItemIdList ids = addData(QList<QVariant>{value}, parent);
        return ids.isEmpty() ? 0 : ids.first();
    }
    void setData(const QHash<QmdIndex, QVariant> &pairs)
    {
        if (m_model)
            m_model->setData(pairs);
    }
    void setData(const QHash<QString, QVariant> &pairs, const QmdIndex &parent = QmdIndex())
    {
        if (m_model)
            m_model->setData(pairs, parent);
    }
    void setData(const QHash<QmdItemId, QVariant> &pairs, const QmdIndex &parent = QmdIndex())
    {
        if (m_model)
            m_model->setData(pairs, parent);
    }
    void setData(const QmdIndex &index, const QVariant &value)
    {
        setData(QHash<QmdIndex, QVariant>{{index, value}});
    }
    void setData(const QString &key, const QVariant &value, const QmdIndex &parent = QmdIndex())
    {
        setData(QHash<QString, QVariant>{{key, value}}, parent);
    }
    void setData(QmdItemId id, const QVariant &value, const QmdIndex &parent = QmdIndex())
    {
        setData(QHash<QmdItemId, QVariant>{{id, value}}, parent);
    }

    QmdItemIdList addTypes(const QList<Qmd::ContainerType> &types,
                           const QmdIndex &parent = QmdIndex())
    {
        return m_model ? m_model->addTypes(types, parent) : QmdItemIdList();
    }
    QmdItemId addType(Qmd::ContainerType type, const QmdIndex &parent = QmdIndex())
    {
        const QmdItemIdList ids = addTypes(QList<Qmd::ContainerType>{type}, parent);
        return ids.isEmpty() ? 0 : ids.first();
    }
    void setTypes(const QHash<QmdIndex, Qmd::ContainerType> &pairs)
    {
        if (m_model)
            m_model->setTypes(pairs);
    }
    void setTypes(const QHash<QString, Qmd::ContainerType> &pairs,
                  const QmdIndex &parent = QmdIndex())
    {
        if (m_model)
            m_model->setTypes(pairs, parent);
    }
    void setTypes(const QHash<QmdItemId, Qmd::ContainerType> &pairs,
                  const QmdIndex &parent = QmdIndex())
    {
        if (m_model)
            m_model->setTypes(pairs, parent);
    }
    void setType(const QmdIndex &index, Qmd::ContainerType type)
    {
        setTypes(QHash<QmdIndex, Qmd::ContainerType>{{index, type}});
    }
    void setType(const QString &key, Qmd::ContainerType type, const QmdIndex &parent = QmdIndex())
    {
        setTypes(QHash<QString, Qmd::ContainerType>{{key, type}}, parent);
    }
    void setType(QmdItemId id, Qmd::ContainerType type, const QmdIndex &parent = QmdIndex())
    {
        setTypes(QHash<QmdItemId, Qmd::ContainerType>{{id, type}}, parent);
    }

    void remove(const QmdIndexList &indexes)
    {
        if (m_model)
            m_model->remove(indexes);
    }
    void remove(const QStringList &keys, const QmdIndex &parent = QmdIndex())
    {
        if (m_model)
            m_model->remove(keys, parent);
    }
    void remove(const QmdItemIdList &ids, const QmdIndex &parent = QmdIndex())
    {
        if (m_model)
            m_model->remove(ids, parent);
    }
    void remove(const QString &key, const QmdIndex &parent = QmdIndex())
    {
        remove(QStringList{key}, parent);
    }
    void remove(QmdItemId id, const QmdIndex &parent = QmdIndex())
    {
        remove(QmdItemIdList{id}, parent);
    }
    void clear(const QmdIndex &parent = QmdIndex())
    {
        if (m_model)
            m_model->clear(parent);
    }

private:
    QPointer<QmdModel> m_model;
};
