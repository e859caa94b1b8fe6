#include "midioutput.h"

#include <algorithm>

namespace {

// A data byte has 7 bits. The engine carries pitches and velocities in 8
// (a voice group may start at velocity 200); sent as they are, they would
// read as status bytes and break the stream, so they are clamped.
char dataByte(int value)
{
    return char(std::clamp(value, 0, 127));
}

QByteArray message(int status, int data1)
{
    QByteArray bytes;
    bytes.append(char(status));
    bytes.append(dataByte(data1));
    return bytes;
}

QByteArray message(int status, int data1, int data2)
{
    return message(status, data1) + dataByte(data2);
}

} // namespace

void MidiOutput::setChannels(const QBitArray &channels)
{
    m_channelBits.store(channelBits(channels));
}

quint16 MidiOutput::channelBits(const QBitArray &channels)
{
    quint16 bits = 0;
    for (int c = 0; c < ChannelCount && c < channels.size(); ++c) {
        if (channels.testBit(c))
            bits |= quint16(1u << c);
    }
    return bits;
}

QBitArray MidiOutput::channels() const
{
    const quint16 bits = m_channelBits.load();
    QBitArray channels(ChannelCount);
    for (int c = 0; c < ChannelCount; ++c)
        channels.setBit(c, bits & (1u << c));
    return channels;
}

QList<QByteArray> MidiOutput::encode(const QList<InstrumentEvent> &events, quint16 channelBits)
{
    QList<QByteArray> messages;
    for (const InstrumentEvent &event : events) {
        if (event.type == InstrumentEvent::UserMessage) {
            if (!event.bytes.isEmpty())
                messages.append(event.bytes);
            continue;
        }
        for (int c = 0; c < ChannelCount; ++c) {
            if (!(channelBits & (1u << c)))
                continue;
            switch (event.type) {
            case InstrumentEvent::NoteOn:
                messages.append(message(0x90 + c, event.data1, event.data2));
                break;
            case InstrumentEvent::NoteOff:
                messages.append(message(0x80 + c, event.data1, event.data2));
                break;
            case InstrumentEvent::ProgramChange:
                messages.append(message(0xB0 + c, 0, event.data2));
                messages.append(message(0xB0 + c, 32, event.data3));
                messages.append(message(0xC0 + c, event.data1));
                break;
            default:
                break;
            }
        }
    }
    return messages;
}

bool MidiOutput::sendEvents(const QList<InstrumentEvent> &events)
{
    return sendMessages(encode(events, m_channelBits.load()));
}

bool MidiOutput::allNotesOff()
{
    QList<QByteArray> messages;
    const quint16 bits = m_channelBits.load();
    for (int c = 0; c < ChannelCount; ++c) {
        if (bits & (1u << c))
            messages.append(message(0xB0 + c, 123, 0));
    }
    return sendMessages(messages);
}

bool MidiOutput::sendRaw(const QByteArray &bytes)
{
    return sendMessages({bytes});
}

bool MidiOutput::sendMessages(const QList<QByteArray> &messages)
{
    return withHandle([&messages](Handle &handle) {
        if (!handle.inProcessName.isEmpty())
            return InProcessMidiPort::deliver(handle.inProcessName, messages);
        handle.failed.store(false);
        try {
            for (const QByteArray &bytes : messages) {
                handle.port->sendMessage(reinterpret_cast<const unsigned char *>(bytes.constData()),
                                         size_t(bytes.size()));
                if (handle.failed.load())
                    return false;
            }
        } catch (const RtMidiError &error) {
            qCInfo(lcLudraMidi, "%s", error.what());
            return false;
        }
        return true;
    });
}

QSet<QString> MidiOutput::outputPortNames()
{
    return MidiBackend::portNames<RtMidiOut>().unite(InProcessMidiPort::names());
}

QString MidiOutput::defaultPortName(const QSet<QString> &names)
{
    QStringList sorted(names.cbegin(), names.cend());
    sorted.sort();
    for (const QString &name : std::as_const(sorted)) {
        if (name.contains(QLatin1String("synth"), Qt::CaseInsensitive))
            return name;
    }
    return sorted.value(0);
}
