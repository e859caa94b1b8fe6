#include "instrumentfactory.h"

#include "debuginstrument.h"
#include "midiinstrument.h"

AbstractInstrument *InstrumentFactory::create(const QString &type, QmdItemId id)
{
    const QString lower = type.toLower();
    if (lower == MidiInstrument::staticTypeName())
        return new MidiInstrument(id);
    if (lower == DebugInstrument::staticTypeName())
        return new DebugInstrument(id);
    return nullptr;
}

QStringList InstrumentFactory::availableTypes()
{
    return {MidiInstrument::staticTypeName(), DebugInstrument::staticTypeName()};
}

QString InstrumentFactory::displayName(const QString &type)
{
    if (type == MidiInstrument::staticTypeName())
        return MidiInstrument::staticDisplayName();
    if (type == DebugInstrument::staticTypeName())
        return DebugInstrument::staticDisplayName();
    return QString();
}
