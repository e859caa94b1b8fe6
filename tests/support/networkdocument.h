#pragma once

// Header only: the model tests link the support library without the network
// layer.

#include "qmdludra.h"
#include "qmdludracontroller.h"
#include "qmdmemmodel.h"
#include "requestfinisher.h"

// One network document with its controller, and short ways to build a
// network through the controller's requests. Each helper runs the request
// to its end, reactions included, and returns the new item's id (0 when the
// request did not finish or added nothing).
class NetworkDocument
{
public:
    NetworkDocument() { controller.setModel(&model); }

    QmdIndex elements() const { return controller.elementsIndex(); }
    QmdIndex element(QmdItemId id) const { return controller.index(id, elements()); }
    QVariant value(QmdItemId id, const QString &key) const
    {
        return controller.data(controller.index(key, element(id)));
    }
    QmdIndex state(QmdItemId id) const
    {
        return controller.index(id, controller.elementStatesIndex());
    }
    QmdIndex instrument(QmdItemId id) const
    {
        return controller.index(id, controller.instrumentsIndex());
    }
    QVariant instrumentValue(QmdItemId id, const QString &key) const
    {
        return controller.data(controller.index(key, instrument(id)));
    }
    // Item ids of the container below an element ("ArcIdentifiers").
    QmdItemIdList idsIn(QmdItemId id, const QString &key) const
    {
        return controller.ids(controller.index(key, element(id)));
    }

    bool run(QmdRequestId rid) { return finishRequest(&controller, rid); }

    template <class Request> QmdItemId add(const QmdIndex &container, Request request)
    {
        const QmdItemIdList before = controller.ids(container);
        if (!run(request()))
            return 0;
        for (QmdItemId id : controller.ids(container)) {
            if (!before.contains(id))
                return id;
        }
        return 0;
    }
    QmdItemId addNode(const QmdLudra::TickPos &pos = {})
    {
        return add(elements(), [&] { return controller.requestAddNode(pos); });
    }
    QmdItemId addEdge(QmdItemId from, QmdItemId to)
    {
        return add(elements(),
                   [&] { return controller.requestAddEdge(element(from), element(to)); });
    }
    QmdItemId addVoiceGroup(QmdItemId node)
    {
        return add(elements(), [&] { return controller.requestAddVoiceGroup(element(node)); });
    }
    QmdItemId addTextBox(const QmdLudra::TickPos &pos = {})
    {
        return add(elements(), [&] { return controller.requestAddTextBox(pos); });
    }
    QmdItemId addInstrument()
    {
        return add(controller.instrumentsIndex(),
                   [&] { return controller.requestAddInstrument(); });
    }
    bool set(QmdItemId id, const QString &key, const QVariant &value)
    {
        return run(controller.requestSetData(key, value, element(id)));
    }
    bool removeElements(const QmdItemIdList &ids)
    {
        return run(controller.requestRemove(ids, elements(), QStringLiteral("Delete")));
    }

    QmdMemModel model;
    QmdLudraController controller;
};
