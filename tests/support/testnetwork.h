#pragma once

#include "firednode.h"
#include "instrumentevent.h"
#include "qmdludra.h"
#include "qmdmemmodel.h"
#include "voicehost.h"

#include <QList>

#include <mutex>

// A network document built element by element, standing in for the
// controller where voices are driven without it: it reads and writes the
// document the way the controller does and records what the voices deliver
// to instruments and to the fired-node queue.
class TestNetwork : public VoiceHost
{
public:
    struct Delivery
    {
        QmdItemId instrument = 0;
        InstrumentEvent event;
    };

    TestNetwork();

    // Each element is created with its state record where it has one.
    void addNode(QmdItemId id, qint64 principalsX, qint64 principalsY,
                 const QHash<QString, QVariant> &fields = {});
    void addEdge(QmdItemId id, QmdItemId from, QmdItemId to,
                 const QHash<QString, QVariant> &fields = {});
    void addVoiceGroup(QmdItemId id, QmdItemId toNode, const QHash<QString, QVariant> &fields = {});
    void setElement(QmdItemId id, const QHash<QString, QVariant> &fields);
    QVariant state(QmdItemId id, const QString &key) const;

    // What reached the instruments, in the order delivered.
    QList<Delivery> deliveries() const;
    // The pitches of the note-on events delivered so far.
    QList<int> notesOn() const;
    QList<FiredNode> firedNodes() const;
    void setTimingSource(AbstractSync *source) { m_timingSource = source; }

    QVariant elementValue(QmdItemId element, const QString &key) const override;
    bool hasElement(QmdItemId element) const override;
    bool hasElementState(QmdItemId element) const override;
    QVariant elementStateValue(QmdItemId element, const QString &key) const override;
    void writeElementState(QmdItemId element, const QHash<QString, QVariant> &values) override;
    qint64 travelTime(QmdItemId edge, bool *ok) const override;
    std::mutex &engineMutex() override { return m_engineMutex; }
    bool deliverNotePair(QmdItemId instrument, const InstrumentEvent &noteOn,
                         const InstrumentEvent &noteOff) override;
    bool deliverEvent(QmdItemId instrument, const InstrumentEvent &event) override;
    bool appendFiredNode(const FiredNode &record) override;
    AbstractSync *timingSource() const override { return m_timingSource; }

private:
    void addElement(QmdItemId id, uint type, const QHash<QString, QVariant> &fields);
    QmdIndex element(QmdItemId id) const;

    // The model is not thread-safe; voices of a group may read it in
    // parallel.
    mutable std::recursive_mutex m_modelMutex;
    QmdMemModel m_model;
    std::mutex m_engineMutex;
    mutable std::mutex m_recordMutex;
    QList<Delivery> m_deliveries;
    QList<FiredNode> m_firedNodes;
    AbstractSync *m_timingSource = nullptr;
};
