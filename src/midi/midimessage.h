#pragma once

#include <QByteArray>
#include <QMetaType>

// One MIDI message as a port received it.
struct MidiMessage
{
    QByteArray bytes;
    // Seconds since the previous message on the same port, as the MIDI
    // library measured it; 0 for the first.
    double timeStamp = 0;
    // Nanoseconds of the receiving input's clock when the message arrived.
    qint64 arrivalNs = 0;
};

Q_DECLARE_METATYPE(MidiMessage)
