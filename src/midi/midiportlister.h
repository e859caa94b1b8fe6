#pragma once

#include <QMutex>
#include <QSet>
#include <QString>

#include <rtmidi/RtMidi.h>

#include <atomic>
#include <memory>

// Lists the MIDI library's ports through one input and one output object
// kept for the life of the process, instead of a fresh one per list: the
// application polls the lists every second, and under JACK each fresh object
// would be a JACK client opened and closed, announced to every other client
// each time. The objects are made at the first list that finds the MIDI
// services answering; one whose library call failed is dropped and made
// again at the next list.
//
// Threads: every function may be called from any thread; the lists are made
// one at a time under one mutex.
class MidiPortLister
{
public:
    // The names of the ports an input (resp. output) can open, as the
    // library lists them; empty without MIDI.
    static QSet<QString> inputPortNames();
    static QSet<QString> outputPortNames();

private:
    template <class T> static QSet<QString> portNames(std::unique_ptr<T> &lister);

    static QMutex &mutex();
    static std::atomic<bool> &failed();
};
