#include "jackserver.h"
#include "networkdocument.h"

#include <QCoreApplication>
#include <QMutex>
#include <QTest>

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <atomic>
#include <memory>

namespace {

// Another program on the JACK server: a MIDI clock source at 100 beats a
// minute whose pulses leave at exact frames, and a listener that notes the
// frame at which each note on reaches it. Everything it hears is timed in the
// same frames as what it sends.
class ClockSource
{
public:
    struct Note
    {
        qint64 frame = 0;
        int pitch = 0;
    };

    ClockSource()
        : m_client(QStringLiteral("ludra-test-clock-%1").arg(QCoreApplication::applicationPid()))
    {
        m_jack = jack_client_open(m_client.toUtf8().constData(),
                                  JackOptions(JackNoStartServer | JackUseExactName), nullptr);
        if (!m_jack)
            return;
        // 24 pulses a beat at 100 beats a minute.
        m_pulseFrames = qint64(jack_get_sample_rate(m_jack)) * 60 / (100 * 24);
        m_out = jack_port_register(m_jack, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        m_in = jack_port_register(m_jack, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(m_jack, &ClockSource::process, this);
        jack_set_port_connect_callback(m_jack, &ClockSource::connected, this);
        jack_activate(m_jack);
    }
    ~ClockSource()
    {
        if (!m_jack)
            return;
        jack_deactivate(m_jack);
        jack_client_close(m_jack);
    }
    ClockSource(const ClockSource &) = delete;
    ClockSource &operator=(const ClockSource &) = delete;

    bool isOpen() const { return m_jack != nullptr; }
    QString outputName() const { return m_client + QStringLiteral(":out"); }
    QString inputName() const { return m_client + QStringLiteral(":in"); }
    bool bothConnected() const
    {
        return jack_port_connected(m_out) > 0 && jack_port_connected(m_in) > 0;
    }
    // How many other ports ever connected to the input.
    int connectionsToInput() const { return m_connections.load(); }
    qint64 pulseFrames() const { return m_pulseFrames; }

    // Sends start, and a first pulse a pulse later.
    void start() { m_startRequested = true; }
    QList<qint64> pulses() const
    {
        QMutexLocker locker(&m_mutex);
        return QList<qint64>(m_pulses.cbegin(), m_pulses.cend());
    }
    QList<Note> notes() const
    {
        QMutexLocker locker(&m_mutex);
        return QList<Note>(m_notes.cbegin(), m_notes.cend());
    }

private:
    // On the client's process thread, once per cycle.
    static int process(jack_nframes_t frames, void *userData)
    {
        auto *self = static_cast<ClockSource *>(userData);
        const qint64 cycleStart = jack_last_frame_time(self->m_jack);
        void *out = jack_port_get_buffer(self->m_out, frames);
        jack_midi_clear_buffer(out);
        if (self->m_startRequested && !self->m_running) {
            const jack_midi_data_t start = 0xFA;
            jack_midi_event_write(out, 0, &start, 1);
            self->m_running = true;
            self->m_nextPulse = cycleStart + self->m_pulseFrames;
        }
        while (self->m_running && self->m_nextPulse < cycleStart + frames) {
            const jack_midi_data_t pulse = 0xF8;
            jack_midi_event_write(out, jack_nframes_t(self->m_nextPulse - cycleStart), &pulse, 1);
            QMutexLocker locker(&self->m_mutex);
            self->m_pulses.append(self->m_nextPulse);
            self->m_nextPulse += self->m_pulseFrames;
        }

        void *in = jack_port_get_buffer(self->m_in, frames);
        const jack_nframes_t count = jack_midi_get_event_count(in);
        for (jack_nframes_t i = 0; i < count; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, in, i) != 0 || event.size != 3)
                continue;
            if ((event.buffer[0] & 0xF0) == 0x90 && event.buffer[2] > 0) {
                QMutexLocker locker(&self->m_mutex);
                self->m_notes.append({cycleStart + event.time, event.buffer[1]});
            }
        }
        return 0;
    }

    // On a thread of the JACK library, for every connection made or broken.
    static void connected(jack_port_id_t a, jack_port_id_t b, int connect, void *userData)
    {
        auto *self = static_cast<ClockSource *>(userData);
        if (connect && (jack_port_by_id(self->m_jack, a) == self->m_in ||
                        jack_port_by_id(self->m_jack, b) == self->m_in))
            ++self->m_connections;
    }

    QString m_client;
    jack_client_t *m_jack = nullptr;
    jack_port_t *m_out = nullptr;
    jack_port_t *m_in = nullptr;
    qint64 m_pulseFrames = 0;
    std::atomic<bool> m_startRequested{false};
    // Used on the process thread only.
    bool m_running = false;
    qint64 m_nextPulse = 0;
    std::atomic<int> m_connections{0};
    mutable QMutex m_mutex;
    QList<qint64> m_pulses;
    QList<Note> m_notes;
};

} // namespace

class TestFollowingMidiClock : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void notesLandOnTheSendersBeats();

private:
    std::unique_ptr<JackServer> m_server;
};

void TestFollowingMidiClock::initTestCase()
{
    QString error;
    QVERIFY2(JackServer::startIfInstalled(&m_server, &error), qPrintable(error));
}

// A document at tempo 60 follows a clock source at 100 beats a minute over
// JACK: its loop plays a note on every beat, and each note reaches the
// source about when the source sends the pulse of that beat, not a fraction
// of a beat later. Its instrument's port stays connected throughout.
void TestFollowingMidiClock::notesLandOnTheSendersBeats()
{
    REQUIRE_JACK(m_server);
    ClockSource source;
    QVERIFY(source.isOpen());

    NetworkDocument doc{QmdLudraPlaybackServices()};
    QVERIFY(doc.setRoot("Tempo", 60u));
    const QmdItemId instrument =
        doc.instrumentOn(doc.channels({0}), {{"MidiPort", source.inputName()}});
    const QmdItemId a = doc.node(0, 0, {{"PitchList", "C3"}});
    const QmdItemId b = doc.node(1, 0, {{"PitchList", "D3"}});
    doc.edge(a, b);
    doc.edge(b, a);
    doc.group(a, {{"InitialInstrument", instrument}});
    QmdLudraController &c = doc.controller;
    const QmdIndex inputs = c.syncMidiInputsIndex();
    QVERIFY(doc.run(c.requestSetTypeIfInvalid(source.outputName(), Qmd::StrDict, inputs)));
    QVERIFY(doc.run(c.requestSetData("MidiSync", true, c.index(source.outputName(), inputs))));
    QTRY_VERIFY_WITH_TIMEOUT(source.bothConnected(), 30000);
    // A connection takes effect at a later cycle of the server.
    QTest::qWait(200);

    source.start();
    const int beats = 6;
    QTRY_VERIFY_WITH_TIMEOUT(source.pulses().size() > 24 * beats + 12, 60000);
    const QList<qint64> pulses = source.pulses();
    const QList<ClockSource::Note> notes = source.notes();
    QVERIFY2(notes.size() > beats, qPrintable(QString::number(notes.size())));

    // Note k belongs to beat k, whose pulse is pulse 24 k.
    QList<qint64> lateness;
    for (int k = 0; k <= beats; ++k) {
        QCOMPARE(notes.at(k).pitch, k % 2 ? 62 : 60);
        lateness.append(notes.at(k).frame - pulses.at(24 * k));
    }
    std::sort(lateness.begin(), lateness.end());
    const qint64 median = lateness.at(lateness.size() / 2);
    // Within half a pulse; a whole JACK period late at most is the usual.
    QVERIFY2(qAbs(median) < source.pulseFrames() / 2,
             qPrintable(QStringLiteral("median lateness %1 frames").arg(median)));
    QCOMPARE(source.connectionsToInput(), 1);
}

QTEST_GUILESS_MAIN(TestFollowingMidiClock)
#include "tst_followingmidiclock.moc"
