#pragma once

#include "playbackcounters.h"
#include "playbackgraph.h"
#include "qmdglobal.h"
#include "qmdludra.h"

#include <QHash>
#include <QSet>
#include <QVariantList>

#include <memory>

class QmdLudraController;

// Compiles a network document into the graph its voices travel, and reads
// the counters its state records hold. After an edit only the elements the
// edit touched are compiled again, with the travel times of every edge at
// a node that moved.
//
// Reads the document through its controller under the data lock, on any
// thread.
class QmdLudraGraphCompiler
{
public:
    struct Result
    {
        std::shared_ptr<const PlaybackGraph> graph;
        // Every element with a state record. The counters are read for the
        // elements compiled anew; the others' are zero here, as the engine
        // keeps its own for them.
        QHash<QmdItemId, PlaybackCounters::Values> states;
    };

    explicit QmdLudraGraphCompiler(const QmdLudraController *controller);

    Result compile() const;
    Result update(const PlaybackGraph &previous, const QSet<QmdItemId> &changed) const;

    // The names under which a state record keeps each counter, and the
    // values of a record as the counters hold them.
    static QHash<QString, QVariant> stateValues(const PlaybackCounters::Values &values,
                                                quint8 changes);

private:
    // Where an element stands and, as an edge, the path it takes.
    struct Place
    {
        QmdLudra::TickPos position;
        int path = 0;
    };

    // From the values of an element record, read with ElementKeys.
    static PlaybackGraph::Element element(const QVariantList &record);
    static Place placeOf(const QVariantList &record);
    // The travel time between two places along a path.
    static void setTravel(int path, const QmdLudra::TickPos &from, const QmdLudra::TickPos &to,
                          PlaybackGraph::Element *element);
    static void setTravel(PlaybackGraph::Element *element);
    PlaybackCounters::Values counters(const QmdIndex &state) const;

    const QmdLudraController *const m_controller;
};
