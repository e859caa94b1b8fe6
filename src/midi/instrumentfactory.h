#pragma once

#include "qmdglobal.h"

#include <QString>
#include <QStringList>

class AbstractInstrument;

// The instruments a document's records can name by their "Type".
class InstrumentFactory
{
public:
    // An instrument of the named type ("midi" or "debug", in any letter
    // case) for the record id; nullptr for any other type.
    static AbstractInstrument *create(const QString &type, QmdItemId id);
    // The types create() knows.
    static QStringList availableTypes();
    // The name shown for a type of availableTypes(); empty for another.
    static QString displayName(const QString &type);
};
