#pragma once

#include <QLockFile>
#include <QProcess>
#include <QString>

#include <memory>

// A private JACK server with the dummy driver, for tests that send real MIDI
// through real ports without sound hardware. start() points the JACK clients
// of this process at it and forces the MIDI layer onto JACK: call it before
// the first MIDI use of the process. The server is stopped by its process id
// when the object goes (SIGTERM, SIGKILL only if it does not exit). One test
// process at a time runs a server: start() waits for the others.
class JackServer
{
public:
    JackServer();
    ~JackServer();

    // Whether a JACK server program is installed.
    static bool isInstalled();
    // For a test's initTestCase(): *server holds a started server, or nothing
    // when JACK is not installed, so that the cases needing ports skip. False
    // with a reason only when an installed server does not start. Held by the
    // test object, the server stops when the test object goes.
    static bool startIfInstalled(std::unique_ptr<JackServer> *server, QString *error);

    // Starts the server and waits until it answers; false with a reason when
    // it does not.
    bool start(QString *error);
    void stop();

    QString name() const { return m_name; }

private:
    bool answers() const;

    QString m_name;
    QLockFile m_lock;
    QProcess m_process;
};

// Skips a test case that needs real MIDI ports when there is no server.
#define REQUIRE_JACK(server)                                                                       \
    if (!(server))                                                                                 \
    QSKIP("jackd is not installed: no MIDI ports to test with")
