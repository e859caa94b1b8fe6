#pragma once

#include "qmdglobal.h"

#include <QHash>
#include <QString>
#include <QVariant>

#include <mutex>

class AbstractSync;
class InstrumentEvent;
struct FiredNode;

// What the firing of voices needs from the document that owns them: element
// values and state records by element id, the travel time of an edge, the
// instruments, the fired-node queue and the mutex that serialises firings.
// The network controller provides it for playback in real time; anything
// that drives voices on another clock can provide the same.
class VoiceHost
{
public:
    virtual ~VoiceHost() = default;

    // The value of key in the element's record; invalid when either is absent.
    virtual QVariant elementValue(QmdItemId element, const QString &key) const = 0;
    virtual bool hasElement(QmdItemId element) const = 0;
    virtual bool hasElementState(QmdItemId element) const = 0;
    virtual QVariant elementStateValue(QmdItemId element, const QString &key) const = 0;
    // Writes into the element's state record, outside the undo history.
    virtual void writeElementState(QmdItemId element, const QHash<QString, QVariant> &values) = 0;
    // The time a voice takes along the edge in ticks; ok is false when the
    // edge or one of its nodes is missing.
    virtual qint64 travelTime(QmdItemId edge, bool *ok) const = 0;
    // Held for the whole firing of a node.
    virtual std::mutex &engineMutex() = 0;
    // False when the instrument does not exist or its queue refused.
    virtual bool deliverNotePair(QmdItemId instrument, const InstrumentEvent &noteOn,
                                 const InstrumentEvent &noteOff) = 0;
    virtual bool deliverEvent(QmdItemId instrument, const InstrumentEvent &event) = 0;
    // False when the record was dropped.
    virtual bool appendFiredNode(const FiredNode &record) = 0;
    // The clock of real-time playback; nullptr when there is none.
    virtual AbstractSync *timingSource() const = 0;
};
