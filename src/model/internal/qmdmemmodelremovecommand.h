#pragma once

#include "qmdmemmodelcommand.h"
#include "qmdmemmodelcontainers.h"

#include <utility>

// Removes items from one container and keeps their values (whole subtrees
// for containers) until undo puts them back.
template <class Key, class Container> class QmdMemModel::QmdRemoveCommand : public QmdCommand
{
public:
    QmdRemoveCommand(QmdMemModel *model, const QmdIndex &parent, const QList<Key> &keys)
        : QmdCommand(model), m_parent(parent), m_keys(keys)
    {
    }
    ~QmdRemoveCommand() override
    {
        for (const QVariant &value : std::as_const(m_removed))
            SpecialItem::release(value);
    }

    void redo() override
    {
        if (Container *container = this->container(); container && !m_applied) {
            for (const Key &key : std::as_const(m_keys)) {
                QVariant taken;
                if (container->items.take(key, &taken))
                    m_removed.insert(key, taken);
            }
            if (!m_removed.isEmpty())
                Q_EMIT m_model->itemsRemoved(m_parent, m_removed.keys(),
                                             m_model->currentRequestId());
            m_applied = true;
        }
        QmdCommand::redo();
    }

    void undo() override
    {
        QmdCommand::undo();
        if (Container *container = this->container(); container && m_applied) {
            const QHash<Key, QVariant> removed = std::exchange(m_removed, {});
            for (auto it = removed.cbegin(); it != removed.cend(); ++it) {
                // Only a change outside the undo history can have refilled
                // the place; what it put there gives way.
                SpecialItem::release(container->items.value(it.key()));
                container->store(it.key(), it.value());
            }
            if (!removed.isEmpty())
                Q_EMIT m_model->itemsChanged(m_parent, removed.keys(), m_model->currentRequestId());
            m_applied = false;
        }
    }

private:
    Container *container() const
    {
        return dynamic_cast<Container *>(m_model->containerAt(m_parent));
    }

    const QmdIndex m_parent;
    const QList<Key> m_keys;
    QHash<Key, QVariant> m_removed;
    bool m_applied = false;
};
