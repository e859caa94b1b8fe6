#pragma once

#include "inprocessmidiport.h"
#include "midibackend.h"
#include "midimessage.h"

#include <QHash>
#include <QMutex>
#include <QSet>
#include <QString>

#include <rtmidi/RtMidi.h>

#include <atomic>
#include <memory>
#include <type_traits>
#include <utility>

template <class T> class MidiIO;

// One open library port, shared process-wide by every MidiIO that opened its
// name. Its mutex serialises all traffic on the port and guards the users.
template <class T> struct MidiPortHandle
{
    QMutex mutex;
    std::unique_ptr<T> port;
    QSet<MidiIO<T> *> users;
    // Raised by the library's error callback; read after each library call.
    std::atomic<bool> failed{false};
    // The name of an output port of this process (InProcessMidiPort), which
    // has no library port; empty for a port of the MIDI library.
    QString inProcessName;
};

// A MIDI port of one direction (T is RtMidiOut or RtMidiIn), identified by
// the name the library lists for it. All objects of the process that open the
// same name share one library port, which closes with its last user.
//
// Locks are taken in this order only: the instance mutex, the registry mutex,
// a handle mutex. The library's receive callback takes just the handle mutex,
// so closing (which takes it to leave the users) waits for a delivery in
// progress, and the library port itself is deleted outside it.
template <class T> class MidiIO
{
public:
    using Handle = MidiPortHandle<T>;

    MidiIO() = default;
    virtual ~MidiIO() { MidiIO::close(); }
    MidiIO(const MidiIO &) = delete;
    MidiIO &operator=(const MidiIO &) = delete;

    // Opens the port listed under this name, closing any port opened before.
    // False when no port of that name exists or the library fails.
    virtual bool open(const QString &name);
    // False when the library reported an error while closing the port.
    virtual bool close();

    bool isOpen() const
    {
        QMutexLocker locker(&m_mutex);
        return m_handle != nullptr;
    }
    QString portName() const
    {
        QMutexLocker locker(&m_mutex);
        return m_name;
    }

    // How many objects of the process use the library port of that name.
    static int userCount(const QString &name)
    {
        QMutexLocker locker(&registryMutex());
        Handle *handle = registry().value(name);
        if (!handle)
            return 0;
        QMutexLocker handleLocker(&handle->mutex);
        return int(handle->users.size());
    }

protected:
    // Runs fn(handle) under the handle mutex while open; false when closed.
    template <class F> bool withHandle(F &&fn) const
    {
        QMutexLocker locker(&m_mutex);
        if (!m_handle)
            return false;
        QMutexLocker handleLocker(&m_handle->mutex);
        return fn(*m_handle);
    }

    // Called on the library's thread, under the handle mutex, for every
    // message the port receives while this object uses it.
    virtual void receive(const MidiMessage &message) { Q_UNUSED(message) }

private:
    static constexpr bool IsInput = std::is_same_v<T, RtMidiIn>;

    static QMutex &registryMutex()
    {
        static QMutex mutex;
        return mutex;
    }
    static QHash<QString, Handle *> &registry()
    {
        static QHash<QString, Handle *> handles;
        return handles;
    }

    static Handle *openHandle(const QString &name);
    static void onLibraryMessage(double timeStamp, std::vector<unsigned char> *bytes,
                                 void *userData);
    bool closeLocked();

    mutable QMutex m_mutex;
    Handle *m_handle = nullptr;
    QString m_name;
};

template <class T> bool MidiIO<T>::open(const QString &name)
{
    QMutexLocker locker(&m_mutex);
    closeLocked();
    QMutexLocker registryLocker(&registryMutex());
    Handle *handle = registry().value(name);
    if (!handle) {
        handle = openHandle(name);
        if (!handle)
            return false;
        registry().insert(name, handle);
    }
    {
        QMutexLocker handleLocker(&handle->mutex);
        handle->users.insert(this);
    }
    m_handle = handle;
    m_name = name;
    return true;
}

template <class T> bool MidiIO<T>::close()
{
    QMutexLocker locker(&m_mutex);
    return closeLocked();
}

template <class T> bool MidiIO<T>::closeLocked()
{
    Handle *handle = m_handle;
    if (!handle)
        return true;
    m_handle = nullptr;
    const QString name = std::exchange(m_name, QString());

    QMutexLocker registryLocker(&registryMutex());
    bool last = false;
    {
        QMutexLocker handleLocker(&handle->mutex);
        handle->users.remove(this);
        last = handle->users.isEmpty();
    }
    if (!last)
        return true;
    registry().remove(name);
    handle->failed.store(false);
    const bool ok = MidiBackend::destroy(std::move(handle->port), &handle->failed);
    delete handle;
    return ok;
}

template <class T> typename MidiIO<T>::Handle *MidiIO<T>::openHandle(const QString &name)
{
    auto handle = std::make_unique<Handle>();
    if constexpr (!IsInput) {
        if (InProcessMidiPort::contains(name)) {
            handle->inProcessName = name;
            return handle.release();
        }
    }
    handle->port = MidiBackend::create<T>(IsInput ? QStringLiteral("RtMidi Input Client")
                                                  : QStringLiteral("RtMidi Output Client"),
                                          &handle->failed);
    if (!handle->port)
        return nullptr;
    try {
        const unsigned int count = handle->port->getPortCount();
        unsigned int number = 0;
        while (number < count && QString::fromStdString(handle->port->getPortName(number)) != name)
            ++number;
        if (number == count)
            return nullptr;
        if constexpr (IsInput) {
            // Each user filters for itself what it ignores: the library port
            // passes everything.
            handle->port->ignoreTypes(false, false, false);
            handle->port->setCallback(&MidiIO::onLibraryMessage, handle.get());
        }
        handle->port->openPort(number, IsInput ? "RtMidi Input" : "RtMidi Output");
    } catch (const RtMidiError &error) {
        qCInfo(lcLudraMidi, "%s", error.what());
    }
    if (handle->failed.load() || !handle->port->isPortOpen()) {
        MidiBackend::destroy(std::move(handle->port));
        return nullptr;
    }
    return handle.release();
}

template <class T>
void MidiIO<T>::onLibraryMessage(double timeStamp, std::vector<unsigned char> *bytes,
                                 void *userData)
{
    MidiMessage message;
    message.bytes =
        QByteArray(reinterpret_cast<const char *>(bytes->data()), qsizetype(bytes->size()));
    message.timeStamp = timeStamp;

    auto *handle = static_cast<Handle *>(userData);
    QMutexLocker handleLocker(&handle->mutex);
    for (MidiIO *user : std::as_const(handle->users))
        user->receive(message);
}
