#include "playcommand.h"

#include "consoleinstrument.h"
#include "debuginstrument.h"
#include "midioutput.h"
#include "midisynth.h"
#include "qmdludracontroller.h"
#include "qmdludraplayback.h"
#include "qmdmemmodel.h"
#include "soundbanklocator.h"
#include "stopsignals.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QSettings>
#include <QTimer>

#include <cmath>
#include <memory>

namespace {

// How often the command looks whether the network fell silent or its time is
// up; a stop comes at most this late, and the instruments keep time on their
// own threads meanwhile.
constexpr int PollIntervalMs = 20;

// Playback whose every instrument prints its notes, one line each, whatever
// type its record names; "debug" instruments keep their own format. The
// document itself is left as it is.
QmdLudraPlaybackServices consoleServices()
{
    QmdLudraPlaybackServices services;
    services.makeInstrument = [](const QString &type, QmdItemId id) -> AbstractInstrument * {
        if (type.toLower() == DebugInstrument::staticTypeName())
            return new DebugInstrument(id);
        return new ConsoleInstrument(id);
    };
    return services;
}

QString tr(const char *text)
{
    return QCoreApplication::translate("PlayCommand", text);
}

// Why the synthesizer cannot sound; empty when it can.
QString silenceReason(const MidiSynth &synth)
{
    if (synth.instrumentCount() == 0)
        return tr("no sound bank");
    if (synth.audioDriver() == QLatin1String("none"))
        return tr("no audio output (JACK, PulseAudio or ALSA)");
    return QString();
}

// Points every instrument that plays on a MIDI port at the synthesizer, in
// the loaded document only, and waits until they have followed.
void playAllOnSynth(QmdLudraController &controller)
{
    QEventLoop loop;
    QmdRequestId last = 0;
    QList<QmdRequestId> finished;
    QObject::connect(&controller, &QmdController::requestFinished, &loop,
                     [&](QmdRequestId done, int) {
                         finished.append(done);
                         if (done == last)
                             loop.quit();
                     });
    const QmdIndex instruments = controller.instrumentsIndex();
    for (QmdItemId id : controller.ids(instruments)) {
        const QmdIndex record = controller.index(id, instruments);
        const QString type =
            controller.data(controller.index(QStringLiteral("Type"), record)).toString().toLower();
        if (type == DebugInstrument::staticTypeName())
            continue;
        const QmdRequestId rid =
            controller.requestSetData(QStringLiteral("MidiPort"), MidiSynth::portName(), record,
                                      QmdRequestOptions(Qmd::NoUndo, QString()));
        if (rid != 0)
            last = rid;
    }
    // Requests finish in the order they were made.
    if (last != 0 && !finished.contains(last))
        loop.exec();
}

} // namespace

QString PlayCommand::name() const
{
    return QStringLiteral("play");
}

QString PlayCommand::summary() const
{
    return tr("Plays a document in real time, without a window.");
}

QString PlayCommand::synopsis() const
{
    return QStringLiteral("FILE.ldx [--seconds N] [--console | --synth]");
}

QString PlayCommand::helpEpilogue() const
{
    return tr("Playing stops when the network falls silent, after --seconds, or on Ctrl-C.\n"
              "Without --console the instruments play on their MIDI ports (the default\n"
              "port when none is set). The built-in synthesizer is the port \"Ludra Synth\";\n"
              "with no other MIDI output the instruments play on it, and a machine where it\n"
              "cannot sound either (no sound bank or no audio output) prints instead.\n"
              "\n"
              "--console prints a line a note: the time in seconds, the instrument, \"ch\"\n"
              "and its channels, on or off, the note's name and number, \"vel\" and the\n"
              "velocity. Instruments of type \"debug\" print five lines an event instead.\n"
              "\n"
              "Exit codes:\n"
              "  0  played until it stopped\n"
              "  2  bad arguments\n"
              "  3  the document cannot be read\n"
              "  5  (--synth) no sound bank can be loaded\n"
              "  6  (--synth) no audio output answers\n");
}

void PlayCommand::addOptions(QCommandLineParser &parser) const
{
    parser.addOption(
        {QStringLiteral("seconds"), tr("Stops after N seconds."), QStringLiteral("N")});
    parser.addOption({QStringLiteral("console"),
                      tr("Prints every note on the standard output instead of playing MIDI.")});
    parser.addOption({QStringLiteral("synth"),
                      tr("Plays every instrument on the built-in synthesizer's audio output.")});
    parser.addPositionalArgument(QStringLiteral("FILE.ldx"), tr("The document to play."));
}

int PlayCommand::execute(const QCommandLineParser &parser)
{
    const std::optional<QString> fileName = documentArgument(parser);
    std::optional<double> seconds;
    if (!fileName || !readLength(parser, QStringLiteral("seconds"), &seconds))
        return BadArguments;

    const bool toConsole = parser.isSet(QStringLiteral("console"));
    const bool toSynth = parser.isSet(QStringLiteral("synth"));
    if (toConsole && toSynth)
        return fail(BadArguments, tr("give --console or --synth, not both"));

    // The synthesizer's port must be listed before the document loads and
    // its instruments open their ports; it stays only when it can sound.
    std::unique_ptr<MidiSynth> synth;
    QString silence;
    if (!toConsole) {
        synth = std::make_unique<MidiSynth>(
            QSettings().value(SoundBankLocator::settingKey()).toString());
        synth->waitForReady();
        silence = silenceReason(*synth);
        if (toSynth && !silence.isEmpty())
            return fail(synth->instrumentCount() == 0 ? NoSoundBank : NoAudioOutput,
                        tr("the built-in synthesizer cannot sound: %1").arg(silence));
        if (!silence.isEmpty())
            synth.reset();
    }
    const bool noOutput = !toConsole && MidiOutput::outputPortNames().isEmpty();
    // The instruments are made when the document loads.
    QmdMemModel model;
    QmdLudraController controller;
    if (toConsole || noOutput)
        controller.setPlaybackServices(consoleServices());
    controller.setModel(&model);
    if (!loadDocument(controller, *fileName))
        return UnreadableDocument;
    if (noOutput)
        report(tr("this machine has no MIDI output, and the built-in synthesizer cannot sound: "
                  "%1; printing the notes instead")
                   .arg(silence));
    if (toSynth)
        playAllOnSynth(controller);

    // Ctrl-C and termination pause playback before the process ends, so
    // that no note is left sounding on a MIDI port.
    StopSignals stopSignals;
    const QDeadlineTimer deadline = seconds ? QDeadlineTimer(std::llround(*seconds * 1000))
                                            : QDeadlineTimer(QDeadlineTimer::Forever);
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(PollIntervalMs);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (deadline.hasExpired() || controller.isPlaybackSilent())
            loop.quit();
    });
    QObject::connect(&stopSignals, &StopSignals::received, &loop, &QEventLoop::quit);
    controller.requestPlay();
    poll.start();
    loop.exec();
    // Pausing silences what still sounds; the instruments' threads end with
    // the controller.
    controller.requestPause();
    return Success;
}
