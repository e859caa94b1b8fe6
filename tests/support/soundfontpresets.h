#pragma once

#include <QMap>
#include <QPair>
#include <QString>

// The presets of a SoundFont file as its own preset headers list them, read
// without FluidSynth, by (bank, program). Empty when the file cannot be read
// or is no SoundFont.
QMap<QPair<int, int>, QString> soundFontPresets(const QString &fileName);

// The sound bank that Ludra's dependencies install.
inline QString timGM6mbFileName()
{
    return QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2");
}
