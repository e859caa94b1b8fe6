#pragma once

#include "midiinstrumentid.h"

#include <QDeadlineTimer>
#include <QString>
#include <QThread>

#include <memory>

class MidiInput;
class MidiSynthWorker;

// The built-in synthesizer: a General MIDI sound engine (FluidSynth) that
// plays what its MIDI input and its in-process output port "Ludra Synth"
// hand it, through the first audio output that answers (see
// SynthAudioOutput). The port is listed among the MIDI output ports while
// the synthesizer exists, so that instruments play on it with or without a
// MIDI system; a document's instrument without a port lands there through
// the default port rule when nothing else is called "synth".
//
// The synthesizer is its own thread, started at construction with the
// highest priority below time-critical, which hosts a MidiSynthWorker from
// the start of its run to its end. Each operation below is forwarded to the
// worker under one mutex; without a worker it returns the empty value
// given. The sound bank loads on that thread; isReady() says when it is
// done, with a bank or without.
//
// Threads: every function may be called from any thread (the GUI's for a
// dialog). The input's messages are played on the MIDI library's thread,
// the port's on the sender's; both take the same mutex. The signals reach
// receivers queued, on the thread this object lives in. Destroy it on that
// thread.
class MidiSynth : public QThread
{
    Q_OBJECT

public:
    // The name of the in-process output port.
    static QString portName() { return QStringLiteral("Ludra Synth"); }

    // configuredSoundBank: the application's "SynthSoundBank" setting, the
    // first place to look for a bank (see SoundBankLocator).
    explicit MidiSynth(const QString &configuredSoundBank = QString(), QObject *parent = nullptr);
    // Takes the port off the list, ends the event loop and waits for the
    // thread.
    ~MidiSynth() override;

    // false.
    bool isReady() const;
    // Sleeps until the synthesizer is ready or has ended, or until the
    // deadline; whether it is ready.
    bool waitForReady(QDeadlineTimer deadline = QDeadlineTimer(QDeadlineTimer::Forever)) const;

    // nullptr.
    MidiInput *input() const;
    // Plays what the input receives from now on, on the MIDI library's
    // thread, instead of what the previous input received. The input must
    // outlive its use here, or be replaced before it goes.
    void setInput(MidiInput *input);

    // Loads the default sound bank again; false when none loads.
    bool resetSoundBank();
    // Loads a SoundFont file (.sf2, .sf3); false, with the reason in
    // *error, when it cannot, and the current bank stays.
    bool loadSoundBank(const QString &fileName, QString *error = nullptr);
    // The bank's file name without its folder; empty.
    QString soundBankName() const;
    // The bank's file; empty.
    QString soundBankFileName() const;
    // 0.
    int instrumentCount() const;
    // The bank's instruments in the order of their ids: MidiInstrumentId().
    MidiInstrumentId instrumentId(int index) const;
    // 0; with a worker -1 when the bank lacks the instrument.
    int indexOfInstrument(const MidiInstrumentId &id) const;
    // Empty.
    QString instrumentName(int index) const;
    // MidiInstrumentId(); channels count from 0, channel 9 plays drums.
    MidiInstrumentId instrumentOfChannel(int channel) const;
    void setInstrumentOfChannel(int channel, const MidiInstrumentId &instrument);
    // "jack", "pulseaudio", "alsa" or "none"; empty.
    QString audioDriver() const;

Q_SIGNALS:
    // A program change or control change played on the channel, or the
    // channel set: the instrument the engine plays there now.
    void instrumentChanged(int channel, MidiInstrumentId instrument);
    // Another sound bank was loaded, or none; also once ready.
    void soundBankChanged();

protected:
    void run() override;

private:
    struct Shared;

    template <class T, class F> T withWorker(const T &empty, F &&fn) const;

    const QString m_configuredSoundBank;
    // Shared with the port and the input's connection, which may still be
    // in use on another thread as this object goes.
    const std::shared_ptr<Shared> m_shared;
};
