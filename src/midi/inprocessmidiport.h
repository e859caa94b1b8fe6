#pragma once

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>

#include <memory>

// A MIDI output port inside this process, such as the built-in
// synthesizer's. It is listed among the output ports from add() to
// remove(), with or without a MIDI system, and outputs that open its name
// hand it their messages directly, on their sending thread.
//
// Threads: the list may be used from any thread. receive() runs on a
// sender's thread while that sender's port mutex is held (see MidiIO), so
// it must not open or close MIDI ports.
class InProcessMidiPort
{
public:
    virtual ~InProcessMidiPort() = default;

    // Takes complete messages in order; false when the port can no longer
    // play them (it went, as a device may).
    virtual bool receive(const QList<QByteArray> &messages) = 0;

    // Lists the port under the name; false when the name is taken.
    static bool add(const QString &name, std::shared_ptr<InProcessMidiPort> port);
    // Takes the port off the list, if it is listed under the name.
    static void remove(const QString &name, const InProcessMidiPort *port);
    static bool contains(const QString &name);
    static QSet<QString> names();
    // Hands the messages to the port listed under the name; false without
    // one, or when it refuses them.
    static bool deliver(const QString &name, const QList<QByteArray> &messages);
};
