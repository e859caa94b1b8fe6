#pragma once

// Ports that tests open on the JACK server of a JackServer, beside the ports
// under test: a sink that records what reaches it and a source that sends.
// Header only: it needs the JACK library, which the MIDI tests link.

#include <QByteArray>
#include <QCoreApplication>
#include <QList>
#include <QMutex>
#include <QString>
#include <QTest>

#include <jack/jack.h>
#include <jack/midiport.h>

#include <atomic>
#include <functional>
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

// A virtual input port; the ports under test send to it by its name. It is
// a plain JACK client rather than a library input port: the library
// unregisters its port while the client is still active, which races inside
// libjack with the client's own process cycle and now and then crashes it.
// Deactivating first ends the cycles before anything is torn down.
class VirtualMidiSink
{
public:
    // The role becomes part of the port's name.
    explicit VirtualMidiSink(const char *role = "sink")
        : m_client(virtualmidi::uniqueClientName(role))
    {
        m_jack = jack_client_open(m_client.toUtf8().constData(),
                                  JackOptions(JackNoStartServer | JackUseExactName), nullptr);
        if (!m_jack)
            return;
        m_port = jack_port_register(m_jack, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(m_jack, &VirtualMidiSink::process, this);
        jack_activate(m_jack);
    }
    ~VirtualMidiSink()
    {
        if (!m_jack)
            return;
        jack_deactivate(m_jack);
        jack_client_close(m_jack);
    }
    VirtualMidiSink(const VirtualMidiSink &) = delete;
    VirtualMidiSink &operator=(const VirtualMidiSink &) = delete;

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
    // On the client's process thread, once per cycle.
    static int process(jack_nframes_t frames, void *userData)
    {
        auto *sink = static_cast<VirtualMidiSink *>(userData);
        void *buffer = jack_port_get_buffer(sink->m_port, frames);
        const jack_nframes_t count = jack_midi_get_event_count(buffer);
        for (jack_nframes_t i = 0; i < count; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, i) != 0)
                continue;
            QMutexLocker locker(&sink->m_mutex);
            sink->m_messages.append(
                QByteArray(reinterpret_cast<const char *>(event.buffer), qsizetype(event.size)));
        }
        return 0;
    }

    QString m_client;
    mutable QMutex m_mutex;
    QList<QByteArray> m_messages;
    jack_client_t *m_jack = nullptr;
    jack_port_t *m_port = nullptr;
};

// A virtual output port; the ports under test receive from it by its name.
// A plain JACK client for the same reason as the sink, and one more: the
// library's output frees the buffer its process cycle reads before it stops
// its client, and a virtual port of the library does not count as open, so
// MidiBackend::destroy would not wait for a cycle under way to end.
class VirtualMidiSource
{
public:
    VirtualMidiSource() : m_client(virtualmidi::uniqueClientName("source"))
    {
        m_jack = jack_client_open(m_client.toUtf8().constData(),
                                  JackOptions(JackNoStartServer | JackUseExactName), nullptr);
        if (!m_jack)
            return;
        m_port = jack_port_register(m_jack, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        jack_set_process_callback(m_jack, &VirtualMidiSource::process, this);
        jack_activate(m_jack);
    }
    ~VirtualMidiSource()
    {
        if (!m_jack)
            return;
        jack_deactivate(m_jack);
        jack_client_close(m_jack);
    }
    VirtualMidiSource(const VirtualMidiSource &) = delete;
    VirtualMidiSource &operator=(const VirtualMidiSource &) = delete;

    // The name under which input ports list it.
    QString portName() const { return m_client + QStringLiteral(":out"); }

    // Waits until what this source sends reaches `received`.
    bool awaitConnection(const std::function<QList<QByteArray>()> &received)
    {
        return virtualmidi::awaitConnection([this](const QByteArray &bytes) { send(bytes); },
                                            received);
    }

    // Queues one message; the next process cycle writes it to the port.
    void send(const QByteArray &bytes)
    {
        QMutexLocker locker(&m_mutex);
        m_pending.append(bytes);
    }

private:
    // On the client's process thread, once per cycle. What does not fit into
    // this cycle's buffer stays queued, in order, for the next one.
    static int process(jack_nframes_t frames, void *userData)
    {
        auto *source = static_cast<VirtualMidiSource *>(userData);
        void *buffer = jack_port_get_buffer(source->m_port, frames);
        jack_midi_clear_buffer(buffer);
        QMutexLocker locker(&source->m_mutex);
        qsizetype written = 0;
        for (const QByteArray &bytes : std::as_const(source->m_pending)) {
            if (jack_midi_event_write(buffer, 0,
                                      reinterpret_cast<const jack_midi_data_t *>(bytes.constData()),
                                      size_t(bytes.size())) != 0)
                break;
            ++written;
        }
        source->m_pending.remove(0, written);
        return 0;
    }

    QString m_client;
    QMutex m_mutex;
    QList<QByteArray> m_pending;
    jack_client_t *m_jack = nullptr;
    jack_port_t *m_port = nullptr;
};
