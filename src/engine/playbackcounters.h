#pragma once

#include "qmdglobal.h"

#include <QHash>

// The counters that firings advance, kept by the engine while it plays: for
// every element that has a state record in its document, its list
// positions, hit count, edge-usage place and scale id. Which of them changed
// since they were last taken is noted, so that the document can be brought
// up to date in batches.
//
// Not locked: the engine's mutex guards it (see PlaybackCore).
class PlaybackCounters
{
public:
    struct Values
    {
        int pitchId = 0;
        int velocityId = 0;
        int durationId = 0;
        int userMidiMessageId = 0;
        int hitCount = 0;
        int edgeUsageId = 0;
        int edgeUsageUses = 0;
        int scaleId = 0;
        bool operator==(const Values &) const = default;
    };

    // Which values changed: a firing writes these groups together.
    enum Change : quint8 { Lists = 1, EdgeUsage = 2, Scale = 4 };

    // The counters of an element with a state record; nullptr for another.
    Values *find(QmdItemId element)
    {
        const auto it = m_values.find(element);
        return it == m_values.end() ? nullptr : &it.value();
    }
    const Values *find(QmdItemId element) const
    {
        const auto it = m_values.constFind(element);
        return it == m_values.cend() ? nullptr : &it.value();
    }
    // True for the first change since the changes were last taken.
    bool markChanged(QmdItemId element, Change change)
    {
        const bool first = m_changed.isEmpty();
        m_changed[element] |= change;
        return first;
    }

    // Takes the elements whose counters changed since the last call, with
    // what changed.
    QHash<QmdItemId, quint8> takeChanged() { return std::exchange(m_changed, {}); }

    // The elements with state records are those of `values`: counters kept
    // for one of them stay, the others start from `values`, and those of
    // elements no longer there go.
    void follow(const QHash<QmdItemId, Values> &values)
    {
        QHash<QmdItemId, Values> next = values;
        for (auto it = next.begin(); it != next.end(); ++it) {
            if (const Values *kept = find(it.key()))
                it.value() = *kept;
        }
        for (auto it = m_changed.begin(); it != m_changed.end();) {
            if (next.contains(it.key()))
                ++it;
            else
                it = m_changed.erase(it);
        }
        m_values = std::move(next);
    }
    // Every counter back to 0, with nothing left to report.
    void clear()
    {
        for (Values &values : m_values)
            values = Values();
        m_changed.clear();
    }
    int size() const { return int(m_values.size()); }

private:
    QHash<QmdItemId, Values> m_values;
    QHash<QmdItemId, quint8> m_changed;
};
