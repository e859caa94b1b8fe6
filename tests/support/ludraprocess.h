#pragma once

#include <QProcess>
#include <QStringList>

// The built ludra program, run as a user on a machine reached over ssh would
// run it: no display (DISPLAY, WAYLAND_DISPLAY and the Qt platform are
// unset), no MIDI service (no JACK server answers, none is started, and
// ALSA is not tried) and no audio output (LUDRA_AUDIO_DRIVER=none).
class LudraProcess : public QProcess
{
public:
    explicit LudraProcess(QObject *parent = nullptr);

    // Starts the program with the arguments and waits for it to end; false
    // when it did not end on its own, crashed, or did not start.
    bool run(const QStringList &arguments);
    // Waits for the started program to end; false as for run().
    bool waitForEnd();
    // Waits for more standard output until it holds text; false when the
    // program ended or nothing came in time.
    bool waitForOutput(const QByteArray &text);

    QByteArray standardOutput() const { return m_out; }
    QByteArray standardError() const { return m_err; }

private:
    void collect();

    QByteArray m_out;
    QByteArray m_err;
};
