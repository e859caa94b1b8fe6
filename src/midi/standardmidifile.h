#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// One event of a track: a complete channel message (status byte first, no
// running status) at an absolute file tick.
struct StandardMidiFileEvent
{
    qint64 tick = 0;
    QByteArray message;
};

// A named track; its events are in the order they are to be written, with
// ticks that never decrease.
struct StandardMidiFileTrack
{
    QString name;
    QList<StandardMidiFileEvent> events;
};

// A format 1 Standard MIDI File: a first track that holds only the tempo,
// then the tracks given, each opened by its name and closed by end of track.
class StandardMidiFile
{
public:
    quint16 ticksPerQuarter = 960;
    quint32 microsecondsPerQuarter = 500000;
    QList<StandardMidiFileTrack> tracks;

    // The bytes of the whole file.
    QByteArray toByteArray() const;
};
