#include "midiinput.h"

MidiInput::MidiInput(QObject *parent) : QObject(parent) {}

MidiInput::~MidiInput()
{
    // Leave the port before this object is torn down: a delivery in progress
    // finishes first, and no later one reaches a half-destroyed receiver.
    close();
}

bool MidiInput::hasMessages() const
{
    QMutexLocker locker(&m_queueMutex);
    return !m_queue.isEmpty();
}

MidiMessage MidiInput::peek() const
{
    QMutexLocker locker(&m_queueMutex);
    return m_queue.isEmpty() ? MidiMessage() : m_queue.first();
}

MidiMessage MidiInput::take()
{
    QMutexLocker locker(&m_queueMutex);
    return m_queue.isEmpty() ? MidiMessage() : m_queue.takeFirst();
}

QList<MidiMessage> MidiInput::take(int count)
{
    QMutexLocker locker(&m_queueMutex);
    const qsizetype n = qBound(qsizetype(0), qsizetype(count), m_queue.size());
    QList<MidiMessage> taken = m_queue.first(n);
    m_queue.remove(0, n);
    return taken;
}

QList<MidiMessage> MidiInput::takeAll()
{
    QMutexLocker locker(&m_queueMutex);
    return std::exchange(m_queue, QList<MidiMessage>());
}

void MidiInput::clear()
{
    QMutexLocker locker(&m_queueMutex);
    m_queue.clear();
}

int MidiInput::capacity() const
{
    QMutexLocker locker(&m_queueMutex);
    return m_capacity;
}

void MidiInput::setCapacity(int capacity)
{
    QMutexLocker locker(&m_queueMutex);
    m_capacity = qMax(0, capacity);
    if (m_queue.size() > m_capacity)
        m_queue.remove(0, m_queue.size() - m_capacity);
}

QSet<QString> MidiInput::inputPortNames()
{
    return MidiBackend::portNames<RtMidiIn>();
}

void MidiInput::receive(const MidiMessage &received)
{
    if (ignores(received))
        return;
    MidiMessage message = received;
    message.arrivalNs = m_clock.load()->nowNs();
    {
        QMutexLocker locker(&m_queueMutex);
        // One message beyond the capacity still fits; the next one is dropped.
        if (m_queue.size() <= m_capacity)
            m_queue.append(message);
    }
    Q_EMIT readyRead(this);
}

bool MidiInput::ignores(const MidiMessage &message) const
{
    if (message.bytes.isEmpty())
        return false;
    const int flags = m_ignoreFlags.load();
    switch (quint8(message.bytes.at(0))) {
    case 0xF0:
        return flags & IgnoreSysex;
    case 0xF1:
    case 0xF8:
        return flags & IgnoreTiming;
    case 0xFE:
        return flags & IgnoreActiveSensing;
    default:
        return false;
    }
}
