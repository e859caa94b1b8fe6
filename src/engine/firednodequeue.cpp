#include "firednodequeue.h"

bool FiredNodeQueue::append(const FiredNode &record)
{
    const std::lock_guard locker(m_mutex);
    if (m_records.size() >= Capacity)
        return false;
    m_records.enqueue(record);
    return true;
}

QList<FiredNode> FiredNodeQueue::takeAll()
{
    const std::lock_guard locker(m_mutex);
    QList<FiredNode> records(m_records.cbegin(), m_records.cend());
    m_records.clear();
    return records;
}

QList<FiredNode> FiredNodeQueue::take(int max)
{
    const std::lock_guard locker(m_mutex);
    QList<FiredNode> records;
    while (records.size() < max && !m_records.isEmpty())
        records.append(m_records.dequeue());
    return records;
}

void FiredNodeQueue::clear()
{
    const std::lock_guard locker(m_mutex);
    m_records.clear();
}

int FiredNodeQueue::size() const
{
    const std::lock_guard locker(m_mutex);
    return int(m_records.size());
}
