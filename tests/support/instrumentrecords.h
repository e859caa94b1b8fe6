#pragma once

// Instrument records made the way the application makes them: by ordinary
// requests to the network controller. Header only: it needs the network
// library, which the tests that use it link.

#include "qmdludracontroller.h"

#include <QHash>
#include <QString>
#include <QVariant>

// Adds a record to "Instruments" holding the values, as one undo step, and
// returns its id; 0 when the document has no "Instruments".
inline QmdItemId addInstrumentRecord(QmdLudraController &controller,
                                     const QHash<QString, QVariant> &values)
{
    const QmdIndex instruments = controller.instrumentsIndex();
    const QmdItemIdList before = controller.ids(instruments);
    const QmdRequestId rid =
        controller.requestAddType(Qmd::StrDict, instruments, QStringLiteral("Add Instrument"));
    QmdItemId id = 0;
    for (QmdItemId candidate : controller.ids(instruments)) {
        if (!before.contains(candidate))
            id = candidate;
    }
    if (id != 0 && !values.isEmpty()) {
        controller.requestSetData(values, controller.index(id, instruments),
                                  QmdRequestOptions(0, QStringLiteral("Add Instrument"), rid));
    }
    return id;
}

inline QVariant instrumentValue(const QmdLudraController &controller, QmdItemId id,
                                const QString &key)
{
    return controller.data(
        controller.index(key, controller.index(id, controller.instrumentsIndex())));
}
