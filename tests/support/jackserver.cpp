#include "jackserver.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>

namespace {

constexpr int AnswerAttempts = 150;
constexpr int AnswerPauseMs = 100;
constexpr int ExitWaitMs = 10000;

} // namespace

JackServer::JackServer()
{
    static int serial = 0;
    m_name =
        QStringLiteral("ludra-test-%1-%2").arg(QCoreApplication::applicationPid()).arg(++serial);
}

JackServer::~JackServer()
{
    stop();
}

bool JackServer::isInstalled()
{
    return !QStandardPaths::findExecutable(QStringLiteral("jackd")).isEmpty();
}

bool JackServer::start(QString *error)
{
    qputenv("JACK_DEFAULT_SERVER", m_name.toLocal8Bit());
    qputenv("JACK_NO_START_SERVER", "1");
    qputenv("LUDRA_MIDI_API", "jack");

    m_process.setProgram(QStringLiteral("jackd"));
    m_process.setArguments({QStringLiteral("--no-realtime"), QStringLiteral("-n"), m_name,
                            QStringLiteral("-d"), QStringLiteral("dummy"), QStringLiteral("-r"),
                            QStringLiteral("48000"), QStringLiteral("-p"), QStringLiteral("128")});
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(QProcess::nullDevice());
    // A test that crashes must not leave its server behind.
    m_process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_process.start();
    if (!m_process.waitForStarted()) {
        *error = QStringLiteral("jackd did not start: %1").arg(m_process.errorString());
        return false;
    }
    for (int attempt = 0; attempt < AnswerAttempts; ++attempt) {
        if (m_process.state() != QProcess::Running) {
            *error = QStringLiteral("jackd exited with code %1").arg(m_process.exitCode());
            return false;
        }
        if (answers())
            return true;
        QThread::msleep(AnswerPauseMs);
    }
    *error = QStringLiteral("JACK server %1 did not answer").arg(m_name);
    stop();
    return false;
}

void JackServer::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(ExitWaitMs)) {
        m_process.kill();
        m_process.waitForFinished(ExitWaitMs);
    }
}

bool JackServer::answers() const
{
    QProcess check;
    check.setStandardOutputFile(QProcess::nullDevice());
    check.setStandardErrorFile(QProcess::nullDevice());
    check.start(QStringLiteral("jack_lsp"), {QStringLiteral("-s"), m_name});
    return check.waitForFinished(10000) && check.exitStatus() == QProcess::NormalExit &&
           check.exitCode() == 0;
}
