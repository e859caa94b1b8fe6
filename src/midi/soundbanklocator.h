#pragma once

#include <QString>
#include <QStringList>

// Where the built-in synthesizer finds its General MIDI sound bank, best
// first: the application's setting (passed in: settings belong to the
// application), the LUDRA_SOUNDFONT environment variable, the system's
// default General MIDI bank, FluidR3_GM (larger and better when installed),
// then TimGM6mb, which Ludra's dependencies install.
class SoundBankLocator
{
public:
    // The application setting that names a sound bank file.
    static QString settingKey() { return QStringLiteral("SynthSoundBank"); }
    // The folder of Debian's sound banks.
    static QString systemFolder() { return QStringLiteral("/usr/share/sounds/sf2"); }

    // The files that exist, in the order above, each once.
    static QStringList candidates(const QString &configured);
    // The first of them; empty when there is none.
    static QString locate(const QString &configured);
};
