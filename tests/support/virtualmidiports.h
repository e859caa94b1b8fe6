#pragma once

// Ports that tests open on the JACK server of a JackServer, beside the ports
// under test: a sink that records what reaches it and a source that sends.
// Header only: it needs the MIDI library, which the MIDI tests link.

#include <QByteArray>
#include <QCoreApplication>
#include <QList>
#include <QMutex>
#include <QString>
#include <QTest>

#include "midibackend.h"

#include <rtmidi/RtMidi.h>

#include <atomic>
#include <functional>
#include <memory>
#include <utility>

namespace virtualmidi {

inline QString uniqueClientName(const char *role)
{
    static std::atomic<int> serial{0};
    return QStringLiteral("ludra-test-%1-%2-%3")
        .arg(QLatin1String(role))
        .arg(QCoreApplication::applicationPid())
        .arg(++serial);
}

inline void ignoreLibraryError(RtMidiError::Type, const std::string &, void *) {}

// JACK makes a new connection effective only at a later process cycle, so
// what is sent just after connecting may be lost. Sends a probe until one
// arrives, then a fence, and returns once the fence has arrived: from then on
// nothing sent is lost, and nothing sent before is still on its way.
// `received` returns the messages that arrived since its previous call.
inline bool awaitConnection(const std::function<void(const QByteArray &)> &send,
                            const std::function<QList<QByteArray>()> &received)
{
    const QByteArray probe("\x8F\x7F\x00", 3);
    const QByteArray fence("\x8F\x7F\x7F", 3);
    bool arrived = false;
    for (int attempt = 0; attempt < 150 && !arrived; ++attempt) {
        send(probe);
        arrived = QTest::qWaitFor([&] { return !received().isEmpty(); }, 200);
    }
    if (!arrived)
        return false;
    send(fence);
    return QTest::qWaitFor([&] { return received().contains(fence); }, 30000);
}

} // namespace virtualmidi

// A virtual input port; the ports under test send to it by its name.
class VirtualMidiSink
{
public:
    // The role becomes part of the port's name.
    explicit VirtualMidiSink(const char *role = "sink")
        : m_client(virtualmidi::uniqueClientName(role))
    {
        m_port = std::make_unique<RtMidiIn>(RtMidi::UNIX_JACK, m_client.toStdString());
        m_port->setErrorCallback(&virtualmidi::ignoreLibraryError);
        m_port->ignoreTypes(false, false, false);
        m_port->setCallback(&VirtualMidiSink::onMessage, this);
        m_port->openVirtualPort("in");
    }

    // The name under which output ports list it.
    QString portName() const { return m_client + QStringLiteral(":in"); }

    QList<QByteArray> messages() const
    {
        QMutexLocker locker(&m_mutex);
        return m_messages;
    }
    int count() const
    {
        QMutexLocker locker(&m_mutex);
        return int(m_messages.size());
    }
    QList<QByteArray> takeAll()
    {
        QMutexLocker locker(&m_mutex);
        return std::exchange(m_messages, QList<QByteArray>());
    }

    // Waits until what `send` sends reaches this sink; empties it.
    bool awaitConnection(const std::function<void(const QByteArray &)> &send)
    {
        return virtualmidi::awaitConnection(send, [this] { return takeAll(); });
    }

private:
    static void onMessage(double, std::vector<unsigned char> *bytes, void *userData)
    {
        auto *sink = static_cast<VirtualMidiSink *>(userData);
        QMutexLocker locker(&sink->m_mutex);
        sink->m_messages.append(
            QByteArray(reinterpret_cast<const char *>(bytes->data()), qsizetype(bytes->size())));
    }

    QString m_client;
    std::unique_ptr<RtMidiIn> m_port;
    mutable QMutex m_mutex;
    QList<QByteArray> m_messages;
};

// A virtual output port; the ports under test receive from it by its name.
class VirtualMidiSource
{
public:
    VirtualMidiSource() : m_client(virtualmidi::uniqueClientName("source"))
    {
        m_port = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, m_client.toStdString());
        m_port->setErrorCallback(&virtualmidi::ignoreLibraryError);
        m_port->openVirtualPort("out");
    }

    ~VirtualMidiSource() { MidiBackend::destroy(std::move(m_port)); }

    // The name under which input ports list it.
    QString portName() const { return m_client + QStringLiteral(":out"); }

    // Waits until what this source sends reaches `received`.
    bool awaitConnection(const std::function<QList<QByteArray>()> &received)
    {
        return virtualmidi::awaitConnection([this](const QByteArray &bytes) { send(bytes); },
                                            received);
    }

    void send(const QByteArray &bytes)
    {
        m_port->sendMessage(reinterpret_cast<const unsigned char *>(bytes.constData()),
                            size_t(bytes.size()));
    }

private:
    QString m_client;
    std::unique_ptr<RtMidiOut> m_port;
};
