#pragma once

#include <QLoggingCategory>
#include <QSet>
#include <QString>

#include <rtmidi/RtMidi.h>

#include <atomic>
#include <memory>

// Messages of the MIDI library and of the services behind it. They are
// diagnostics, off unless enabled (QT_LOGGING_RULES="ludra.midi.info=true").
Q_DECLARE_LOGGING_CATEGORY(lcLudraMidi)

// The MIDI services of this process, reached only through the MIDI library.
// One API serves the whole process: LUDRA_MIDI_API=alsa or =jack forces that
// one; otherwise the ALSA sequencer when it opens, else JACK when a server
// answers, else none. Without an API there is no MIDI: no library object is
// ever made, so nothing the library or its services would print reaches the
// user, and no exception escapes.
class MidiBackend
{
public:
    // The API chosen at first use; RtMidi::UNSPECIFIED when there is no MIDI.
    static RtMidi::Api api();

    // A library port object (RtMidiIn or RtMidiOut) of the chosen API, with
    // its errors logged and, when given, raising errorFlag; nullptr when the
    // MIDI services do not answer.
    template <class T>
    static std::unique_ptr<T> create(const QString &clientName,
                                     std::atomic<bool> *errorFlag = nullptr);

    // The names of the ports a T can open, as the library lists them,
    // through the listing objects the process keeps (MidiPortLister).
    template <class T> static QSet<QString> portNames();

    // Closes a library port object and destroys it. A JACK output frees its
    // buffer before it stops its JACK client, so a process cycle still under
    // way when it is destroyed would read freed memory: it is given time to
    // end first. False when the library reported an error while closing.
    template <class T>
    static bool destroy(std::unique_ptr<T> port, std::atomic<bool> *errorFlag = nullptr);
};
