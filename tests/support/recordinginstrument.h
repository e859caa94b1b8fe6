#pragma once

// Header only: it needs the network library, which the tests that use it
// link.

#include "abstractinstrument.h"
#include "qmdludraplayback.h"

#include <QList>

#include <atomic>
#include <condition_variable>
#include <mutex>

// Makes every instrument a document asks for a recording one, through the
// playback services it hands out, and keeps what they send in the order
// sent. It must outlive the controllers whose instruments it made.
class InstrumentRecorder
{
public:
    struct Sent
    {
        QmdItemId instrument = 0;
        InstrumentEvent event;
    };

    QmdLudraPlaybackServices services(const NanoClock *clock = nullptr);

    QList<Sent> sent() const
    {
        // Copied element by element under the lock: a shared copy, detached
        // by the reader later, would race with the recording thread.
        const std::lock_guard locker(m_mutex);
        return QList<Sent>(m_sent.cbegin(), m_sent.cend());
    }
    // Pitch and tick of every note on sent, in the order sent.
    QList<std::pair<int, qint64>> notesOn() const
    {
        QList<std::pair<int, qint64>> notes;
        for (const Sent &sent : sent()) {
            if (sent.event.type == InstrumentEvent::NoteOn)
                notes.append({sent.event.data1, sent.event.tick});
        }
        return notes;
    }
    void record(QmdItemId instrument, const QList<InstrumentEvent> &batch)
    {
        const std::lock_guard locker(m_mutex);
        for (const InstrumentEvent &event : batch)
            m_sent.append({instrument, event});
    }

    // Instruments made and not yet deleted.
    std::atomic<int> alive{0};

    // The next note pair queued is held where it is queued, inside its
    // firing, until release().
    void holdNext() { setHold(Hold::Armed); }
    void awaitHolding()
    {
        std::unique_lock locker(m_mutex);
        m_holdChanged.wait(locker, [this] { return m_hold == Hold::Holding; });
    }
    void release() { setHold(Hold::Released); }
    void holdIfArmed()
    {
        std::unique_lock locker(m_mutex);
        if (m_hold != Hold::Armed)
            return;
        m_hold = Hold::Holding;
        m_holdChanged.notify_all();
        m_holdChanged.wait(locker, [this] { return m_hold == Hold::Released; });
    }

private:
    enum class Hold { None, Armed, Holding, Released };
    void setHold(Hold hold)
    {
        const std::lock_guard locker(m_mutex);
        m_hold = hold;
        m_holdChanged.notify_all();
    }

    mutable std::mutex m_mutex;
    QList<Sent> m_sent;
    std::condition_variable m_holdChanged;
    Hold m_hold = Hold::None;
};

// Sends into its recorder instead of a port.
class RecordingInstrument : public AbstractInstrument
{
public:
    RecordingInstrument(QmdItemId id, InstrumentRecorder *recorder)
        : AbstractInstrument(id), m_recorder(recorder)
    {
        ++m_recorder->alive;
    }
    ~RecordingInstrument() override
    {
        terminateSafely();
        waitForExit();
        --m_recorder->alive;
    }

    QString typeName() const override { return QStringLiteral("recording"); }
    QString displayName() const override { return QStringLiteral("Recording"); }
    bool enqueueNotePair(const InstrumentEvent &noteOn, const InstrumentEvent &noteOff) override
    {
        m_recorder->holdIfArmed();
        return AbstractInstrument::enqueueNotePair(noteOn, noteOff);
    }

protected:
    void applyInstrumentData(const QStringList &) override {}
    bool sendBatch(const QList<InstrumentEvent> &batch) override
    {
        m_recorder->record(id(), batch);
        return true;
    }

private:
    InstrumentRecorder *const m_recorder;
};

inline QmdLudraPlaybackServices InstrumentRecorder::services(const NanoClock *clock)
{
    QmdLudraPlaybackServices services;
    services.makeInstrument = [this](const QString &, QmdItemId id) {
        return new RecordingInstrument(id, this);
    };
    services.clock = clock;
    return services;
}
