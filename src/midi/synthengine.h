#pragma once

#include "midiinstrumentid.h"

#include <QByteArray>
#include <QList>
#include <QLoggingCategory>
#include <QString>

#include <fluidsynth/types.h>

// What the sound engine and the audio services behind it say. Diagnostics,
// off unless enabled (QT_LOGGING_RULES="ludra.synth.info=true"): nothing of
// it reaches the user's terminal otherwise.
Q_DECLARE_LOGGING_CATEGORY(lcLudraSynth)

// The sound engine of the built-in synthesizer: one FluidSynth synthesizer
// with at most one SoundFont sound bank. Bank select is MMA style, as
// MidiInstrument sends it: control change 0 and 32 choose bank MSB * 128 +
// LSB for the next program change. A General MIDI bank keeps its drum kits
// in bank 128, which channel 10 plays.
//
// Threads: FluidSynth serialises its own calls (unless the engine is made
// for one thread), so an audio driver may render on its thread while another
// thread plays messages. Everything else
// (loading a bank, reading the instrument list) is for one thread at a
// time; MidiSynth serialises it with its mutex.
class SynthEngine
{
public:
    static constexpr int ChannelCount = 16;
    static constexpr int DefaultSampleRate = 44100;
    // The rates FluidSynth renders at.
    static constexpr int MinSampleRate = 8000;
    static constexpr int MaxSampleRate = 96000;

    struct Instrument
    {
        MidiInstrumentId id;
        QString name;
    };

    // An engine without a bank, rendering at the rate (clamped to the
    // range above). An engine for one thread only (an offline render)
    // leaves out FluidSynth's locking, which is pure cost there.
    explicit SynthEngine(int sampleRate = DefaultSampleRate, bool threadSafe = true);
    ~SynthEngine();
    SynthEngine(const SynthEngine &) = delete;
    SynthEngine &operator=(const SynthEngine &) = delete;

    // False when FluidSynth could not make a synthesizer; the engine then
    // does nothing.
    bool isValid() const { return m_synth != nullptr; }
    int sampleRate() const { return m_sampleRate; }

    // Loads a SoundFont file (.sf2 or .sf3) in place of the current bank,
    // which stays when the file cannot be loaded (false, with the reason in
    // *error). The channels keep their bank and program numbers and take
    // them from the new bank.
    bool loadSoundBank(const QString &fileName, QString *error = nullptr);
    void unloadSoundBank();
    bool hasSoundBank() const { return m_bankId >= 0; }
    // The file of the bank; empty without one.
    QString soundBankFileName() const { return m_bankFileName; }
    // The bank's instruments in the order of their ids; none without a bank.
    const QList<Instrument> &instruments() const { return m_instruments; }

    // Plays one complete MIDI message, status byte first: note, key and
    // channel pressure, control and program change, pitch bend, system
    // exclusive and system reset. Anything else is left out.
    void play(const QByteArray &message);
    // The complete messages in a stream of bytes (no running status); data
    // bytes without a status and unfinished messages are left out.
    static QList<QByteArray> messages(const QByteArray &bytes);

    // The instrument that the channel (0 to 15) plays: the bank's preset
    // chosen for it, or, without one, the bank and program it asks for.
    MidiInstrumentId channelInstrument(int channel) const;
    // Chooses the bank's instrument for the channel, also on the drum
    // channel; without it in the bank, as a bank select and program change.
    void setChannelInstrument(int channel, const MidiInstrumentId &id);

    // Renders the next frames of stereo audio, at most 2^31 - 1 at once.
    // False when FluidSynth fails; the buffers then hold silence.
    bool render(float *left, float *right, int frames);

    // For the audio driver that renders this engine.
    fluid_settings_t *settings() const { return m_settings; }
    fluid_synth_t *synth() const { return m_synth; }

private:
    void readInstruments();

    fluid_settings_t *m_settings = nullptr;
    fluid_synth_t *m_synth = nullptr;
    int m_sampleRate = DefaultSampleRate;
    int m_bankId = -1;
    QString m_bankFileName;
    QList<Instrument> m_instruments;
};
