#include "playbackcore.h"

PlaybackCore::PlaybackCore(EventSink *sink)
    : m_sink(sink), m_graph(std::make_shared<const PlaybackGraph>())
{
}

void PlaybackCore::install(std::shared_ptr<const PlaybackGraph> graph,
                           const QHash<QmdItemId, PlaybackCounters::Values> &states)
{
    // The old network is let go after the lock: freeing a large one is no
    // firing's business.
    std::shared_ptr<const PlaybackGraph> old;
    {
        const std::lock_guard locker(m_mutex);
        old = std::exchange(m_graph, std::move(graph));
        m_counters.follow(states);
    }
}

std::shared_ptr<const PlaybackGraph> PlaybackCore::currentGraph() const
{
    const std::lock_guard locker(m_mutex);
    return m_graph;
}
