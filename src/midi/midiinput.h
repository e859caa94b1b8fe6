#pragma once

#include "midiio.h"
#include "nanoclock.h"

#include <QList>
#include <QObject>

// An input port that keeps the messages it receives in a bounded queue,
// each stamped with its arrival time, and announces each of them with
// readyRead(), on the MIDI library's thread.
// Receivers connect directly to handle messages on that thread, or queued to
// handle them on their own.
class MidiInput : public QObject, public MidiIO<RtMidiIn>
{
    Q_OBJECT

public:
    enum IgnoreFlag { IgnoreSysex = 1, IgnoreTiming = 2, IgnoreActiveSensing = 4 };
    static constexpr int DefaultCapacity = 1024;
    static constexpr int DefaultIgnoreFlags = IgnoreSysex | IgnoreTiming | IgnoreActiveSensing;

    explicit MidiInput(QObject *parent = nullptr);
    ~MidiInput() override;

    bool hasMessages() const;
    // The oldest message, left in the queue; an empty message when none.
    MidiMessage peek() const;
    // The oldest message; an empty message when none.
    MidiMessage take();
    // Up to count oldest messages, oldest first.
    QList<MidiMessage> take(int count);
    QList<MidiMessage> takeAll();
    void clear();

    int capacity() const;
    // Drops the oldest messages until the queue fits.
    void setCapacity(int capacity);

    // The kinds of message the port leaves out: system exclusive (1), timing
    // clock and time code (2), active sensing (4). They take effect at once,
    // also on a port already open.
    int ignoreFlags() const { return m_ignoreFlags.load(); }
    void setIgnoreFlags(int flags) { m_ignoreFlags.store(flags); }

    // The clock that stamps each message's arrival (not owned); the
    // steady clock unless another is set.
    void setClock(const NanoClock *clock) { m_clock.store(clock ? clock : NanoClock::steady()); }

    static QSet<QString> inputPortNames();

Q_SIGNALS:
    // Emitted for every message the port delivers, also when the full queue
    // dropped it.
    void readyRead(MidiInput *input);

protected:
    void receive(const MidiMessage &message) override;

private:
    bool ignores(const MidiMessage &message) const;

    mutable QMutex m_queueMutex;
    QList<MidiMessage> m_queue;
    int m_capacity = DefaultCapacity;
    std::atomic<int> m_ignoreFlags{DefaultIgnoreFlags};
    std::atomic<const NanoClock *> m_clock{NanoClock::steady()};
};
