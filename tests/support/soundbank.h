#pragma once

#include <QString>

// The sound bank that Ludra's dependencies install.
inline QString timGM6mbFileName()
{
    return QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2");
}
