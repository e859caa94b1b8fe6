#pragma once

#include "synthengine.h"

#include <QString>
#include <QStringList>

// The built-in synthesizer's way to the speakers: a FluidSynth audio driver
// that renders the engine on the driver's own thread. LUDRA_AUDIO_DRIVER
// (jack, pulseaudio, alsa or none) forces one; otherwise JACK when a server
// answers (none is ever started), then PulseAudio, then ALSA, and without
// any the synthesizer is silent, which the log says in one line. What the
// drivers and the services behind them print goes to the log (ludra.synth).
//
// Threads: make and destroy it on one thread, before the engine goes; the
// driver's thread only renders the engine, which serialises that itself.
class SynthAudioOutput
{
public:
    // The drivers to try in order, and the rate the engine should render
    // at for the first (JACK's own): the engine's rate is fixed once it is
    // made, so the plan comes first.
    struct Plan
    {
        QStringList drivers;
        int sampleRate = SynthEngine::DefaultSampleRate;
        // LUDRA_AUDIO_DRIVER chose the drivers (none, perhaps).
        bool forced = false;
    };
    static Plan plan();

    // The name of the synthesizer's JACK client, whose ports are "left" and
    // "right".
    static QString jackClientName() { return QStringLiteral("Ludra Synth"); }

    // Starts the first driver of the plan that opens; none may.
    SynthAudioOutput(SynthEngine *engine, const Plan &plan);
    ~SynthAudioOutput();
    SynthAudioOutput(const SynthAudioOutput &) = delete;
    SynthAudioOutput &operator=(const SynthAudioOutput &) = delete;

    // "jack", "pulseaudio" or "alsa"; "none" when no driver plays.
    QString driverName() const { return m_driverName; }
    bool isPlaying() const { return m_driver != nullptr; }

private:
    fluid_audio_driver_t *m_driver = nullptr;
    QString m_driverName = QStringLiteral("none");
};
