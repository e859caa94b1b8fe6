#pragma once

#include <QStringList>

// The events of a MIDI file as midicsv, a reader that is not ours, lists
// them: one line "track, absolute tick, kind, values" each. Lines saying
// what went wrong when midicsv cannot run or rejects the file.
QStringList readWithMidicsv(const QString &fileName);
