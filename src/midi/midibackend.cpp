#include "midibackend.h"

#include "midiportlister.h"

#include <QCoreApplication>
#include <QThread>
#include <QtGlobal>

#include <alsa/asoundlib.h>
#include <cstdarg>
#include <cstdio>
#include <jack/jack.h>
#include <type_traits>

Q_LOGGING_CATEGORY(lcLudraMidi, "ludra.midi", QtWarningMsg)

namespace {

// Several periods of any usual JACK server; a cycle that began before the
// port was closed has ended by then.
constexpr unsigned long JackCycleGraceMs = 50;

void logJackMessage(const char *message)
{
    qCInfo(lcLudraMidi, "JACK: %s", message);
}

void logAlsaMessage(const char *file, int line, const char *function, int err, const char *fmt, ...)
{
    char text[256];
    va_list arguments;
    va_start(arguments, fmt);
    std::vsnprintf(text, sizeof text, fmt, arguments);
    va_end(arguments);
    qCInfo(lcLudraMidi, "ALSA: %s:%d (%s) %s (%d)", file, line, function, text, err);
}

bool alsaSequencerOpens()
{
    snd_lib_error_set_handler(&logAlsaMessage);
    snd_seq_t *sequencer = nullptr;
    const bool opens = snd_seq_open(&sequencer, "default", SND_SEQ_OPEN_DUPLEX, 0) == 0;
    if (opens)
        snd_seq_close(sequencer);
    snd_lib_error_set_handler(nullptr);
    return opens;
}

// The library's JACK ports would announce a missing server on the standard
// error before their error callback could be installed: a silent probe comes
// first.
bool jackServerAnswers()
{
    // JACK names a client's socket by client name and user only: the process
    // id keeps two processes probing at once apart.
    static const QByteArray name = QByteArrayLiteral("Ludra MIDI probe ") +
                                   QByteArray::number(QCoreApplication::applicationPid());
    jack_client_t *client = jack_client_open(name.constData(), JackNoStartServer, nullptr);
    if (!client)
        return false;
    jack_client_close(client);
    return true;
}

RtMidi::Api chooseApi()
{
    // libjack reports to the standard error unless told otherwise.
    jack_set_error_function(&logJackMessage);
    jack_set_info_function(&logJackMessage);

    const QByteArray forced = qgetenv("LUDRA_MIDI_API").toLower();
    if (forced == "alsa")
        return alsaSequencerOpens() ? RtMidi::LINUX_ALSA : RtMidi::UNSPECIFIED;
    if (forced == "jack")
        return RtMidi::UNIX_JACK;
    if (alsaSequencerOpens())
        return RtMidi::LINUX_ALSA;
    if (jackServerAnswers())
        return RtMidi::UNIX_JACK;
    qCInfo(lcLudraMidi, "no MIDI service answers; MIDI is off");
    return RtMidi::UNSPECIFIED;
}

void onLibraryError(RtMidiError::Type type, const std::string &text, void *userData)
{
    qCInfo(lcLudraMidi, "%s", text.c_str());
    if (type != RtMidiError::DEBUG_WARNING && userData)
        static_cast<std::atomic<bool> *>(userData)->store(true);
}

} // namespace

RtMidi::Api MidiBackend::api()
{
    static const RtMidi::Api chosen = chooseApi();
    return chosen;
}

template <class T>
std::unique_ptr<T> MidiBackend::create(const QString &clientName, std::atomic<bool> *errorFlag)
{
    const RtMidi::Api chosen = api();
    if (chosen == RtMidi::UNSPECIFIED)
        return nullptr;
    if (chosen == RtMidi::UNIX_JACK && !jackServerAnswers())
        return nullptr;
    try {
        auto port = std::make_unique<T>(chosen, clientName.toStdString());
        port->setErrorCallback(&onLibraryError, errorFlag);
        return port;
    } catch (const RtMidiError &error) {
        qCInfo(lcLudraMidi, "%s", error.what());
        return nullptr;
    }
}

template <class T> QSet<QString> MidiBackend::portNames()
{
    if constexpr (std::is_same_v<T, RtMidiIn>)
        return MidiPortLister::inputPortNames();
    else
        return MidiPortLister::outputPortNames();
}

template <class T> bool MidiBackend::destroy(std::unique_ptr<T> port, std::atomic<bool> *errorFlag)
{
    if (!port)
        return true;
    bool ok = true;
    const bool hadPort = port->isPortOpen();
    try {
        port->closePort();
    } catch (const RtMidiError &error) {
        qCInfo(lcLudraMidi, "%s", error.what());
        ok = false;
    }
    if (errorFlag && errorFlag->load())
        ok = false;
    // The library's JACK output counts as open from the moment openPort()
    // registered its JACK port, even when connecting it then failed. Without
    // a registered port its process cycle returns before it reads the buffer,
    // so a port list or an open that failed to register needs no wait. A
    // virtual port registers one without counting as open: none is opened
    // here, and every port object that opened a port ends in this function.
    if (std::is_same_v<T, RtMidiOut> && hadPort && api() == RtMidi::UNIX_JACK)
        QThread::msleep(JackCycleGraceMs);
    port.reset();
    return ok;
}

template std::unique_ptr<RtMidiIn> MidiBackend::create<RtMidiIn>(const QString &,
                                                                 std::atomic<bool> *);
template std::unique_ptr<RtMidiOut> MidiBackend::create<RtMidiOut>(const QString &,
                                                                   std::atomic<bool> *);
template bool MidiBackend::destroy<RtMidiIn>(std::unique_ptr<RtMidiIn>, std::atomic<bool> *);
template bool MidiBackend::destroy<RtMidiOut>(std::unique_ptr<RtMidiOut>, std::atomic<bool> *);
template QSet<QString> MidiBackend::portNames<RtMidiIn>();
template QSet<QString> MidiBackend::portNames<RtMidiOut>();
