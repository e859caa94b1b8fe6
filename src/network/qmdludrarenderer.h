#pragma once

#include "instrumentevent.h"
#include "qmdglobal.h"
#include "standardmidifile.h"

#include <QList>
#include <QtGlobal>

#include <functional>

class QmdLudraController;

// Plays a document offline, as fast as the machine allows, into a Standard
// MIDI File. The voices fire by the same rules as in real time, driven by a
// virtual clock that jumps from one arrival to the next; the instruments'
// queues are kept as real time keeps them, so what each would send, and in
// which order, is what its track holds. Given the document and the seed, the
// file is the same on every run.
//
// The document is only read: the counters the voices advance live in a copy
// of the state records that starts from their initial values, so a render
// neither changes what is then played or saved nor depends on what was played
// before.
class QmdLudraRenderer
{
public:
    static constexpr quint16 TicksPerQuarter = 960;
    static constexpr double DefaultPrincipals = 64;

    // controller: a loaded document that is not playing.
    explicit QmdLudraRenderer(QmdLudraController *controller);

    qint64 endTickForPrincipals(double principals) const;
    // Where the timing source would be after that many seconds of play at
    // the document's tempo and principals-to-beats ratio.
    qint64 endTickForSeconds(double seconds) const;
    void setEndTick(qint64 gridTick) { m_endTick = gridTick; }
    void setSeed(quint32 seed) { m_seed = seed; }
    // Called now and then during render() with the grid tick reached and the
    // end tick.
    void setProgressCallback(std::function<void(qint64 tick, qint64 endTick)> callback)
    {
        m_progress = std::move(callback);
    }

    StandardMidiFile render();
    // User messages of the last render that were not written: a file track
    // holds channel messages only.
    int skippedUserMessages() const { return m_skippedUserMessages; }

    // The file tick of a grid tick with the principals-to-beats ratio n/d, a
    // quarter note being one beat: rounded to the nearest tick, halves away
    // from zero.
    static qint64 fileTick(qint64 gridTick, uint numerator, uint denominator);

private:
    uint documentValue(const QString &key, uint fallback) const;
    StandardMidiFileTrack track(QmdItemId instrument, const QList<InstrumentEvent> &events,
                                uint numerator, uint denominator);

    QmdLudraController *const m_controller;
    qint64 m_endTick;
    quint32 m_seed = 1;
    std::function<void(qint64, qint64)> m_progress;
    int m_skippedUserMessages = 0;
};
