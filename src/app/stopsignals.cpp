#include "stopsignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The writing end of the pair, for the handler, which may touch nothing
// else.
volatile sig_atomic_t writeEnd = -1;

void handle(int signalNumber)
{
    const int savedErrno = errno;
    const char number = char(signalNumber);
    // A full pair drops the byte: one unread signal already asks to stop.
    [[maybe_unused]] const ssize_t written = ::write(writeEnd, &number, 1);
    errno = savedErrno;
}

} // namespace

StopSignals::StopSignals(QObject *parent) : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, m_pair) != 0) {
        // Without the pair the signals keep their default actions.
        m_pair[0] = m_pair[1] = -1;
        return;
    }
    writeEnd = m_pair[1];
    m_notifier = new QSocketNotifier(m_pair[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &StopSignals::readSignal);

    struct sigaction action = {};
    action.sa_handler = handle;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    for (std::size_t i = 0; i < std::size(Watched); ++i)
        sigaction(Watched[i], &action, &m_previous[i]);
}

StopSignals::~StopSignals()
{
    if (m_pair[0] < 0)
        return;
    for (std::size_t i = 0; i < std::size(Watched); ++i)
        sigaction(Watched[i], &m_previous[i], nullptr);
    writeEnd = -1;
    delete m_notifier;
    ::close(m_pair[0]);
    ::close(m_pair[1]);
}

void StopSignals::readSignal()
{
    char number = 0;
    while (::read(m_pair[0], &number, 1) == 1)
        Q_EMIT received(int(number));
}
