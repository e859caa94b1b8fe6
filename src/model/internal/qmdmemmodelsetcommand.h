#pragma once

#include "qmdmemmodelcommand.h"
#include "qmdmemmodelcontainers.h"

#include <utility>

// Writes values into one container, creating the items that do not exist.
// Redo and undo exchange the values held here with those in the tree, so the
// command always holds exactly what it took out: the old values while done,
// the new ones while undone. Each run resolves the container from the parent
// index again, since a container that was taken out and put back by other
// commands is found there, not through a pointer kept from before.
template <class Key, class Container> class QmdMemModel::QmdSetCommand : public QmdCommand
{
public:
    QmdSetCommand(QmdMemModel *model, const QmdIndex &parent, const QHash<Key, QVariant> &values)
        : QmdCommand(model), m_parent(parent), m_values(values)
    {
    }
    ~QmdSetCommand() override
    {
        for (const QVariant &value : std::as_const(m_values))
            SpecialItem::release(value);
    }

    void redo() override
    {
        if (Container *container = this->container(); container && !m_applied) {
            apply(container);
            m_applied = true;
        }
        QmdCommand::redo();
    }

    void undo() override
    {
        QmdCommand::undo();
        if (Container *container = this->container(); container && m_applied) {
            revert(container);
            m_applied = false;
        }
    }

private:
    Container *container() const
    {
        return dynamic_cast<Container *>(m_model->containerAt(m_parent));
    }

    void apply(Container *container)
    {
        const QHash<Key, QVariant> incoming = std::exchange(m_values, {});
        QList<Key> replacedContainers;
        m_created.clear();
        for (auto it = incoming.cbegin(); it != incoming.cend(); ++it) {
            const QVariant *found = container->items.find(it.key());
            if (!found) {
                m_created.append(it.key());
                continue;
            }
            // A replaced container leaves the tree before the new value comes
            // in, so that observers drop everything they knew below it.
            if (SpecialItem::fromVariant(*found)) {
                QVariant taken;
                container->items.take(it.key(), &taken);
                m_values.insert(it.key(), taken);
                replacedContainers.append(it.key());
            } else {
                m_values.insert(it.key(), *found);
            }
        }
        const QmdRequestId rid = m_model->currentRequestId();
        if (!replacedContainers.isEmpty())
            Q_EMIT m_model->itemsRemoved(m_parent, replacedContainers, rid);
        for (auto it = incoming.cbegin(); it != incoming.cend(); ++it)
            container->store(it.key(), it.value());
        if (!incoming.isEmpty())
            Q_EMIT m_model->itemsChanged(m_parent, incoming.keys(), rid);
    }

    void revert(Container *container)
    {
        const QHash<Key, QVariant> previous = std::exchange(m_values, {});
        QList<Key> removed;
        for (const Key &key : std::as_const(m_created)) {
            QVariant taken;
            if (!container->items.take(key, &taken))
                continue;
            m_values.insert(key, taken);
            removed.append(key);
        }
        const QmdRequestId rid = m_model->currentRequestId();
        if (!removed.isEmpty())
            Q_EMIT m_model->itemsRemoved(m_parent, removed, rid);
        for (auto it = previous.cbegin(); it != previous.cend(); ++it) {
            if (const QVariant *found = container->items.find(it.key()))
                m_values.insert(it.key(), *found);
            container->store(it.key(), it.value());
        }
        if (!previous.isEmpty())
            Q_EMIT m_model->itemsChanged(m_parent, previous.keys(), rid);
    }

    const QmdIndex m_parent;
    QHash<Key, QVariant> m_values;
    QList<Key> m_created; // the keys that had no item before the last redo
    bool m_applied = false;
};
