#include "debuginstrument.h"

#include <cstdio>

namespace {

QByteArray describe(const InstrumentEvent &event)
{
    return "DebugInstrument:\n"
           "     - type      = " +
           QByteArray::number(event.type) +
           "\n"
           "     - pos       = " +
           QByteArray::number(event.tick) +
           "\n"
           "     - pitch     = " +
           QByteArray::number(event.data1) +
           "\n"
           "     - velocity  = " +
           QByteArray::number(event.data2) + "\n";
}

} // namespace

DebugInstrument::DebugInstrument(QmdItemId id, QObject *parent) : AbstractInstrument(id, parent) {}

DebugInstrument::~DebugInstrument()
{
    terminateSafely();
    waitForExit();
}

QString DebugInstrument::staticTypeName()
{
    return QStringLiteral("debug");
}

QString DebugInstrument::staticDisplayName()
{
    return tr("Debug (Console Printer)");
}

QString DebugInstrument::typeName() const
{
    return staticTypeName();
}

QString DebugInstrument::displayName() const
{
    return staticDisplayName();
}

void DebugInstrument::applyInstrumentData(const QStringList &keys)
{
    Q_UNUSED(keys)
}

bool DebugInstrument::sendBatch(const QList<InstrumentEvent> &batch)
{
    QByteArray text;
    for (const InstrumentEvent &event : batch)
        text += describe(event);
    // One write per batch: several instruments print from their own threads,
    // and the stream's lock keeps each batch in one piece.
    const bool written =
        std::fwrite(text.constData(), 1, size_t(text.size()), stdout) == size_t(text.size());
    return std::fflush(stdout) == 0 && written;
}
