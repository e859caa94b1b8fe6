#include "jackserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>

namespace {

constexpr int AnswerAttempts = 150;
constexpr int AnswerPauseMs = 100;
constexpr int ExitWaitMs = 10000;
constexpr int LockWaitMs = 600000;
// Client timeout of the server in milliseconds: a client slowed down by a
// loaded machine delays the cycle instead of losing its MIDI data.
constexpr int ClientTimeoutMs = 20000;

} // namespace

JackServer::JackServer() : m_lock(QDir::tempPath() + QStringLiteral("/ludra-jack-tests.lock"))
{
    // Only the owner's death frees the lock, however long a test runs.
    m_lock.setStaleLockTime(0);
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
    // libjack names a client's socket after the client and the user only, not
    // the server: two test processes opening clients of the same name at the
    // same moment, even on different servers, break each other's. Test
    // processes using JACK therefore take turns.
    if (!m_lock.tryLock(LockWaitMs)) {
        *error = QStringLiteral("another test process kept the JACK test lock");
        return false;
    }
    qputenv("JACK_DEFAULT_SERVER", m_name.toLocal8Bit());
    qputenv("JACK_NO_START_SERVER", "1");
    qputenv("LUDRA_MIDI_API", "jack");

    m_process.setProgram(QStringLiteral("jackd"));
    m_process.setArguments({QStringLiteral("--no-realtime"), QStringLiteral("--sync"),
                            QStringLiteral("--timeout"), QString::number(ClientTimeoutMs),
                            QStringLiteral("-n"), m_name, QStringLiteral("-d"),
                            QStringLiteral("dummy"), QStringLiteral("-r"), QStringLiteral("48000"),
                            QStringLiteral("-p"), QStringLiteral("128")});
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
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(ExitWaitMs)) {
            m_process.kill();
            m_process.waitForFinished(ExitWaitMs);
        }
    }
    if (m_lock.isLocked())
        m_lock.unlock();
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

bool JackServer::startIfInstalled(std::unique_ptr<JackServer> *server, QString *error)
{
    server->reset();
    if (!isInstalled())
        return true;
    *server = std::make_unique<JackServer>();
    return (*server)->start(error);
}
