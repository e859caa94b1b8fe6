#pragma once

#include "midiinstrumentid.h"
#include "synthaudiooutput.h"
#include "synthengine.h"

#include <QObject>
#include <QString>

#include <array>
#include <memory>

class MidiInput;

// The built-in synthesizer's working part, owned by MidiSynth and living in
// its thread: the sound engine, its audio output, the MIDI input that feeds
// it, and for each of the 16 channels the instrument the engine plays.
//
// Threads: every member, onMidiInputReadyRead() included, is called with
// MidiSynth's mutex held, which serialises the synthesizer's thread, the
// MIDI library's thread (input), senders' threads (its in-process port) and
// the GUI thread (a dialog). Signals are emitted on the calling thread;
// MidiSynth passes them on queued.
class MidiSynthWorker : public QObject
{
    Q_OBJECT

public:
    // configuredSoundBank: the application's setting, tried first (see
    // SoundBankLocator).
    explicit MidiSynthWorker(const QString &configuredSoundBank, QObject *parent = nullptr);
    ~MidiSynthWorker() override;

    // Starts the engine with the first default sound bank that loads, then
    // the audio output. Ready afterwards, with a bank or without.
    void initialise();
    bool isReady() const { return m_ready; }

    MidiInput *input() const { return m_input; }
    // Only remembers the input: MidiSynth connects it.
    void setInput(MidiInput *input) { m_input = input; }

    // Plays the messages in bytes (see SynthEngine::messages()), reporting
    // every program and control change.
    void play(const QByteArray &bytes);

    // Loads the first default sound bank that loads; false when none does,
    // and the engine then has no bank.
    bool resetSoundBank();
    // False, with the reason in *error, when the file cannot be loaded;
    // the current bank then stays.
    bool loadSoundBank(const QString &fileName, QString *error = nullptr);
    // The file name of the bank, without its folder; empty without a bank.
    QString soundBankName() const;
    QString soundBankFileName() const;
    int instrumentCount() const;
    MidiInstrumentId instrumentId(int index) const;
    // -1 when the bank lacks the instrument.
    int indexOfInstrument(const MidiInstrumentId &id) const;
    QString instrumentName(int index) const;
    MidiInstrumentId instrumentOfChannel(int channel) const;
    void setInstrumentOfChannel(int channel, const MidiInstrumentId &id);
    // The audio driver that plays: "jack", "pulseaudio", "alsa" or "none".
    QString audioDriver() const;

public Q_SLOTS:
    // Plays every message queued in the input, oldest first. Connected
    // directly, it runs on the MIDI library's thread.
    void onMidiInputReadyRead(MidiInput *input);

Q_SIGNALS:
    // For every program change and control change played, also when nothing
    // changed, and for every channel set: the instrument the engine plays
    // on the channel now.
    void instrumentChanged(int channel, MidiInstrumentId instrument);
    // Another bank was loaded, or none; also once ready.
    void soundBankChanged();

private:
    void afterBankChange();
    void report(int channel);

    const QString m_configuredSoundBank;
    bool m_ready = false;
    MidiInput *m_input = nullptr;
    std::unique_ptr<SynthEngine> m_engine;
    // Renders the engine: made after it, and gone before it.
    std::unique_ptr<SynthAudioOutput> m_audio;
    std::array<MidiInstrumentId, SynthEngine::ChannelCount> m_channels{};
};
