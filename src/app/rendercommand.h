#pragma once

#include "headlesscommand.h"

class WaveRenderer;

// "ludra render FILE.ldx -o OUT.mid [--principals P | --seconds S] [--seed N]":
// plays a document offline, as fast as the machine allows, into a Standard
// MIDI File, or, for an output ending in .wav, through the built-in
// synthesizer into audio ([--soundfont SF2] [--sample-rate N]). The file is
// written whole or not at all.
class RenderCommand : public HeadlessCommand
{
public:
    // Progress appears only for renders that take longer than this.
    static constexpr qint64 QuietMs = 1000;

    QString name() const override;
    QString summary() const override;

protected:
    QString synopsis() const override;
    QString helpEpilogue() const override;
    void addOptions(QCommandLineParser &parser) const override;
    int execute(const QCommandLineParser &parser) override;

private:
    // Loads --soundfont, else the first default bank that loads; the reason
    // to report when none does, else empty.
    QString loadSoundBank(const QCommandLineParser &parser, WaveRenderer *wave) const;
};
