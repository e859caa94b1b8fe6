#include "soundfontpresets.h"

#include <QFile>

namespace {

// A little-endian number of that many bytes.
quint32 littleEndian(const QByteArray &bytes, qsizetype at, int size)
{
    quint32 value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | quint8(bytes.at(at + i));
    return value;
}

// The data of the first chunk of that id among the chunks of bytes[from, to),
// recursing into LIST chunks of the given list type.
QByteArray findChunk(const QByteArray &bytes, qsizetype from, qsizetype to, const char *listType,
                     const char *id)
{
    qsizetype at = from;
    while (at + 8 <= to) {
        const QByteArray chunkId = bytes.mid(at, 4);
        const qsizetype size = littleEndian(bytes, at + 4, 4);
        const qsizetype data = at + 8;
        if (data + size > to)
            break;
        if (chunkId == id)
            return bytes.mid(data, size);
        if (chunkId == "LIST" && bytes.mid(data, 4) == listType)
            return findChunk(bytes, data + 4, data + size, listType, id);
        at = data + size + (size & 1);
    }
    return QByteArray();
}

} // namespace

QMap<QPair<int, int>, QString> soundFontPresets(const QString &fileName)
{
    QMap<QPair<int, int>, QString> presets;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return presets;
    const QByteArray bytes = file.readAll();
    if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "sfbk")
        return presets;
    // Preset headers of 38 bytes: a name of 20, preset and bank numbers of
    // 2 each, then what the synthesizer needs. The last ends the list.
    const QByteArray headers = findChunk(bytes, 12, bytes.size(), "pdta", "phdr");
    constexpr qsizetype HeaderSize = 38;
    for (qsizetype at = 0; at + 2 * HeaderSize <= headers.size(); at += HeaderSize) {
        const QByteArray name = headers.mid(at, 20);
        const int program = int(littleEndian(headers, at + 20, 2));
        const int bank = int(littleEndian(headers, at + 22, 2));
        presets.insert({bank, program},
                       QString::fromLatin1(name.left(name.indexOf('\0'))).trimmed());
    }
    return presets;
}
