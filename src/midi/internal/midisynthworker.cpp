#include "midisynthworker.h"

#include "midiinput.h"
#include "soundbanklocator.h"

#include <QFileInfo>

MidiSynthWorker::MidiSynthWorker(const QString &configuredSoundBank, QObject *parent)
    : QObject(parent), m_configuredSoundBank(configuredSoundBank)
{
}

MidiSynthWorker::~MidiSynthWorker()
{
    // The driver's thread renders the engine until the driver is gone.
    m_audio.reset();
    m_engine.reset();
}

void MidiSynthWorker::initialise()
{
    const SynthAudioOutput::Plan plan = SynthAudioOutput::plan();
    m_engine = std::make_unique<SynthEngine>(plan.sampleRate);
    resetSoundBank();
    m_audio = std::make_unique<SynthAudioOutput>(m_engine.get(), plan);
    m_ready = true;
    Q_EMIT soundBankChanged();
}

void MidiSynthWorker::play(const QByteArray &bytes)
{
    if (!m_engine)
        return;
    for (const QByteArray &message : SynthEngine::messages(bytes)) {
        m_engine->play(message);
        const int kind = quint8(message.at(0)) & 0xF0;
        // The engine, not the message, says what a channel plays: a bank
        // select waits for the next program change, the drum channel
        // ignores it, and an instrument the bank lacks falls back to one
        // it has.
        if (message.size() >= 2 && (kind == 0xB0 || kind == 0xC0))
            report(quint8(message.at(0)) & 0x0F);
    }
}

void MidiSynthWorker::onMidiInputReadyRead(MidiInput *input)
{
    if (!input || input != m_input)
        return;
    for (const MidiMessage &message : input->takeAll()) {
        if (!message.bytes.isEmpty())
            play(message.bytes);
    }
}

bool MidiSynthWorker::resetSoundBank()
{
    if (!m_engine)
        return false;
    bool loaded = false;
    for (const QString &fileName : SoundBankLocator::candidates(m_configuredSoundBank)) {
        QString error;
        loaded = m_engine->loadSoundBank(fileName, &error);
        if (loaded)
            break;
        qCInfo(lcLudraSynth, "%s", qPrintable(error));
    }
    if (!loaded) {
        qCInfo(lcLudraSynth, "no sound bank loads; the synthesizer is silent");
        m_engine->unloadSoundBank();
    }
    afterBankChange();
    return loaded;
}

bool MidiSynthWorker::loadSoundBank(const QString &fileName, QString *error)
{
    if (!m_engine) {
        if (error)
            *error = QStringLiteral("the synthesizer has not started");
        return false;
    }
    if (!m_engine->loadSoundBank(fileName, error))
        return false;
    afterBankChange();
    return true;
}

void MidiSynthWorker::afterBankChange()
{
    for (int channel = 0; channel < SynthEngine::ChannelCount; ++channel)
        m_channels[size_t(channel)] = m_engine->channelInstrument(channel);
    // Before it is ready, initialise() announces the bank.
    if (m_ready)
        Q_EMIT soundBankChanged();
}

void MidiSynthWorker::report(int channel)
{
    const MidiInstrumentId instrument = m_engine->channelInstrument(channel);
    m_channels[size_t(channel)] = instrument;
    Q_EMIT instrumentChanged(channel, instrument);
}

QString MidiSynthWorker::soundBankName() const
{
    return QFileInfo(soundBankFileName()).fileName();
}

QString MidiSynthWorker::soundBankFileName() const
{
    return m_engine ? m_engine->soundBankFileName() : QString();
}

int MidiSynthWorker::instrumentCount() const
{
    return m_engine ? int(m_engine->instruments().size()) : 0;
}

MidiInstrumentId MidiSynthWorker::instrumentId(int index) const
{
    if (index < 0 || index >= instrumentCount())
        return {};
    return m_engine->instruments().at(index).id;
}

int MidiSynthWorker::indexOfInstrument(const MidiInstrumentId &id) const
{
    for (int i = 0; i < instrumentCount(); ++i) {
        if (m_engine->instruments().at(i).id == id)
            return i;
    }
    return -1;
}

QString MidiSynthWorker::instrumentName(int index) const
{
    if (index < 0 || index >= instrumentCount())
        return QString();
    return m_engine->instruments().at(index).name;
}

MidiInstrumentId MidiSynthWorker::instrumentOfChannel(int channel) const
{
    if (channel < 0 || channel >= SynthEngine::ChannelCount)
        return {};
    return m_channels[size_t(channel)];
}

void MidiSynthWorker::setInstrumentOfChannel(int channel, const MidiInstrumentId &id)
{
    if (!m_engine || channel < 0 || channel >= SynthEngine::ChannelCount)
        return;
    m_engine->setChannelInstrument(channel, id);
    report(channel);
}

QString MidiSynthWorker::audioDriver() const
{
    return m_audio ? m_audio->driverName() : QStringLiteral("none");
}
