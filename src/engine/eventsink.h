#pragma once

#include "qmdglobal.h"

class InstrumentEvent;
struct FiredNode;

// Where firings send what they make: events for the instruments, by
// instrument id, and a record of each firing for the display. Real-time
// playback hands the events to its instruments' queues; the offline render
// keeps them itself.
//
// Called by whichever thread fires, with the engine's mutex held.
class EventSink
{
public:
    // False when the instrument does not exist or refused the events.
    virtual bool deliverNotePair(QmdItemId instrument, const InstrumentEvent &noteOn,
                                 const InstrumentEvent &noteOff) = 0;
    virtual bool deliverEvent(QmdItemId instrument, const InstrumentEvent &event) = 0;
    // False when the record was dropped.
    virtual bool appendFiredNode(const FiredNode &record) = 0;
    // The counters have changed since they were last taken; called once
    // until they are taken again (PlaybackCounters::takeChanged()).
    virtual void countersChanged() {}

protected:
    ~EventSink() = default;
};
