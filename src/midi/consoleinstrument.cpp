#include "consoleinstrument.h"

#include "abstractsync.h"

#include <QBitArray>

#include <cstdio>

namespace {

// Columns wide enough for most labels and channel lists keep the lines of
// several instruments aligned; longer ones only push the line right.
constexpr int LabelWidth = 10;
constexpr int ChannelsWidth = 2;

QByteArray padded(const QByteArray &text, int width)
{
    return text.size() >= width ? text : text + QByteArray(width - text.size(), ' ');
}

} // namespace

ConsoleInstrument::ConsoleInstrument(QmdItemId id, QObject *parent) : AbstractInstrument(id, parent)
{
}

ConsoleInstrument::~ConsoleInstrument()
{
    terminateSafely();
    waitForExit();
}

QString ConsoleInstrument::staticTypeName()
{
    return QStringLiteral("console");
}

QString ConsoleInstrument::staticDisplayName()
{
    return tr("Console (one line a note)");
}

QString ConsoleInstrument::typeName() const
{
    return staticTypeName();
}

QString ConsoleInstrument::displayName() const
{
    return staticDisplayName();
}

QByteArray ConsoleInstrument::noteName(int note)
{
    static const char *const names[12] = {"C",  "C#", "D",  "D#", "E",  "F",
                                          "F#", "G",  "G#", "A",  "A#", "B"};
    return names[note % 12] + QByteArray::number(note / 12 - 2);
}

QByteArray ConsoleInstrument::describe(const InstrumentEvent &event, double seconds,
                                       const QByteArray &label, const QByteArray &channels)
{
    if (event.type != InstrumentEvent::NoteOn && event.type != InstrumentEvent::NoteOff)
        return QByteArray();
    const bool on = event.type == InstrumentEvent::NoteOn;
    char text[64];
    std::snprintf(text, sizeof text, "%-3s  %-4s %3d  vel %3d", on ? "on" : "off",
                  noteName(event.data1).constData(), int(event.data1), int(event.data2));
    return QByteArray::number(seconds, 'f', 3).rightJustified(8) + "  " +
           padded(label, LabelWidth) + "  ch " + padded(channels, ChannelsWidth) + "  " + text;
}

void ConsoleInstrument::applyInstrumentData(const QStringList &keys)
{
    if (keys.contains(InstrumentSettings::LabelKey)) {
        QByteArray label = settings().label.simplified().toUtf8();
        label.replace(' ', '_');
        const std::lock_guard locker(m_mutex);
        m_label = label.isEmpty() ? QByteArrayLiteral("-") : label;
    }
    if (keys.contains(InstrumentSettings::ChannelsKey)) {
        const QBitArray &bits = settings().channels;
        QList<QByteArray> numbers;
        for (int c = 0; c < bits.size() && c < 16; ++c) {
            if (bits.testBit(c))
                numbers.append(QByteArray::number(c + 1));
        }
        const std::lock_guard locker(m_mutex);
        m_channels = numbers.isEmpty() ? QByteArrayLiteral("-") : numbers.join(',');
    }
}

bool ConsoleInstrument::sendBatch(const QList<InstrumentEvent> &batch)
{
    QByteArray label;
    QByteArray channels;
    {
        const std::lock_guard locker(m_mutex);
        label = m_label;
        channels = m_channels;
    }
    const AbstractSync *source = timingSource();
    QByteArray text;
    for (const InstrumentEvent &event : batch) {
        const double seconds = source ? source->ticksToTime(event.tick) / 1e9 : 0.0;
        const QByteArray line = describe(event, seconds, label, channels);
        if (!line.isEmpty())
            text += line + '\n';
    }
    if (text.isEmpty())
        return true;
    // One write per batch: several instruments print from their own threads,
    // and the stream's lock keeps each batch in one piece.
    const bool written =
        std::fwrite(text.constData(), 1, size_t(text.size()), stdout) == size_t(text.size());
    return std::fflush(stdout) == 0 && written;
}
