#pragma once

#include "qmdglobal.h"

#include <QString>

class QmdModel;

// Builds valid network documents straight into a model, without the
// controller's requests, so that documents of a hundred thousand elements
// take seconds to make. What the controller adds on a reset (defaults,
// display keys, state records it lacks) is left to the reset.
class NetworkGenerator
{
public:
    struct Shape
    {
        int nodes = 0;
        int edges = 0;
        int voiceGroups = 0;
        int elements() const { return nodes + edges + voiceGroups; }
    };

    // The shape with about this many elements in all.
    static Shape shapeForElements(int elements);

    // A grid of nodes, each with edges to its right and lower neighbours,
    // full lists and advanced state counters, and a few voice groups.
    static void generate(const Shape &shape, QmdModel *model);
    // Voices in chords of up to four: each chord is a square ring of four
    // nodes one step apart whose voice groups all start on its first node,
    // so that they fire together at every node. Instruments take the rings
    // in turn.
    static void generateChordRings(int voices, qint64 stepTicks, int instruments, QmdModel *model);
    // Per voice group a node that sends a voice along each of fanOut edges
    // at once, to nodes that each send it back: every return fires the fan
    // again, so each group keeps as many voices in flight as it has.
    static void generateParallelFans(int groups, int fanOut, qint64 stepTicks, QmdModel *model);

    // Rewrites a generated document in the form older versions saved, which
    // the controller converts on every load: each node's usage list as an
    // "OrderedArcUsages" dict of Arc and UsageRule records, and each voice
    // group's instrument settings in the group itself, under the
    // "Identifier" of its colour, with no "Instruments" container.
    static void makeOlder(QmdModel *model);

    // Writes the model as a network file; false when it could not be written.
    static bool writeFile(QmdModel *model, const QString &fileName);
};
