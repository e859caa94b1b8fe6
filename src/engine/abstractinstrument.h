#pragma once

#include "abstractoutputthread.h"
#include "instrumentevent.h"
#include "instrumenteventqueue.h"
#include "instrumentsettings.h"
#include "qmdglobal.h"

#include <QList>
#include <QStringList>

#include <mutex>

// Plays one instrument record of a document: a time-ordered queue of events
// that the voice groups fill, ahead of time, and that the output thread
// empties as the timing source's tick position passes their ticks. The
// thread sleeps until the first queued event is due and is woken when an
// earlier one is queued. Nothing leaves while the timing source stands
// still. What "sending" means is the subclass's; the record's values are
// handed over by the owner as the document changes them.
//
// The object lives on the thread that created it (the owner's), which makes
// every call but the queueing ones; those come from the threads that fire
// voices. Only the output call, and what a failed send does there, run on
// the instrument's own thread. Subclasses must stop the thread in their
// destructor (see AbstractOutputThread), since the output call sends
// through them.
class AbstractInstrument : public AbstractOutputThread
{
    Q_OBJECT

public:
    static constexpr int QueueCapacity = InstrumentEventQueue::Capacity;
    static constexpr int BatchCapacity = 32;

    explicit AbstractInstrument(QmdItemId id, QObject *parent = nullptr);

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

    // The values of the instrument's record; keys names those that changed
    // (all of them the first time). Applied at once.
    void applySettings(const InstrumentSettings &settings, const QStringList &keys);
    const InstrumentSettings &settings() const { return m_settings; }
    // Every key applySettings() knows.
    static QStringList settingKeys();

public Q_SLOTS:
    // Drops every queued event; once it returns, nothing queued before is
    // sent.
    virtual void reset();

Q_SIGNALS:
    // The instrument plays on another port than its record names: the port
    // that replaced a missing one, or none once its port broke. The owner
    // writes it into the record, outside the undo history; the change need
    // not come back. Emitted on the owner's thread, or on the instrument's
    // for a broken port.
    void portChanged(const QString &name);

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

    // Applies the named keys of settings().
    virtual void applyInstrumentData(const QStringList &keys) = 0;
    // Sends the events in order; false when they could not be sent.
    virtual bool sendBatch(const QList<InstrumentEvent> &batch) = 0;

private:
    // Wakes the thread when the event now first in the queue is earlier
    // than what it was sleeping for.
    void wakeIfFirst(bool wasFirst);

    const QmdItemId m_id;
    InstrumentSettings m_settings;

    // Held through an output call, from taking the due events to sending.
    std::mutex m_outputMutex;
    mutable std::mutex m_queueMutex;
    InstrumentEventQueue m_queue;
    // Used by the output call only, on the instrument's thread.
    QList<InstrumentEvent> m_batch;
};
