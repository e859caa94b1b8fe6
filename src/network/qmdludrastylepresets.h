#pragma once

#include <QColor>
#include <QHash>
#include <QString>
#include <QStringList>

// The named sets of the eight style colours of a network document ("Dark",
// the default of every document, and "Light"). One table serves every
// document of the process; it is built on first use and never changes, and
// it is only touched with the process-wide preset mutex held, since windows
// on several threads may ask at once.
class QmdLudraStylePresets
{
public:
    using Colors = QHash<QString, QColor>; // style key -> colour

    // The preset names, sorted.
    static QStringList names();
    // The colours of the named preset; false (and colors untouched) for a
    // name the table does not hold.
    static bool colors(const QString &presetName, Colors *colors);
};
