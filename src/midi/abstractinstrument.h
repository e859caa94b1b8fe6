#pragma once

#include "abstractoutputthread.h"
#include "instrumentevent.h"
#include "instrumenteventqueue.h"
#include "qmdglobal.h"
#include "qmdobserver.h"

#include <QList>
#include <QMetaObject>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <mutex>

class QmdIndex;
class QmdLudraController;

// Plays one instrument record of a document: a time-ordered queue of events
// that the voice groups fill through the controller, ahead of time, and that
// the output thread empties as the timing source's tick position passes
// their ticks. The thread sleeps until the first queued event is due and is
// woken when an earlier one is queued. Nothing leaves while the timing
// source stands still. What "sending" means is the subclass's; the record's
// data is applied as the document changes it.
//
// The object lives on the thread that created it (the controller's); only
// the output call, and what a failed send does there, run on its own thread.
// Subclasses must stop the thread in their destructor (see
// AbstractOutputThread), since the output call sends through them.
class AbstractInstrument : public AbstractOutputThread, public QmdObserver<QmdLudraController>
{
    Q_OBJECT

public:
    static constexpr int QueueCapacity = InstrumentEventQueue::Capacity;
    static constexpr int BatchCapacity = 32;

    explicit AbstractInstrument(QmdItemId id, QObject *parent = nullptr);

    // An instrument of the named type ("midi" or "debug", in any letter
    // case) for the record id; nullptr for any other type.
    static AbstractInstrument *create(const QString &type, QmdItemId id, QObject *parent = nullptr);
    // Replaces what create() makes for every type, for the whole process:
    // the console player swaps every instrument for a printing one, and
    // tests record deliveries. An empty creator restores the built-in types.
    using Creator =
        std::function<AbstractInstrument *(const QString &type, QmdItemId id, QObject *parent)>;
    static void setCreator(Creator creator);
    // The types create() knows.
    static QStringList availableTypes();
    // The name shown for a type of availableTypes(); empty for another.
    static QString typeDisplayName(const QString &type);

    QmdItemId id() const { return m_id; }

    virtual QString typeName() const = 0;
    virtual QString displayName() const = 0;

    // Queue a note on with its note off (both or neither) or a single event.
    // A full queue refuses them: the caller drops them. Any thread may queue.
    virtual bool enqueueNotePair(const InstrumentEvent &noteOn, const InstrumentEvent &noteOff);
    bool enqueue(const InstrumentEvent &event);
    int queuedCount() const;

    // Sends the event at once, bypassing the queue.
    virtual bool sendNow(const InstrumentEvent &event);

    // Follows the record in the controller's document: its data changes and
    // removals are applied, and all of it is applied now (by reset()).
    void setController(QmdLudraController *controller) override;

public Q_SLOTS:
    // Drops every queued event; once it returns, nothing queued before is
    // sent.
    virtual void reset();

protected Q_SLOTS:
    void onInstrumentDataEffected(QmdItemId instrument, const QStringList &keys, QmdRequestId rid);

protected:
    // Moves up to BatchCapacity due events to the batch and sends them,
    // unless the instrument has been paused meanwhile; answers when the next
    // queued event falls due.
    qint64 output() override;
    // Runs fn between two output calls: one under way ends first, and the
    // next waits until fn has returned. What fn sends after a pause is thus
    // the last the port hears, and nothing the thread has already taken
    // from the queue can come after it: a note on sent past an all notes
    // off would sound on, with its note off still queued or dropped.
    template <class F> void betweenOutputCalls(F &&fn)
    {
        const std::lock_guard locker(m_outputMutex);
        fn();
    }

    // Applies the named keys of the record id; only called for this
    // instrument's own record.
    virtual void applyInstrumentData(QmdItemId id, const QStringList &keys) = 0;
    // Sends the events in order; false when they could not be sent.
    virtual bool sendBatch(const QList<InstrumentEvent> &batch) = 0;

    // A value of this instrument's record; invalid without a controller.
    QVariant instrumentData(const QString &key) const;
    // Writes a value of this instrument's record without an undo step. It is
    // not applied back to this instrument when the change comes round. Call
    // on the controller's thread; writeInstrumentDataLater() from any thread.
    void writeInstrumentData(const QString &key, const QVariant &value);
    void writeInstrumentDataLater(const QString &key, const QVariant &value);

private:
    QmdIndex record() const;
    // Wakes the thread when the event now first in the queue is earlier
    // than what it was sleeping for.
    void wakeIfFirst(bool wasFirst);

    const QmdItemId m_id;
    QList<QMetaObject::Connection> m_connections;
    // The latest request this instrument made itself.
    QmdRequestId m_ownRequest = 0;

    // Held through an output call, from taking the due events to sending.
    std::mutex m_outputMutex;
    mutable std::mutex m_queueMutex;
    InstrumentEventQueue m_queue;
    // Used by the output call only, on the instrument's thread.
    QList<InstrumentEvent> m_batch;
};
