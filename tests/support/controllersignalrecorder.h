#pragma once

// Header only: it needs the element layer of the model library.

#include "qmdelementdoccontroller.h"

#include <QList>
#include <QObject>
#include <QStringList>
#include <QVariant>

#include <type_traits>

// One signal emitted by a controller: its name (the id and key forms of
// itemsChanged and itemsRemoved told apart by an "(ids)" or "(keys)" suffix),
// its request id (0 when it has none) and its other arguments.
struct ControllerEvent
{
    QString name;
    QmdRequestId rid = 0;
    QVariantList args;
};

// Records the change, undo-state and request signals of a controller, and
// the element signals of a document of elements, in the order of emission.
class ControllerSignalRecorder : public QObject
{
public:
    explicit ControllerSignalRecorder(QmdController *c)
    {
        using Ids = void (QmdController::*)(const QmdIndex &, const QmdItemIdList &, QmdRequestId);
        using Keys = void (QmdController::*)(const QmdIndex &, const QStringList &, QmdRequestId);
        listen(c, Ids(&QmdController::itemsChanged), "itemsChanged(ids)");
        listen(c, Keys(&QmdController::itemsChanged), "itemsChanged(keys)");
        listen(c, Ids(&QmdController::itemsRemoved), "itemsRemoved(ids)");
        listen(c, Keys(&QmdController::itemsRemoved), "itemsRemoved(keys)");
        listen(c, &QmdController::rootChanged, "rootChanged");
        listen(c, &QmdController::atCleanStateChanged, "atCleanStateChanged");
        listen(c, &QmdController::canRedoChanged, "canRedoChanged");
        listen(c, &QmdController::canUndoChanged, "canUndoChanged");
        listen(c, &QmdController::redoTextChanged, "redoTextChanged");
        listen(c, &QmdController::undoTextChanged, "undoTextChanged");
        listen(c, &QmdController::modelReset, "modelReset");
        listen(c, &QmdController::requestFinished, "requestFinished");
        if (auto *elements = qobject_cast<QmdElementDocController *>(c)) {
            listen(elements, &QmdElementDocController::elementsAdded, "elementsAdded");
            listen(elements, &QmdElementDocController::elementsRemoved, "elementsRemoved");
        }
    }

    const QList<ControllerEvent> &events() const { return m_events; }
    QStringList names() const { return namesFor(0, true); }
    QStringList namesFor(QmdRequestId rid, bool all = false) const
    {
        QStringList result;
        for (const ControllerEvent &e : m_events) {
            if (all || e.rid == rid)
                result.append(e.name);
        }
        return result;
    }
    int count(const QString &name) const { return int(names().count(name)); }
    // Events whose name is in names, in order.
    QList<ControllerEvent> only(const QStringList &names) const
    {
        QList<ControllerEvent> result;
        for (const ControllerEvent &e : m_events) {
            if (names.contains(e.name))
                result.append(e);
        }
        return result;
    }

private:
    // The request id is the last argument, but the first of requestFinished.
    template <class Sender, class... A>
    void listen(Sender *sender, void (Sender::*signal)(A...), const char *name)
    {
        connect(sender, signal, this, [this, name](A... values) {
            QVariantList args{QVariant::fromValue(std::decay_t<A>(values))...};
            QmdRequestId rid = 0;
            if (!args.isEmpty()) {
                const bool first = qstrcmp(name, "requestFinished") == 0;
                rid = (first ? args.takeFirst() : args.takeLast()).template value<QmdRequestId>();
            }
            m_events.append({QString::fromLatin1(name), rid, args});
        });
    }

    QList<ControllerEvent> m_events;
};
