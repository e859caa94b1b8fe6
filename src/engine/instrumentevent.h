#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QtGlobal>

// One timed event on its way from the engine to an instrument: a note on or
// off, a program change with bank select, or raw user bytes. A plain value.
class InstrumentEvent
{
public:
    enum Type : qint32 { NoteOn = 0, NoteOff = 1, ProgramChange = 2, UserMessage = 3 };

    InstrumentEvent() = default;

    static InstrumentEvent noteOn(qint64 tick, quint8 note, quint8 velocity);
    static InstrumentEvent noteOff(qint64 tick, quint8 note, quint8 velocity);
    static InstrumentEvent programChange(qint64 tick, quint8 program, quint8 bankMsb,
                                         quint8 bankLsb);
    static InstrumentEvent userMessage(qint64 tick, const QByteArray &bytes);

    bool operator==(const InstrumentEvent &other) const = default;

    qint32 type = NoteOn;
    // The grid tick at which the event is due.
    qint64 tick = 0;
    // Note number, or the program of a program change.
    quint8 data1 = 0;
    // Velocity, or the bank select MSB of a program change.
    quint8 data2 = 0;
    // The bank select LSB of a program change.
    quint8 data3 = 0;
    // The raw MIDI bytes of a user message.
    QByteArray bytes;

private:
    InstrumentEvent(qint32 type, qint64 tick, quint8 data1, quint8 data2, quint8 data3)
        : type(type), tick(tick), data1(data1), data2(data2), data3(data3)
    {
    }
};

Q_DECLARE_METATYPE(InstrumentEvent)
