#pragma once

#include "eventsink.h"
#include "firednode.h"
#include "instrumentevent.h"
#include "playbackcore.h"
#include "qmdludracontroller.h"
#include "qmdmemmodel.h"

#include <QList>

#include <mutex>

// A small network document written element by element under chosen ids,
// compiled into a graph the way playback compiles it, and a sink that
// records what its voices deliver. The document's controller never hears of
// the writes, so it makes no playback objects of its own.
class EngineNetwork : public EventSink
{
public:
    struct Delivery
    {
        QmdItemId instrument = 0;
        InstrumentEvent event;
    };

    EngineNetwork();

    // Each node and edge is created with its state record.
    void addNode(QmdItemId id, qint64 principalsX, qint64 principalsY,
                 const QHash<QString, QVariant> &fields = {});
    void addEdge(QmdItemId id, QmdItemId from, QmdItemId to,
                 const QHash<QString, QVariant> &fields = {});
    void addVoiceGroup(QmdItemId id, QmdItemId toNode, const QHash<QString, QVariant> &fields = {});
    void setState(QmdItemId id, const QHash<QString, QVariant> &values);

    // Compiles the document as it is now and installs it, keeping the
    // counters of elements compiled before.
    PlaybackCore &compile();
    // A counter as the element's state record would hold it.
    QVariant state(QmdItemId id, const QString &key) const;

    // What reached the instruments, in the order delivered.
    QList<Delivery> deliveries() const;

    bool deliverNotePair(QmdItemId instrument, const InstrumentEvent &noteOn,
                         const InstrumentEvent &noteOff) override;
    bool deliverEvent(QmdItemId instrument, const InstrumentEvent &event) override;
    bool appendFiredNode(const FiredNode &record) override;

private:
    void addElement(QmdItemId id, uint type, const QHash<QString, QVariant> &fields);

    QmdMemModel m_model;
    QmdLudraController m_controller;
    PlaybackCore m_core;
    mutable std::mutex m_mutex;
    QList<Delivery> m_deliveries;
};
