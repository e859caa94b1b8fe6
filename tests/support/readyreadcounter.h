#pragma once

// Counts the readyRead() signals of a MidiInput as they are emitted, on the
// MIDI library's thread, for tests to read on theirs. Header only: it needs
// the MIDI layer, which the MIDI tests link.

#include "midiinput.h"

#include <atomic>

class ReadyReadCounter
{
public:
    explicit ReadyReadCounter(MidiInput *input)
    {
        m_connection = QObject::connect(
            input, &MidiInput::readyRead, input,
            [this, input](MidiInput *from) {
                if (from != input)
                    m_foreign.fetch_add(1);
                m_count.fetch_add(1);
            },
            Qt::DirectConnection);
    }
    ~ReadyReadCounter() { QObject::disconnect(m_connection); }

    int count() const { return m_count.load(); }
    // Signals that named another input than the one counted.
    int foreign() const { return m_foreign.load(); }

private:
    QMetaObject::Connection m_connection;
    std::atomic<int> m_count{0};
    std::atomic<int> m_foreign{0};
};
