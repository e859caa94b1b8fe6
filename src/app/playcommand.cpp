#include "playcommand.h"

#include "debuginstrument.h"
#include "midioutput.h"
#include "qmdludracontroller.h"
#include "qmdmemmodel.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <cmath>
#include <csignal>

namespace {

// How often the command looks whether to stop; a stop comes at most this
// late, and the instruments keep time on their own threads meanwhile.
constexpr int PollIntervalMs = 20;

// Set by the signal handler; the event loop polls it, since nothing but a
// lock-free atomic may be touched from a handler.
std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void requestStop(int)
{
    stopRequested = true;
}

// Ctrl-C and termination ask playback to stop, so that the instruments are
// paused (and MIDI notes silenced) before the process ends. A second signal
// gets the default action, in case stopping hangs. The previous actions come
// back when the play ends.
class StopSignals
{
public:
    StopSignals()
    {
        stopRequested = false;
        struct sigaction action = {};
        action.sa_handler = requestStop;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        sigaction(SIGINT, &action, &m_previousInt);
        sigaction(SIGTERM, &action, &m_previousTerm);
    }
    ~StopSignals()
    {
        sigaction(SIGINT, &m_previousInt, nullptr);
        sigaction(SIGTERM, &m_previousTerm, nullptr);
    }
    StopSignals(const StopSignals &) = delete;
    StopSignals &operator=(const StopSignals &) = delete;

private:
    struct sigaction m_previousInt = {};
    struct sigaction m_previousTerm = {};
};

// Makes every instrument of the document print its events, whatever type
// its record names; the document itself is left as it is.
class ConsoleInstruments
{
public:
    explicit ConsoleInstruments(bool enabled) : m_enabled(enabled)
    {
        if (m_enabled) {
            AbstractInstrument::setCreator([](const QString &, QmdItemId id, QObject *parent) {
                return new DebugInstrument(id, parent);
            });
        }
    }
    ~ConsoleInstruments()
    {
        if (m_enabled)
            AbstractInstrument::setCreator({});
    }
    ConsoleInstruments(const ConsoleInstruments &) = delete;
    ConsoleInstruments &operator=(const ConsoleInstruments &) = delete;

private:
    const bool m_enabled;
};

QString tr(const char *text)
{
    return QCoreApplication::translate("PlayCommand", text);
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
    return QStringLiteral("[options] FILE.ldx");
}

QString PlayCommand::helpEpilogue() const
{
    return tr("Playing stops when the network falls silent, after --seconds, or on Ctrl-C.\n"
              "Without --console the instruments play on their MIDI ports (the default\n"
              "port when none is set); a machine without any MIDI output prints instead.\n"
              "\n"
              "Exit codes:\n"
              "  0  played until it stopped\n"
              "  2  bad arguments\n"
              "  3  the document cannot be read\n");
}

void PlayCommand::addOptions(QCommandLineParser &parser) const
{
    parser.addOption(
        {QStringLiteral("seconds"), tr("Stops after N seconds."), QStringLiteral("N")});
    parser.addOption({QStringLiteral("console"),
                      tr("Prints every note on the standard output instead of playing MIDI.")});
    parser.addPositionalArgument(QStringLiteral("FILE.ldx"), tr("The document to play."));
}

int PlayCommand::execute(const QCommandLineParser &parser)
{
    const std::optional<QString> fileName = documentArgument(parser);
    std::optional<double> seconds;
    if (!fileName || !readLength(parser, QStringLiteral("seconds"), &seconds))
        return BadArguments;

    const bool noMidi =
        !parser.isSet(QStringLiteral("console")) && MidiOutput::outputPortNames().isEmpty();
    // The instruments are made when the document loads.
    const ConsoleInstruments console(parser.isSet(QStringLiteral("console")) || noMidi);
    QmdMemModel model;
    QmdLudraController controller;
    controller.setModel(&model);
    if (!loadDocument(controller, *fileName))
        return UnreadableDocument;
    if (noMidi)
        report(tr("this machine has no MIDI output; printing the notes instead"));

    const StopSignals stopSignals;
    const QDeadlineTimer deadline = seconds ? QDeadlineTimer(std::llround(*seconds * 1000))
                                            : QDeadlineTimer(QDeadlineTimer::Forever);
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(PollIntervalMs);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (stopRequested || deadline.hasExpired() || controller.isPlaybackSilent())
            loop.quit();
    });
    controller.requestPlay();
    poll.start();
    loop.exec();
    // Pausing silences what still sounds; the instruments' threads end with
    // the controller.
    controller.requestPause();
    return Success;
}
