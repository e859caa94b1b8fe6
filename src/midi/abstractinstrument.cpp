#include "abstractinstrument.h"

#include "abstractsync.h"
#include "debuginstrument.h"
#include "midiinstrument.h"
#include "nanoclock.h"
#include "qmdludracontroller.h"

AbstractInstrument::AbstractInstrument(QmdItemId id, QObject *parent)
    : AbstractOutputThread(parent), m_id(id)
{
    m_batch.reserve(BatchCapacity);
}

namespace {

std::mutex creatorMutex;
AbstractInstrument::Creator creator;

} // namespace

void AbstractInstrument::setCreator(Creator newCreator)
{
    const std::lock_guard locker(creatorMutex);
    creator = std::move(newCreator);
}

AbstractInstrument *AbstractInstrument::create(const QString &type, QmdItemId id, QObject *parent)
{
    {
        const std::lock_guard locker(creatorMutex);
        if (creator)
            return creator(type, id, parent);
    }
    const QString lower = type.toLower();
    if (lower == MidiInstrument::staticTypeName())
        return new MidiInstrument(id, parent);
    if (lower == DebugInstrument::staticTypeName())
        return new DebugInstrument(id, parent);
    return nullptr;
}

QStringList AbstractInstrument::availableTypes()
{
    return {MidiInstrument::staticTypeName(), DebugInstrument::staticTypeName()};
}

QString AbstractInstrument::typeDisplayName(const QString &type)
{
    if (type == MidiInstrument::staticTypeName())
        return MidiInstrument::staticDisplayName();
    if (type == DebugInstrument::staticTypeName())
        return DebugInstrument::staticDisplayName();
    return QString();
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

void AbstractInstrument::setController(QmdLudraController *controller)
{
    for (const QMetaObject::Connection &connection : std::as_const(m_connections))
        disconnect(connection);
    m_connections.clear();
    QmdObserver::setController(controller);
    if (controller) {
        m_connections = {
            connect(controller, &QmdLudraController::instrumentDataChanged, this,
                    &AbstractInstrument::onInstrumentDataEffected),
            connect(controller, &QmdLudraController::instrumentDataRemoved, this,
                    &AbstractInstrument::onInstrumentDataEffected),
            // The controller normally outlives its instruments; should it
            // not, nothing may reach it afterwards.
            connect(controller, &QObject::destroyed, this, [this] { m_controller = nullptr; })};
    }
    reset();
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

void AbstractInstrument::onInstrumentDataEffected(QmdItemId instrument, const QStringList &keys,
                                                  QmdRequestId rid)
{
    if (instrument != m_id || (rid != 0 && rid == m_ownRequest))
        return;
    applyInstrumentData(instrument, keys);
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

QmdIndex AbstractInstrument::record() const
{
    if (!m_controller)
        return QmdIndex();
    // Read through the controller, under its lock: the engine's threads
    // write to the document too.
    const QmdIndex instrument = m_controller->index(m_id, m_controller->instrumentsIndex());
    return m_controller->isValid(instrument) ? instrument : QmdIndex();
}

QVariant AbstractInstrument::instrumentData(const QString &key) const
{
    const QmdIndex instrument = record();
    if (instrument == QmdIndex())
        return QVariant();
    return m_controller->data(m_controller->index(key, instrument));
}

void AbstractInstrument::writeInstrumentData(const QString &key, const QVariant &value)
{
    const QmdIndex instrument = record();
    if (instrument == QmdIndex())
        return;
    // Writing what is already there would only come back as a change to
    // apply, and an instrument that cannot open its port would loop.
    if (m_controller->data(m_controller->index(key, instrument)) == value)
        return;
    m_ownRequest = m_controller->requestSetData(key, value, instrument,
                                                QmdRequestOptions(Qmd::NoUndo, QString()));
}

void AbstractInstrument::writeInstrumentDataLater(const QString &key, const QVariant &value)
{
    // The document belongs to the controller's thread; a write from the
    // output thread goes there as an event of this object, which lives on
    // that thread and takes the event with it when it is deleted.
    QMetaObject::invokeMethod(
        this, [this, key, value] { writeInstrumentData(key, value); }, Qt::QueuedConnection);
}
