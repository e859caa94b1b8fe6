#pragma once

#include <QObject>

#include <csignal>

class QSocketNotifier;

// Ctrl-C, termination and a closed terminal (SIGINT, SIGTERM, SIGHUP) as a
// Qt signal, so that Ludra ends as if asked to: playback paused, which
// silences the notes still sounding on MIDI ports, and documents asked
// about before they close. The handler only writes the signal's number into
// a socket pair; the event loop reads it and emits received(). Each handler
// resets itself, so a second signal gets the default action and ends a
// stop that hangs. The previous actions come back with the object.
//
// Threads: made, used and destroyed on the thread whose event loop reads
// the pair; at most one object at a time in a process.
class StopSignals : public QObject
{
    Q_OBJECT

public:
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;

    StopSignals(const StopSignals &) = delete;
    StopSignals &operator=(const StopSignals &) = delete;

Q_SIGNALS:
    void received(int signalNumber);

private:
    void readSignal();

    static constexpr int Watched[] = {SIGINT, SIGTERM, SIGHUP};
    int m_pair[2] = {-1, -1};
    QSocketNotifier *m_notifier = nullptr;
    struct sigaction m_previous[std::size(Watched)] = {};
};
