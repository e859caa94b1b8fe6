#include "synthaudiooutput.h"

#include <QCoreApplication>

#include <alsa/asoundlib.h>
#include <cstdarg>
#include <cstdio>
#include <fluidsynth.h>
#include <jack/jack.h>

namespace {

const QString Jack = QStringLiteral("jack");
const QString PulseAudio = QStringLiteral("pulseaudio");
const QString Alsa = QStringLiteral("alsa");
const QString None = QStringLiteral("none");

void logJackMessage(const char *message)
{
    qCInfo(lcLudraSynth, "JACK: %s", message);
}

void logAlsaMessage(const char *file, int line, const char *function, int err, const char *fmt, ...)
{
    char text[256];
    va_list arguments;
    va_start(arguments, fmt);
    std::vsnprintf(text, sizeof text, fmt, arguments);
    va_end(arguments);
    qCInfo(lcLudraSynth, "ALSA: %s:%d (%s) %s (%d)", file, line, function, text, err);
}

// The sample rate of the JACK server, which a silent client that never
// starts a server asks; 0 when none answers.
int jackServerRate()
{
    jack_set_error_function(&logJackMessage);
    jack_set_info_function(&logJackMessage);
    // JACK names a client's socket by client name and user only: the process
    // id keeps two processes probing at once apart.
    const QByteArray name = QByteArrayLiteral("Ludra audio probe ") +
                            QByteArray::number(QCoreApplication::applicationPid());
    jack_client_t *client = jack_client_open(name.constData(), JackNoStartServer, nullptr);
    if (!client)
        return 0;
    const int rate = int(jack_get_sample_rate(client));
    jack_client_close(client);
    return rate;
}

} // namespace

SynthAudioOutput::Plan SynthAudioOutput::plan()
{
    Plan plan;
    const QString forced = qEnvironmentVariable("LUDRA_AUDIO_DRIVER").toLower();
    plan.forced = forced == Jack || forced == PulseAudio || forced == Alsa || forced == None;
    if (!forced.isEmpty() && !plan.forced)
        qCInfo(lcLudraSynth, "LUDRA_AUDIO_DRIVER=%s is not a driver; choosing one",
               qPrintable(forced));
    if (!plan.forced || forced == Jack) {
        // FluidSynth's own JACK client would start a server: JACK is tried
        // only when one answers already.
        const int rate = jackServerRate();
        if (rate > 0) {
            plan.drivers.append(Jack);
            plan.sampleRate = rate;
        } else if (plan.forced) {
            qCInfo(lcLudraSynth, "no JACK server answers");
        }
    }
    if (plan.forced) {
        if (forced == PulseAudio || forced == Alsa)
            plan.drivers.append(forced);
    } else {
        plan.drivers << PulseAudio << Alsa;
    }
    return plan;
}

SynthAudioOutput::SynthAudioOutput(SynthEngine *engine, const Plan &plan)
{
    if (!engine || !engine->isValid())
        return;
    fluid_settings_t *settings = engine->settings();
    fluid_settings_setstr(settings, "audio.jack.id", jackClientName().toUtf8().constData());
    fluid_settings_setint(settings, "audio.jack.autoconnect", 1);
    for (const QString &name : plan.drivers) {
        // ALSA prints its complaints (no sound card, say) unless told where.
        snd_lib_error_set_handler(&logAlsaMessage);
        fluid_settings_setstr(settings, "audio.driver", name.toUtf8().constData());
        m_driver = new_fluid_audio_driver(settings, engine->synth());
        if (m_driver) {
            m_driverName = name;
            qCInfo(lcLudraSynth, "playing through %s", qPrintable(name));
            return;
        }
    }
    qCInfo(lcLudraSynth, "no audio output answers (tried: %s); the synthesizer is silent",
           plan.drivers.isEmpty() ? "none" : qPrintable(plan.drivers.join(QStringLiteral(", "))));
}

SynthAudioOutput::~SynthAudioOutput()
{
    // Ends the driver's thread, and with it every render of the engine.
    if (m_driver)
        delete_fluid_audio_driver(m_driver);
}
