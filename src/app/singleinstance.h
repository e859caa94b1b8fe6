#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class QLocalServer;
class QLocalSocket;

// One running instance of the application per user: a later launch hands its
// messages (for Ludra, the documents named on its command line) to the
// first and ends.
//
// The instances meet at a local socket named after the user id and a hash
// of the application id (the id itself holds "/", which would read as a
// path), open to the same user only. A lock file beside it makes the
// decision one launch at a time: the first to hold it either reaches a
// running instance or listens itself, so of two launches at the same
// moment exactly one becomes the first. A socket left by an instance that
// was killed answers nobody; it is removed and the new launch listens in
// its place.
//
// The second instance sends all its messages on one connection and waits
// for the first to acknowledge them. The first queues what arrives until
// startDelivering(), so messages that come while it is still starting up
// are kept, in order.
//
// Threads: the GUI thread only; messageReceived() is emitted there.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    // How long a second instance waits for the first to answer, at each
    // step; a first instance that is busy starting up answers late.
    static constexpr int AnswerTimeoutMs = 30000;

    explicit SingleInstance(const QString &applicationId, QObject *parent = nullptr);
    ~SingleInstance() override;

    // The socket's name for this user and application id.
    static QString serverName(const QString &applicationId);

    // Decides, once, whether this process is the first instance: true when
    // it now listens, false when another instance answered (or, rarely,
    // when neither works out: see error()).
    bool decide();
    // Only looks for a running instance, one that answers: true when one
    // does, and this process is then a second instance (sendMessages()).
    // False leaves the decision to decide(). Needs no display, so that a
    // launch without one still hands its documents over.
    bool reachRunning();
    bool isFirst() const { return m_server != nullptr; }
    // Why neither listening nor reaching another instance worked; empty
    // otherwise.
    QString error() const { return m_error; }

    // As the second instance: sends the messages to the first and waits for
    // its acknowledgement; false when it does not come.
    bool sendMessages(const QStringList &messages);

    // As the first instance: emits the messages queued so far, in order, and
    // every later one as it arrives.
    void startDelivering();

Q_SIGNALS:
    void messageReceived(const QString &message);

private:
    void onNewConnection();
    void onReadyRead(QLocalSocket *socket);
    bool connectToRunning();
    bool listen();

    const QString m_name;
    std::unique_ptr<QLocalServer> m_server;
    std::unique_ptr<QLocalSocket> m_client;
    QString m_error;
    bool m_delivering = false;
    QStringList m_queue;
};
