#include "abstractinstrument.h"

#include "abstractsync.h"
#include "nanoclock.h"

AbstractInstrument::AbstractInstrument(QmdItemId id, QObject *parent)
    : AbstractOutputThread(parent), m_id(id)
{
    m_batch.reserve(BatchCapacity);
}

bool AbstractInstrument::enqueueNotePair(const InstrumentEvent &noteOn,
                                         const InstrumentEvent &noteOff)
{
    bool first = false;
    {
        const std::lock_guard locker(m_queueMutex);
        const bool earliest = m_queue.isEmpty() || noteOn.tick < m_queue.firstTick();
        if (!m_queue.insertNotePair(noteOn, noteOff))
            return false;
        first = earliest;
    }
    wakeIfFirst(first);
    return true;
}

bool AbstractInstrument::enqueue(const InstrumentEvent &event)
{
    bool first = false;
    {
        const std::lock_guard locker(m_queueMutex);
        const bool earliest = m_queue.isEmpty() || event.tick < m_queue.firstTick();
        if (!m_queue.insert(event))
            return false;
        first = earliest;
    }
    wakeIfFirst(first);
    return true;
}

void AbstractInstrument::wakeIfFirst(bool wasFirst)
{
    if (wasFirst)
        wake();
}

int AbstractInstrument::queuedCount() const
{
    const std::lock_guard locker(m_queueMutex);
    return m_queue.size();
}

bool AbstractInstrument::sendNow(const InstrumentEvent &event)
{
    return sendBatch({event});
}

void AbstractInstrument::applySettings(const InstrumentSettings &settings, const QStringList &keys)
{
    m_settings = settings;
    applyInstrumentData(keys);
}

QStringList AbstractInstrument::settingKeys()
{
    return {InstrumentSettings::LabelKey,    InstrumentSettings::PortKey,
            InstrumentSettings::ChannelsKey, InstrumentSettings::DoProgramChangeKey,
            InstrumentSettings::ProgramKey,  InstrumentSettings::BankMsbKey,
            InstrumentSettings::BankLsbKey};
}

void AbstractInstrument::reset()
{
    // A send under way ends first: nothing taken from the queue before the
    // reset is sent after it.
    betweenOutputCalls([this] {
        const std::lock_guard locker(m_queueMutex);
        m_queue.clear();
    });
}

qint64 AbstractInstrument::output()
{
    const std::lock_guard outputLocker(m_outputMutex);
    // The thread looked at its state before it waited here: a pause that
    // came in between has had its say already.
    const AbstractSync *source = timingSource();
    if (!source || state() != Playing || !source->isRunning())
        return NanoClock::Never;
    m_batch.clear();
    const qint64 position = source->tickPosition();
    qint64 next = 0;
    bool more = false;
    {
        const std::lock_guard locker(m_queueMutex);
        m_queue.takeDue(position, &m_batch, BatchCapacity);
        more = !m_queue.isEmpty();
        if (more)
            next = m_queue.firstTick();
    }
    if (!m_batch.isEmpty())
        sendBatch(m_batch);
    if (!more)
        return NanoClock::Never;
    // More than a batch was due: the rest goes at once.
    if (next <= position)
        return 0;
    return source->timeOfTick(next);
}
