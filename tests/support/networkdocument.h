#pragma once

// Header only: the model tests link the support library without the network
// layer.

#include "debuginstrument.h"
#include "qmdludra.h"
#include "qmdludracontroller.h"
#include "qmdludraplayback.h"
#include "qmdmemmodel.h"
#include "requestfinisher.h"

#include <QBitArray>

// One network document with its controller, and short ways to build a
// network through the controller's requests. Each helper runs the request
// to its end, reactions included, and returns the new item's id (0 when the
// request did not finish or added nothing).
class NetworkDocument
{
public:
    // Its instruments print what they send and reach for no MIDI port, so
    // that they leave the document as it is.
    NetworkDocument() : NetworkDocument(quietServices()) {}
    explicit NetworkDocument(const QmdLudraPlaybackServices &services)
    {
        controller.setPlaybackServices(services);
        controller.setModel(&model);
    }

    static QmdLudraPlaybackServices quietServices()
    {
        QmdLudraPlaybackServices services;
        services.makeInstrument = [](const QString &, QmdItemId id) {
            return new DebugInstrument(id);
        };
        return services;
    }

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
    bool setRoot(const QString &key, const QVariant &value)
    {
        return run(controller.requestSetData(key, value, QmdIndex()));
    }

    // Building whole networks: positions in principals, fields set after
    // the element is added.
    using Values = QHash<QString, QVariant>;
    static QmdLudra::TickPos at(double x, double y = 0)
    {
        return {qint64(x * QmdLudra::TicksPerPrincipal), qint64(y * QmdLudra::TicksPerPrincipal)};
    }
    static QBitArray channels(std::initializer_list<int> enabled)
    {
        QBitArray bits(16);
        for (int c : enabled)
            bits.setBit(c);
        return bits;
    }
    QmdItemId withValues(QmdItemId id, const Values &values)
    {
        if (id && !values.isEmpty())
            run(controller.requestSetData(values, element(id)));
        return id;
    }
    QmdItemId node(double x, double y, const Values &values = {})
    {
        return withValues(addNode(at(x, y)), values);
    }
    QmdItemId edge(QmdItemId from, QmdItemId to, const Values &values = {})
    {
        return withValues(addEdge(from, to), values);
    }
    QmdItemId group(QmdItemId node, const Values &values = {})
    {
        return withValues(addVoiceGroup(node), values);
    }
    QmdItemId instrumentOn(const QBitArray &midiChannels, const Values &values = {})
    {
        const QmdItemId id = addInstrument();
        Values all = values;
        all.insert(QStringLiteral("MidiChannels"), midiChannels);
        run(controller.requestSetData(all, instrument(id)));
        return id;
    }
    bool removeElements(const QmdItemIdList &ids)
    {
        return run(controller.requestRemove(ids, elements(), QStringLiteral("Delete")));
    }

    QmdMemModel model;
    QmdLudraController controller;
};
