#include "standardmidifile.h"

#include <algorithm>

namespace {

// The largest number a variable-length quantity of four bytes holds.
constexpr quint32 MaxVariableLength = 0x0FFFFFFF;
// The tempo meta event has three bytes for its value.
constexpr quint32 MaxMicrosecondsPerQuarter = 0xFFFFFF;

void appendBigEndian(QByteArray &bytes, quint32 value, int byteCount)
{
    for (int shift = 8 * (byteCount - 1); shift >= 0; shift -= 8)
        bytes.append(char((value >> shift) & 0xFF));
}

// Seven bits a byte, most significant first, every byte but the last with
// its top bit set.
void appendVariableLength(QByteArray &bytes, quint32 value)
{
    value = std::min(value, MaxVariableLength);
    char groups[4];
    int count = 0;
    do {
        groups[count++] = char(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (count > 1)
        bytes.append(char(groups[--count] | 0x80));
    bytes.append(groups[0]);
}

void appendMeta(QByteArray &bytes, quint8 type, const QByteArray &data)
{
    bytes.append(char(0xFF));
    bytes.append(char(type));
    appendVariableLength(bytes, quint32(data.size()));
    bytes.append(data);
}

void appendChunk(QByteArray &bytes, const char *type, const QByteArray &data)
{
    bytes.append(type, 4);
    appendBigEndian(bytes, quint32(data.size()), 4);
    bytes.append(data);
}

QByteArray tempoTrack(quint32 microsecondsPerQuarter)
{
    QByteArray value;
    appendBigEndian(value, std::min(microsecondsPerQuarter, MaxMicrosecondsPerQuarter), 3);
    QByteArray bytes;
    appendVariableLength(bytes, 0);
    appendMeta(bytes, 0x51, value);
    appendVariableLength(bytes, 0);
    appendMeta(bytes, 0x2F, {});
    return bytes;
}

QByteArray eventTrack(const StandardMidiFileTrack &track)
{
    QByteArray bytes;
    appendVariableLength(bytes, 0);
    appendMeta(bytes, 0x03, track.name.toUtf8());
    // Ticks that go backwards are written at the previous tick: a delta
    // cannot be negative. A delta beyond four bytes is cut to the largest
    // one, which only a render of many hours could reach.
    qint64 previous = 0;
    for (const StandardMidiFileEvent &event : track.events) {
        const qint64 tick = std::max(previous, event.tick);
        appendVariableLength(bytes, quint32(std::min<qint64>(tick - previous, MaxVariableLength)));
        bytes.append(event.message);
        previous = tick;
    }
    appendVariableLength(bytes, 0);
    appendMeta(bytes, 0x2F, {});
    return bytes;
}

} // namespace

QByteArray StandardMidiFile::toByteArray() const
{
    QByteArray header;
    appendBigEndian(header, 1, 2); // format 1: tracks played together
    appendBigEndian(header, quint32(tracks.size() + 1), 2);
    appendBigEndian(header, ticksPerQuarter, 2);

    QByteArray bytes;
    appendChunk(bytes, "MThd", header);
    appendChunk(bytes, "MTrk", tempoTrack(microsecondsPerQuarter));
    for (const StandardMidiFileTrack &track : tracks)
        appendChunk(bytes, "MTrk", eventTrack(track));
    return bytes;
}
