#pragma once

#include <QByteArray>
#include <QInputEvent>

// One MIDI message received on the application's MIDI input, delivered to
// the widget with keyboard focus as a key press would be: a list field takes
// the note it plays, other widgets ignore it. The keyboard modifiers are
// those held when the event is built, on the GUI thread, so that Shift with
// a note means what it means with a key.
//
// It lives with the list fields that take it, below the application that
// sends it.
//
// Threads: built and delivered on the GUI thread.
class MidiEvent : public QInputEvent
{
public:
    // The event type, registered at its first use.
    static QEvent::Type staticType();

    // Reads the keyboard modifiers now.
    MidiEvent(double timeStamp, const QByteArray &bytes);

    // Seconds since the previous message on the same port, as the MIDI
    // library measured it.
    double timeStamp() const { return m_timeStamp; }
    const QByteArray &bytes() const { return m_bytes; }

    MidiEvent *clone() const override { return new MidiEvent(*this); }

private:
    double m_timeStamp;
    QByteArray m_bytes;
};
