#include "instrumentevent.h"

InstrumentEvent InstrumentEvent::noteOn(qint64 tick, quint8 note, quint8 velocity)
{
    return InstrumentEvent(NoteOn, tick, note, velocity, 0);
}

InstrumentEvent InstrumentEvent::noteOff(qint64 tick, quint8 note, quint8 velocity)
{
    return InstrumentEvent(NoteOff, tick, note, velocity, 0);
}

InstrumentEvent InstrumentEvent::programChange(qint64 tick, quint8 program, quint8 bankMsb,
                                               quint8 bankLsb)
{
    return InstrumentEvent(ProgramChange, tick, program, bankMsb, bankLsb);
}

InstrumentEvent InstrumentEvent::userMessage(qint64 tick, const QByteArray &bytes)
{
    InstrumentEvent event(UserMessage, tick, 0, 0, 0);
    event.bytes = bytes;
    return event;
}
