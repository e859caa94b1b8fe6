#pragma once

#include "headlesscommand.h"

// "ludra play FILE.ldx [--seconds N] [--console]": plays a document in real
// time until the network falls silent, N seconds have passed, or the user
// interrupts it. With --console, or when the machine has no MIDI output at
// all, every instrument prints its events instead of sending them.
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
