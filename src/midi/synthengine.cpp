#include "synthengine.h"

#include <QFile>
#include <QFileInfo>

#include <fluidsynth.h>
#include <glib.h>

#include <algorithm>
#include <mutex>

Q_LOGGING_CATEGORY(lcLudraSynth, "ludra.synth", QtWarningMsg)

namespace {

void logFluidMessage(int level, const char *message, void *)
{
    if (level == FLUID_DBG)
        qCDebug(lcLudraSynth, "FluidSynth: %s", message);
    else
        qCInfo(lcLudraSynth, "FluidSynth: %s", message);
}

void logGlibMessage(const gchar *domain, GLogLevelFlags, const gchar *message, gpointer)
{
    qCInfo(lcLudraSynth, "%s: %s", domain ? domain : "FluidSynth's sound bank loader", message);
}

// FluidSynth prints to the standard error unless told otherwise, for the
// whole process. So does the library that loads sound banks other than
// SoundFont files for it (libinstpatch), through GLib's log without a
// domain, when a damaged SoundFont reaches it.
void redirectFluidLog()
{
    static std::once_flag once;
    std::call_once(once, [] {
        for (int level = FLUID_PANIC; level <= FLUID_DBG; ++level)
            fluid_set_log_function(level, &logFluidMessage, nullptr);
        g_log_set_handler(
            nullptr, GLogLevelFlags(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL | G_LOG_FLAG_RECURSION),
            &logGlibMessage, nullptr);
    });
}

// The number of bytes a message of this status byte has, status included;
// 0 for system exclusive, which ends at its end byte.
int messageLength(quint8 status)
{
    if (status < 0xF0)
        return (status & 0xE0) == 0xC0 ? 2 : 3;
    switch (status) {
    case 0xF0:
        return 0;
    case 0xF1:
    case 0xF3:
        return 2;
    case 0xF2:
        return 3;
    default:
        return 1;
    }
}

} // namespace

SynthEngine::SynthEngine(int sampleRate, bool threadSafe)
    : m_sampleRate(std::clamp(sampleRate, MinSampleRate, MaxSampleRate))
{
    redirectFluidLog();
    m_settings = new_fluid_settings();
    if (!m_settings)
        return;
    fluid_settings_setnum(m_settings, "synth.sample-rate", m_sampleRate);
    fluid_settings_setstr(m_settings, "synth.midi-bank-select", "mma");
    // Locking the samples in memory needs privileges a desktop user lacks,
    // and FluidSynth would complain at every load.
    fluid_settings_setint(m_settings, "synth.lock-memory", 0);
    fluid_settings_setint(m_settings, "synth.threadsafe-api", threadSafe ? 1 : 0);
    // FluidSynth's default gain of 0.2 leaves a few voices near -20 dB full
    // scale; 0.5 brings them to a usual level, and dense networks still
    // have headroom.
    fluid_settings_setnum(m_settings, "synth.gain", 0.5);
    m_synth = new_fluid_synth(m_settings);
    if (!m_synth)
        qCInfo(lcLudraSynth, "FluidSynth made no synthesizer");
}

SynthEngine::~SynthEngine()
{
    if (m_synth)
        delete_fluid_synth(m_synth);
    if (m_settings)
        delete_fluid_settings(m_settings);
}

bool SynthEngine::loadSoundBank(const QString &fileName, QString *error)
{
    const auto failed = [error](const QString &reason) {
        if (error)
            *error = reason;
        return false;
    };
    if (!m_synth)
        return failed(QStringLiteral("the sound engine did not start"));
    QFile file(fileName);
    if (!QFileInfo(fileName).isFile() || !file.open(QIODevice::ReadOnly))
        return failed(QStringLiteral("cannot read %1").arg(fileName));
    // FluidSynth hands a file its SoundFont loader rejects to a loader of
    // other formats, which complains on the standard error: only what
    // starts as a SoundFont (.sf2, .sf3) goes to FluidSynth.
    const QByteArray start = file.read(12);
    file.close();
    if (start.size() < 12 || !start.startsWith("RIFF") || start.mid(8) != "sfbk")
        return failed(QStringLiteral("%1 is not a SoundFont sound bank").arg(fileName));
    const int id = fluid_synth_sfload(m_synth, QFile::encodeName(fileName).constData(), 1);
    if (id == FLUID_FAILED)
        return failed(QStringLiteral("%1 is not a SoundFont sound bank").arg(fileName));
    if (m_bankId >= 0)
        fluid_synth_sfunload(m_synth, m_bankId, 1);
    m_bankId = id;
    m_bankFileName = fileName;
    readInstruments();
    return true;
}

void SynthEngine::unloadSoundBank()
{
    if (m_bankId < 0)
        return;
    fluid_synth_sfunload(m_synth, m_bankId, 1);
    m_bankId = -1;
    m_bankFileName.clear();
    m_instruments.clear();
}

void SynthEngine::readInstruments()
{
    m_instruments.clear();
    fluid_sfont_t *bank = fluid_synth_get_sfont_by_id(m_synth, m_bankId);
    if (!bank)
        return;
    fluid_sfont_iteration_start(bank);
    while (fluid_preset_t *preset = fluid_sfont_iteration_next(bank)) {
        m_instruments.append({MidiInstrumentId::fromBank(fluid_preset_get_banknum(preset),
                                                         fluid_preset_get_num(preset)),
                              QString::fromUtf8(fluid_preset_get_name(preset)).trimmed()});
    }
    std::stable_sort(m_instruments.begin(), m_instruments.end(),
                     [](const Instrument &a, const Instrument &b) { return a.id < b.id; });
}

void SynthEngine::play(const QByteArray &message)
{
    if (!m_synth || message.isEmpty())
        return;
    const quint8 status = quint8(message.at(0));
    const int length = messageLength(status);
    if (length > message.size() || status < 0x80)
        return;
    const int channel = status & 0x0F;
    const int data1 = length > 1 ? quint8(message.at(1)) : 0;
    const int data2 = length > 2 ? quint8(message.at(2)) : 0;
    switch (status & 0xF0) {
    case 0x80:
        fluid_synth_noteoff(m_synth, channel, data1);
        return;
    case 0x90:
        // A note on with velocity 0 is a note off; FluidSynth knows.
        fluid_synth_noteon(m_synth, channel, data1, data2);
        return;
    case 0xA0:
        fluid_synth_key_pressure(m_synth, channel, data1, data2);
        return;
    case 0xB0:
        fluid_synth_cc(m_synth, channel, data1, data2);
        return;
    case 0xC0:
        fluid_synth_program_change(m_synth, channel, data1);
        return;
    case 0xD0:
        fluid_synth_channel_pressure(m_synth, channel, data1);
        return;
    case 0xE0:
        fluid_synth_pitch_bend(m_synth, channel, data1 | (data2 << 7));
        return;
    default:
        break;
    }
    if (status == 0xF0 && message.size() >= 2 && quint8(message.back()) == 0xF7) {
        fluid_synth_sysex(m_synth, message.constData() + 1, int(message.size() - 2), nullptr,
                          nullptr, nullptr, 0);
    } else if (status == 0xFF) {
        fluid_synth_system_reset(m_synth);
    }
}

QList<QByteArray> SynthEngine::messages(const QByteArray &bytes)
{
    QList<QByteArray> found;
    qsizetype at = 0;
    while (at < bytes.size()) {
        const quint8 status = quint8(bytes.at(at));
        if (status < 0x80) {
            ++at;
            continue;
        }
        qsizetype end = at + 1;
        if (status == 0xF0) {
            while (end < bytes.size() && quint8(bytes.at(end)) < 0x80)
                ++end;
            if (end == bytes.size() || quint8(bytes.at(end)) != 0xF7) {
                at = end;
                continue;
            }
            ++end;
        } else {
            const qsizetype wanted = at + messageLength(status);
            while (end < wanted && end < bytes.size() && quint8(bytes.at(end)) < 0x80)
                ++end;
            if (end < wanted) {
                at = end;
                continue;
            }
        }
        found.append(bytes.mid(at, end - at));
        at = end;
    }
    return found;
}

MidiInstrumentId SynthEngine::channelInstrument(int channel) const
{
    if (!m_synth || channel < 0 || channel >= ChannelCount)
        return {};
    if (fluid_preset_t *preset = fluid_synth_get_channel_preset(m_synth, channel)) {
        return MidiInstrumentId::fromBank(fluid_preset_get_banknum(preset),
                                          fluid_preset_get_num(preset));
    }
    int bankId = 0;
    int bank = 0;
    int program = 0;
    if (fluid_synth_get_program(m_synth, channel, &bankId, &bank, &program) != FLUID_OK)
        return {};
    return MidiInstrumentId::fromBank(bank, program);
}

void SynthEngine::setChannelInstrument(int channel, const MidiInstrumentId &id)
{
    if (!m_synth || channel < 0 || channel >= ChannelCount)
        return;
    if (m_bankId >= 0 &&
        fluid_synth_program_select(m_synth, channel, m_bankId, id.bank(), id.program) == FLUID_OK)
        return;
    fluid_synth_bank_select(m_synth, channel, id.bank());
    fluid_synth_program_change(m_synth, channel, id.program);
}

bool SynthEngine::render(float *left, float *right, int frames)
{
    if (m_synth && fluid_synth_write_float(m_synth, frames, left, 0, 1, right, 0, 1) == FLUID_OK)
        return true;
    std::fill(left, left + frames, 0.0f);
    std::fill(right, right + frames, 0.0f);
    return false;
}
