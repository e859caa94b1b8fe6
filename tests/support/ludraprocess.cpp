#include "ludraprocess.h"

#include <QCoreApplication>
#include <QProcessEnvironment>

namespace {

// Generous: the machine may be busy with other builds and tests.
constexpr int WaitMs = 120000;

} // namespace

LudraProcess::LudraProcess(QObject *parent) : QProcess(parent)
{
    setProgram(QStringLiteral(LUDRA_BINARY));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(QStringLiteral("LUDRA_MIDI_API"), QStringLiteral("jack"));
    environment.insert(
        QStringLiteral("JACK_DEFAULT_SERVER"),
        QStringLiteral("ludra-no-server-%1").arg(QCoreApplication::applicationPid()));
    environment.insert(QStringLiteral("JACK_NO_START_SERVER"), QStringLiteral("1"));
    // Nor any audio output, whatever the machine has.
    environment.insert(QStringLiteral("LUDRA_AUDIO_DRIVER"), QStringLiteral("none"));
    environment.remove(QStringLiteral("LUDRA_SOUNDFONT"));
    setProcessEnvironment(environment);
}

bool LudraProcess::run(const QStringList &arguments)
{
    m_out.clear();
    m_err.clear();
    setArguments(arguments);
    start();
    return waitForEnd();
}

bool LudraProcess::waitForEnd()
{
    const bool ended = waitForFinished(WaitMs);
    collect();
    return ended && exitStatus() == QProcess::NormalExit;
}

bool LudraProcess::waitForOutput(const QByteArray &text)
{
    while (!m_out.contains(text)) {
        if (state() == QProcess::NotRunning || !waitForReadyRead(WaitMs))
            return false;
        collect();
    }
    return true;
}

void LudraProcess::collect()
{
    m_out += readAllStandardOutput();
    m_err += readAllStandardError();
}
