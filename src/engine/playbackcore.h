#pragma once

#include "playbackcounters.h"
#include "playbackgraph.h"

#include <memory>
#include <mutex>

class EventSink;

// What all voices of one document share: the compiled network they travel,
// the counters they advance, where their events go, and the mutex that
// serialises their firings. A firing holds the mutex from start to end, so
// it reads one network and leaves the counters consistent.
//
// Any thread may use it; graph() and counters() only with the mutex held.
class PlaybackCore
{
public:
    explicit PlaybackCore(EventSink *sink);
    PlaybackCore(const PlaybackCore &) = delete;
    PlaybackCore &operator=(const PlaybackCore &) = delete;

    std::mutex &mutex() const { return m_mutex; }
    EventSink *sink() const { return m_sink; }

    const PlaybackGraph &graph() const { return *m_graph; }
    PlaybackCounters &counters() { return m_counters; }
    const PlaybackCounters &counters() const { return m_counters; }

    // Replaces the network between two firings; the counters follow the
    // elements that have state records (see PlaybackCounters::follow()).
    void install(std::shared_ptr<const PlaybackGraph> graph,
                 const QHash<QmdItemId, PlaybackCounters::Values> &states);
    // The network installed last; safe to read from any thread, as it never
    // changes.
    std::shared_ptr<const PlaybackGraph> currentGraph() const;

private:
    mutable std::mutex m_mutex;
    EventSink *const m_sink;
    std::shared_ptr<const PlaybackGraph> m_graph;
    PlaybackCounters m_counters;
};
