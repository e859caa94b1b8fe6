#include "inprocessmidiport.h"

#include <QHash>

#include <mutex>

namespace {

std::mutex portsMutex;
QHash<QString, std::shared_ptr<InProcessMidiPort>> ports;

} // namespace

bool InProcessMidiPort::add(const QString &name, std::shared_ptr<InProcessMidiPort> port)
{
    const std::lock_guard locker(portsMutex);
    if (!port || ports.contains(name))
        return false;
    ports.insert(name, std::move(port));
    return true;
}

void InProcessMidiPort::remove(const QString &name, const InProcessMidiPort *port)
{
    const std::lock_guard locker(portsMutex);
    const auto found = ports.constFind(name);
    if (found != ports.cend() && found->get() == port)
        ports.erase(found);
}

bool InProcessMidiPort::contains(const QString &name)
{
    const std::lock_guard locker(portsMutex);
    return ports.contains(name);
}

QSet<QString> InProcessMidiPort::names()
{
    const std::lock_guard locker(portsMutex);
    const QList<QString> keys = ports.keys();
    return QSet<QString>(keys.cbegin(), keys.cend());
}

bool InProcessMidiPort::deliver(const QString &name, const QList<QByteArray> &messages)
{
    std::shared_ptr<InProcessMidiPort> port;
    {
        // The port is looked up at every send, so that a sender still open
        // on a port that went finds the one listed under its name now.
        const std::lock_guard locker(portsMutex);
        port = ports.value(name);
    }
    return port && port->receive(messages);
}
