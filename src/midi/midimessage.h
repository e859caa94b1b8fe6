#pragma once

#include <QByteArray>
#include <QMetaType>
#include <Qt>

// One MIDI message as a port received it.
struct MidiMessage
{
    QByteArray bytes;
    // Seconds since the previous message on the same port, as the MIDI
    // library measured it; 0 for the first.
    double timeStamp = 0;
    // Nanoseconds of the playback clock when the message arrived.
    qint64 arrivalNs = 0;
    // The keyboard modifiers held at arrival (none without a GUI).
    Qt::KeyboardModifiers modifiers;
};

Q_DECLARE_METATYPE(MidiMessage)
