#pragma once

#include "abstractinstrument.h"
#include "qmdludraplayback.h"

#include <QList>

#include <atomic>
#include <mutex>

class RecordingInstrument;

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

    InstrumentRecorder() = default;
    InstrumentRecorder(const InstrumentRecorder &) = delete;
    InstrumentRecorder &operator=(const InstrumentRecorder &) = delete;

    // Playback that makes recording instruments, on the given clock.
    QmdLudraPlaybackServices services(const NanoClock *clock = nullptr);

    QList<Sent> sent() const;
    // Pitch and tick of every note on sent, in the order sent.
    QList<std::pair<int, qint64>> notesOn() const;
    // Instruments made and not yet deleted.
    int alive() const { return m_alive; }

    // The next note pair queued is held where it is queued, inside its
    // firing, until release(); isHolding() tells when it is.
    void holdNextNotePair() { m_holdNext = true; }
    bool isHolding() const { return m_holding; }
    void release() { m_release = true; }

private:
    friend class RecordingInstrument;
    void record(QmdItemId instrument, const QList<InstrumentEvent> &batch);

    void holdIfAsked();

    mutable std::mutex m_mutex;
    QList<Sent> m_sent;
    std::atomic<int> m_alive{0};
    std::atomic<bool> m_holdNext{false};
    std::atomic<bool> m_holding{false};
    std::atomic<bool> m_release{false};
};

// Sends into its recorder instead of a port.
class RecordingInstrument : public AbstractInstrument
{
    Q_OBJECT

public:
    RecordingInstrument(QmdItemId id, InstrumentRecorder *recorder, QObject *parent = nullptr);
    ~RecordingInstrument() override;

    QString typeName() const override { return QStringLiteral("recording"); }
    QString displayName() const override { return QStringLiteral("Recording"); }
    bool enqueueNotePair(const InstrumentEvent &noteOn, const InstrumentEvent &noteOff) override;

protected:
    void applyInstrumentData(const QStringList &) override {}
    bool sendBatch(const QList<InstrumentEvent> &batch) override;

private:
    InstrumentRecorder *const m_recorder;
};
