#pragma once

// Ports that tests open on the JACK server of a JackServer, beside the ports
// under test: a sink that records what reaches it and a source that sends.
// Header only: it needs the MIDI library, which the MIDI tests link.

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QString>

#include <rtmidi/RtMidi.h>

#include <atomic>
#include <memory>

namespace virtualmidi {

inline QString uniqueClientName(const char *role)
{
    static std::atomic<int> serial{0};
    return QStringLiteral("ludra-test-%1-%2").arg(QLatin1String(role)).arg(++serial);
}

inline void ignoreLibraryError(RtMidiError::Type, const std::string &, void *) {}

} // namespace virtualmidi

// A virtual input port; the ports under test send to it by its name.
class VirtualMidiSink
{
public:
    VirtualMidiSink() : m_client(virtualmidi::uniqueClientName("sink"))
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
    void clear()
    {
        QMutexLocker locker(&m_mutex);
        m_messages.clear();
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

    // The name under which input ports list it.
    QString portName() const { return m_client + QStringLiteral(":out"); }

    void send(const QByteArray &bytes)
    {
        m_port->sendMessage(reinterpret_cast<const unsigned char *>(bytes.constData()),
                            size_t(bytes.size()));
    }

private:
    QString m_client;
    std::unique_ptr<RtMidiOut> m_port;
};
