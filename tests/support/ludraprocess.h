#pragma once

// Header only: the tests that include it define LUDRA_BINARY, the path of
// the built program (tests/CMakeLists.txt).

#include <QCoreApplication>
#include <QProcess>
#include <QStringList>

// The built ludra program, run as a user on a machine reached over ssh would
// run it: no display, no MIDI service (no JACK server answers, none is
// started, and ALSA is not tried) and no audio output.
class LudraProcess : public QProcess
{
public:
    // Generous: the machine may be busy with other builds and tests.
    static constexpr int WaitMs = 120000;

    LudraProcess()
    {
        setProgram(QStringLiteral(LUDRA_BINARY));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name :
             {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "LUDRA_SOUNDFONT"})
            environment.remove(QString::fromLatin1(name));
        environment.insert("LUDRA_MIDI_API", "jack");
        environment.insert("JACK_DEFAULT_SERVER",
                           QString("ludra-no-server-%1").arg(QCoreApplication::applicationPid()));
        environment.insert("JACK_NO_START_SERVER", "1");
        environment.insert("LUDRA_AUDIO_DRIVER", "none");
        setProcessEnvironment(environment);
    }

    // Runs the program to its end; false when it did not end on its own or
    // did not start.
    bool run(const QStringList &arguments)
    {
        setArguments(arguments);
        start();
        const bool ended = waitForFinished(WaitMs) && exitStatus() == QProcess::NormalExit;
        m_out = readAllStandardOutput();
        m_err = readAllStandardError();
        return ended;
    }
    QByteArray standardOutput() const { return m_out; }
    QByteArray standardError() const { return m_err; }

private:
    QByteArray m_out;
    QByteArray m_err;
};
