#include "singleinstance.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

#include <unistd.h>

namespace {

// What the first instance answers once it has queued a connection's
// messages.
constexpr char Acknowledgement = '\x06';

// A socket that answers at all answers at once; one that does not is stale.
constexpr int ConnectTimeoutMs = 1000;

QString lockFileName(const QString &serverName)
{
    return QDir(QDir::tempPath()).filePath(serverName + QStringLiteral(".lock"));
}

} // namespace

SingleInstance::SingleInstance(const QString &applicationId, QObject *parent)
    : QObject(parent), m_name(serverName(applicationId))
{
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::serverName(const QString &applicationId)
{
    const QByteArray hash =
        QCryptographicHash::hash(applicationId.toUtf8(), QCryptographicHash::Sha256).toHex();
    return QStringLiteral("ludra-%1-%2").arg(::getuid()).arg(QString::fromLatin1(hash.left(16)));
}

bool SingleInstance::decide()
{
    if (m_server || m_client)
        return isFirst();
    // Beside the socket, which QLocalServer makes in the same folder.
    QLockFile lock(lockFileName(m_name));
    if (!lock.lock()) {
        m_error = tr("cannot lock %1").arg(lock.fileName());
        return false;
    }
    return !connectToRunning() && listen();
}

bool SingleInstance::reachRunning()
{
    if (m_server || m_client)
        return m_client != nullptr;
    // Not to meet an instance half way through listening.
    QLockFile lock(lockFileName(m_name));
    return lock.lock() && connectToRunning();
}

bool SingleInstance::connectToRunning()
{
    auto client = std::make_unique<QLocalSocket>();
    client->connectToServer(m_name);
    if (!client->waitForConnected(ConnectTimeoutMs))
        return false;
    m_client = std::move(client);
    return true;
}

bool SingleInstance::listen()
{
    // Nobody answers on a socket left behind by a killed instance.
    QLocalServer::removeServer(m_name);
    auto server = std::make_unique<QLocalServer>();
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(m_name)) {
        m_error = server->errorString();
        return false;
    }
    connect(server.get(), &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
    m_server = std::move(server);
    return true;
}

bool SingleInstance::sendMessages(const QStringList &messages)
{
    if (!m_client)
        return false;
    QByteArray block;
    QDataStream out(&block, QIODevice::WriteOnly);
    out << messages;
    m_client->write(block);
    while (m_client->bytesToWrite() > 0) {
        if (!m_client->waitForBytesWritten(AnswerTimeoutMs))
            return false;
    }
    while (m_client->bytesAvailable() < 1) {
        if (!m_client->waitForReadyRead(AnswerTimeoutMs))
            return false;
    }
    char answer = 0;
    const bool acknowledged = m_client->getChar(&answer) && answer == Acknowledgement;
    m_client->disconnectFromServer();
    return acknowledged;
}

void SingleInstance::startDelivering()
{
    m_delivering = true;
    // A message may open a dialog with its own event loop, in which more
    // messages arrive: they wait their turn at the end of the queue.
    while (!m_queue.isEmpty())
        Q_EMIT messageReceived(m_queue.takeFirst());
}

void SingleInstance::onNewConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        // Data may have come with the connection.
        onReadyRead(socket);
    }
}

void SingleInstance::onReadyRead(QLocalSocket *socket)
{
    QDataStream in(socket);
    in.startTransaction();
    QStringList messages;
    in >> messages;
    // The rest of the block is still on its way.
    if (!in.commitTransaction())
        return;
    socket->putChar(Acknowledgement);
    socket->flush();
    // Behind those still queued, if any.
    if (!m_delivering || !m_queue.isEmpty()) {
        m_queue += messages;
        return;
    }
    for (const QString &message : std::as_const(messages))
        Q_EMIT messageReceived(message);
}
