// The built-in synthesizer on a private JACK server with the dummy driver:
// JACK is the audio output it takes when a server answers, and what it
// plays comes out of its JACK ports.

#include "jackserver.h"
#include "midioutput.h"
#include "midisynth.h"
#include "soundfontpresets.h"
#include "synthaudiooutput.h"

#include <QRegularExpression>
#include <QTest>

#include <jack/jack.h>

#include <algorithm>
#include <memory>
#include <mutex>

namespace {

// A JACK client with one audio input that keeps the energy (the sum of the
// squared samples) of every process cycle, in order.
class EnergySink
{
public:
    EnergySink()
    {
        m_jack = jack_client_open("ludra-test-energy", JackNoStartServer, nullptr);
        if (!m_jack)
            return;
        m_port = jack_port_register(m_jack, "in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(m_jack, &EnergySink::process, this);
        jack_activate(m_jack);
    }
    ~EnergySink()
    {
        if (!m_jack)
            return;
        jack_deactivate(m_jack);
        jack_client_close(m_jack);
    }
    EnergySink(const EnergySink &) = delete;
    EnergySink &operator=(const EnergySink &) = delete;

    bool isValid() const { return m_port != nullptr; }

    // Connects the first output port of the client whose name and port
    // name are given; false when there is none.
    bool connectFrom(const QString &client, const QString &port)
    {
        const QByteArray pattern =
            "^" + QRegularExpression::escape(client).toUtf8() + "(-[0-9]+)?:" + port.toUtf8() + "$";
        const char **ports =
            jack_get_ports(m_jack, pattern.constData(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
        if (!ports)
            return false;
        const bool connected = jack_connect(m_jack, ports[0], jack_port_name(m_port)) == 0;
        jack_free(ports);
        return connected;
    }

    QList<double> energies() const
    {
        const std::lock_guard locker(m_mutex);
        return m_energies;
    }
    qsizetype count() const
    {
        const std::lock_guard locker(m_mutex);
        return m_energies.size();
    }

private:
    static int process(jack_nframes_t frames, void *userData)
    {
        auto *sink = static_cast<EnergySink *>(userData);
        const auto *samples =
            static_cast<const float *>(jack_port_get_buffer(sink->m_port, frames));
        double energy = 0;
        for (jack_nframes_t i = 0; i < frames; ++i)
            energy += double(samples[i]) * samples[i];
        const std::lock_guard locker(sink->m_mutex);
        sink->m_energies.append(energy);
        return 0;
    }

    mutable std::mutex m_mutex;
    QList<double> m_energies;
    jack_client_t *m_jack = nullptr;
    jack_port_t *m_port = nullptr;
};

} // namespace

class TestMidiSynthJack : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void soundsAfterANoteOn();

private:
    std::unique_ptr<JackServer> m_server;
};

void TestMidiSynthJack::initTestCase()
{
    qunsetenv("LUDRA_AUDIO_DRIVER");
    QString error;
    QVERIFY2(JackServer::startIfInstalled(&m_server, &error), qPrintable(error));
}

void TestMidiSynthJack::soundsAfterANoteOn()
{
    REQUIRE_JACK(m_server);
    MidiSynth synth(timGM6mbFileName());
    QVERIFY(synth.waitForReady(QDeadlineTimer(60000)));
    QCOMPARE(synth.audioDriver(), QStringLiteral("jack"));
    EnergySink sink;
    QVERIFY(sink.isValid());
    QVERIFY(sink.connectFrom(SynthAudioOutput::jackClientName(), QStringLiteral("left")));

    // Some cycles of the connection first: nothing plays yet.
    const qsizetype connected = sink.count();
    QVERIFY(QTest::qWaitFor([&] { return sink.count() >= connected + 50; }, 60000));
    MidiOutput output;
    output.setChannels(QBitArray(16, true));
    QVERIFY(output.open(MidiSynth::portName()));
    const qsizetype before = sink.count();
    QVERIFY(output.sendEvents({InstrumentEvent::noteOn(0, 60, 127)}));
    QVERIFY(QTest::qWaitFor(
        [&] {
            const QList<double> energies = sink.energies();
            return std::any_of(energies.cbegin() + before, energies.cend(),
                               [](double energy) { return energy > 1e-6; });
        },
        60000));
    const QList<double> energies = sink.energies();
    QVERIFY(energies.size() > connected + 50);
    for (qsizetype i = connected; i < before; ++i)
        QCOMPARE(energies.at(i), 0.0);
}

QTEST_GUILESS_MAIN(TestMidiSynthJack)
#include "tst_midisynthjack.moc"
