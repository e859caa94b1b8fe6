#include "abstractsync.h"

#include "midisync.h"

AbstractSync::AbstractSync(QObject *parent) : QObject(parent) {}

AbstractSync *AbstractSync::create(const QString &type, QObject *parent)
{
    if (type.toLower() == MidiSync::staticTypeName())
        return new MidiSync(parent);
    return nullptr;
}

QStringList AbstractSync::availableTypes()
{
    return {MidiSync::staticTypeName()};
}

QString AbstractSync::typeDisplayName(const QString &type)
{
    if (type == MidiSync::staticTypeName())
        return MidiSync::staticDisplayName();
    return QString();
}
