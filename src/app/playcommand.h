#pragma once

#include "headlesscommand.h"

// "ludra play FILE.ldx [--seconds N] [--console | --synth]": plays a document
// in real time until the network falls silent, N seconds have passed, or the
// user interrupts it. The built-in synthesizer is one of the MIDI ports while
// it can sound; --synth plays every instrument on it. With --console, or
// when there is no MIDI output at all, every instrument prints its notes
// instead of sending them.
class PlayCommand : public HeadlessCommand
{
public:
    QString name() const override;
    QString summary() const override;

protected:
    QString synopsis() const override;
    QString helpEpilogue() const override;
    void addOptions(QCommandLineParser &parser) const override;
    int execute(const QCommandLineParser &parser) override;
};
