#pragma once

#include "standardmidifile.h"
#include "synthengine.h"

#include <QString>

#include <functional>
#include <vector>

class QIODevice;

// Turns a Standard MIDI File into a WAV file (16-bit stereo PCM) with the
// built-in synthesizer's engine, as fast as the machine allows and always
// the same way: the same file, sound bank and rate give the same bytes.
// FluidSynth renders float samples, rounded to 16 bits here without dither
// (FluidSynth's own 16-bit output dithers at random). Every event sounds at
// the sample of its tick; the audio lasts to the file's last event and two
// seconds more, for the notes to fade.
//
// One render per renderer: the engine keeps the sound of the last.
// Threads: one thread at a time.
class WaveRenderer
{
public:
    static constexpr double TailSeconds = 2.0;
    // A WAV file counts its bytes in 32 bits.
    static constexpr qint64 MaxFrames = (0xFFFFFFFFLL - 36) / 4;
    static constexpr int HeaderSize = 44;

    // Called now and then with the frames written so far and all of them.
    using ProgressCallback = std::function<void(qint64 frame, qint64 frames)>;

    explicit WaveRenderer(int sampleRate = SynthEngine::DefaultSampleRate);

    // See SynthEngine::loadSoundBank().
    bool loadSoundBank(const QString &fileName, QString *error = nullptr);
    int sampleRate() const { return m_engine.sampleRate(); }
    void setProgressCallback(ProgressCallback callback) { m_progress = std::move(callback); }

    // The frames a render of the file writes.
    qint64 frameCount(const StandardMidiFile &file) const;
    // Writes the whole WAV file to the device; false, with the reason in
    // *error, when the engine has no bank, the audio would be too long for
    // a WAV file, or a write fails.
    bool render(const StandardMidiFile &file, QIODevice *device, QString *error = nullptr);

private:
    struct TimedMessage
    {
        qint64 frame = 0;
        QByteArray message;
    };

    QList<TimedMessage> timeline(const StandardMidiFile &file) const;
    bool writeFrames(qint64 count, QIODevice *device);

    SynthEngine m_engine;
    ProgressCallback m_progress;
    std::vector<float> m_left;
    std::vector<float> m_right;
    QByteArray m_block;
    qint64 m_written = 0;
    qint64 m_total = 0;
};
