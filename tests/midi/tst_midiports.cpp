#include "jackserver.h"
#include "manualclock.h"
#include "midiinput.h"
#include "midiinstrument.h"
#include "midioutputsyncclock.h"
#include "midisync.h"
#include "networkdocument.h"

#include <QBitArray>
#include <QMutex>
#include <QTest>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <set>

#include <jack/jack.h>
#include <jack/midiport.h>

using Bytes = QList<QByteArray>;
using Values = QHash<QString, QVariant>;

Q_DECLARE_METATYPE(Values)

namespace {

QString uniqueClientName(const char *role)
{
    static std::atomic<int> serial{0};
    return QStringLiteral("ludra-test-%1-%2-%3")
        .arg(QLatin1String(role))
        .arg(QCoreApplication::applicationPid())
        .arg(++serial);
}

// JACK makes a new connection effective only at a later process cycle, so
// what is sent just after connecting may be lost. Sends a probe until one
// arrives, then a fence, and returns once the fence has arrived: from then on
// nothing sent is lost, and nothing sent before is still on its way.
// `received` returns the messages that arrived since its previous call.
bool awaitSent(const std::function<void(const QByteArray &)> &send,
               const std::function<QList<QByteArray>()> &received)
{
    const QByteArray probe("\x8F\x7F\x00", 3);
    const QByteArray fence("\x8F\x7F\x7F", 3);
    bool arrived = false;
    for (int attempt = 0; attempt < 150 && !arrived; ++attempt) {
        send(probe);
        arrived = QTest::qWaitFor([&] { return !received().isEmpty(); }, 200);
    }
    if (!arrived)
        return false;
    send(fence);
    return QTest::qWaitFor([&] { return received().contains(fence); }, 30000);
}

// A virtual input port, which the ports under test send to by its name, and
// a virtual output port, which they read from. It is a plain JACK client
// rather than library ports: the library unregisters its port while the
// client is still active, which races inside libjack with the client's own
// process cycle and now and then crashes it. Deactivating first ends the
// cycles before anything is torn down.
class VirtualMidiSink
{
public:
    // The role becomes part of the port's name.
    explicit VirtualMidiSink(const char *role = "sink") : m_client(uniqueClientName(role))
    {
        m_jack = jack_client_open(m_client.toUtf8().constData(),
                                  JackOptions(JackNoStartServer | JackUseExactName), nullptr);
        if (!m_jack)
            return;
        m_port = jack_port_register(m_jack, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        m_out = jack_port_register(m_jack, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        jack_set_process_callback(m_jack, &VirtualMidiSink::process, this);
        jack_activate(m_jack);
    }
    ~VirtualMidiSink()
    {
        if (!m_jack)
            return;
        jack_deactivate(m_jack);
        jack_client_close(m_jack);
    }
    VirtualMidiSink(const VirtualMidiSink &) = delete;
    VirtualMidiSink &operator=(const VirtualMidiSink &) = delete;

    // The name under which output ports list it.
    QString portName() const { return m_client + QStringLiteral(":in"); }
    // The name under which input ports list it.
    QString sourceName() const { return m_client + QStringLiteral(":out"); }
    // Sent at the next cycle.
    void send(const QByteArray &message)
    {
        QMutexLocker locker(&m_mutex);
        m_outgoing.append(message);
    }

    QList<QByteArray> messages() const
    {
        QMutexLocker locker(&m_mutex);
        return m_messages;
    }
    int count() const
    {
        QMutexLocker locker(&m_mutex);
        return int(m_messages.size());
    }
    QList<QByteArray> takeAll()
    {
        QMutexLocker locker(&m_mutex);
        return std::exchange(m_messages, QList<QByteArray>());
    }

    // Waits until what `send` sends reaches this sink; empties it.
    bool awaitConnection(const std::function<void(const QByteArray &)> &send)
    {
        return awaitSent(send, [this] { return takeAll(); });
    }

private:
    // On the client's process thread, once per cycle.
    static int process(jack_nframes_t frames, void *userData)
    {
        auto *sink = static_cast<VirtualMidiSink *>(userData);
        void *out = jack_port_get_buffer(sink->m_out, frames);
        jack_midi_clear_buffer(out);
        {
            QMutexLocker locker(&sink->m_mutex);
            for (const QByteArray &message : std::exchange(sink->m_outgoing, {}))
                jack_midi_event_write(out, 0, reinterpret_cast<const uchar *>(message.data()),
                                      size_t(message.size()));
        }
        void *buffer = jack_port_get_buffer(sink->m_port, frames);
        const jack_nframes_t count = jack_midi_get_event_count(buffer);
        for (jack_nframes_t i = 0; i < count; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, i) != 0)
                continue;
            QMutexLocker locker(&sink->m_mutex);
            sink->m_messages.append(
                QByteArray(reinterpret_cast<const char *>(event.buffer), qsizetype(event.size)));
        }
        return 0;
    }

    QString m_client;
    mutable QMutex m_mutex;
    QList<QByteArray> m_messages;
    QList<QByteArray> m_outgoing;
    jack_client_t *m_jack = nullptr;
    jack_port_t *m_port = nullptr;
    jack_port_t *m_out = nullptr;
};

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray result;
    for (int value : values)
        result.append(char(value));
    return result;
}

QBitArray channels(std::initializer_list<int> enabled)
{
    QBitArray bits(16);
    for (int c : enabled)
        bits.setBit(c);
    return bits;
}

const QByteArray Fence = bytes({0xF0, 0x7D, 0x66, 0xF7});

// Adds a record to "Instruments" holding the values, as one undo step, the
// way a pasted or loaded record arrives: the instrument is made with them.
QmdItemId addInstrumentRecord(QmdLudraController &controller, const Values &values)
{
    const QmdIndex instruments = controller.instrumentsIndex();
    const QmdItemIdList before = controller.ids(instruments);
    const QmdRequestId rid =
        controller.requestAddType(Qmd::StrDict, instruments, QStringLiteral("Add"));
    for (QmdItemId id : controller.ids(instruments)) {
        if (!before.contains(id)) {
            controller.requestSetData(values, controller.index(id, instruments),
                                      QmdRequestOptions(0, QStringLiteral("Add"), rid));
            return id;
        }
    }
    return 0;
}

// The MIDI instrument that the playback of a document makes for a record,
// following its timing source on a clock that moves only when the test moves
// it. The playback hands the instrument the record's values and writes back
// what the instrument says of its port.
struct Rig
{
    explicit Rig(const Values &values, QmdLudraPlaybackServices services = {})
    {
        services.clock = &clock;
        document = std::make_unique<NetworkDocument>(services);
        sync()->setRunning(true);
        id = addInstrumentRecord(document->controller, values);
        QCoreApplication::processEvents();
        instrument = qobject_cast<MidiInstrument *>(document->controller.playback().instrument(id));
    }
    AbstractSync *sync() const { return document->controller.playback().timingSource(); }
    void set(const QString &key, const QVariant &value)
    {
        QmdLudraController &controller = document->controller;
        controller.requestSetData(key, value, controller.index(id, controller.instrumentsIndex()));
    }
    // Waits until what the instrument's port sends reaches the sink; empties it.
    bool connect(VirtualMidiSink &sink)
    {
        MidiInstrument *port = instrument;
        return sink.awaitConnection([port](const QByteArray &message) { port->sendRaw(message); });
    }

    ManualClock clock;
    std::unique_ptr<NetworkDocument> document;
    QmdItemId id = 0;
    MidiInstrument *instrument = nullptr;
};

// Keeps what it sends, in order, instead of sending it. Once armed, the
// first send of its output thread that carries a note on is held until
// another thread has sent something, or for a second at most: a silencing
// that does not wait for the send under way then goes out first, as it can
// when the two threads race.
class HeldSendInstrument : public MidiInstrument
{
public:
    using MidiInstrument::MidiInstrument;
    ~HeldSendInstrument() override
    {
        terminateSafely();
        waitForExit();
    }

    // Forgets what was sent and holds the next note on.
    void arm()
    {
        const std::lock_guard locker(m_mutex);
        m_armed = true;
        m_othersSent = false;
        m_sent.clear();
    }
    bool isHolding() const
    {
        const std::lock_guard locker(m_mutex);
        return m_holding;
    }
    Bytes sent() const
    {
        const std::lock_guard locker(m_mutex);
        return m_sent;
    }

protected:
    bool sendMessages(const Bytes &messages) override
    {
        std::unique_lock locker(m_mutex);
        const bool ownThread = QThread::currentThread() == this;
        const bool noteOn = std::any_of(messages.cbegin(), messages.cend(), [](const auto &bytes) {
            return (quint8(bytes.at(0)) & 0xF0) == 0x90;
        });
        if (ownThread && m_armed && noteOn) {
            m_armed = false;
            m_holding = true;
            m_othersSent = false;
            m_changed.wait_for(locker, std::chrono::seconds(1), [this] { return m_othersSent; });
            m_holding = false;
        } else if (!ownThread) {
            m_othersSent = true;
            m_changed.notify_all();
        }
        m_sent += messages;
        return true;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_armed = false;
    bool m_holding = false;
    bool m_othersSent = false;
    Bytes m_sent;
};

// The notes that messages leave sounding, as channel and note.
std::set<std::pair<int, int>> soundingAfter(const Bytes &messages)
{
    std::set<std::pair<int, int>> sounding;
    for (const QByteArray &message : messages) {
        const int status = quint8(message.at(0)) & 0xF0;
        const int channel = quint8(message.at(0)) & 0x0F;
        if (status == 0x90 && quint8(message.at(2)) > 0) {
            sounding.insert({channel, message.at(1)});
        } else if (status == 0x80 || status == 0x90) {
            sounding.erase({channel, message.at(1)});
        } else if (status == 0xB0 && message.at(1) == 123) {
            std::erase_if(sounding, [channel](const auto &note) { return note.first == channel; });
        }
    }
    return sounding;
}

// 27720 beat ticks at tempo 120, rounded up to whole nanoseconds.
constexpr qint64 PulseNs = 20833334;

const QByteArray clockPulse("\xF8", 1);
const QByteArray start("\xFA", 1);
const QByteArray stop("\xFC", 1);
const QByteArray songPositionZero("\xF2\x00\x00", 3);

Bytes pulses(int count)
{
    return Bytes(count, clockPulse);
}

// Makes the output call available without running the thread.
class ManualSyncClock : public MidiOutputSyncClock
{
public:
    using MidiOutputSyncClock::MidiOutputSyncClock;
    using MidiOutputSyncClock::output;
};

bool openAndConnect(MidiOutputSyncClock &sender, VirtualMidiSink &sink)
{
    return sender.open(sink.portName()) &&
           sink.awaitConnection([&sender](const QByteArray &bytes) { sender.sendRaw(bytes); });
}

} // namespace

class TestMidiPorts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void encode();
    void silencingFollowsTheSendUnderWay_data();
    void silencingFollowsTheSendUnderWay();
    void leavingAPortSilencesIt();
    void resetRewindsTheSongPosition();
    void syncInputMeasuresTheTempo();

private:
    std::unique_ptr<JackServer> m_server;
};

void TestMidiPorts::initTestCase()
{
    QString error;
    QVERIFY2(JackServer::startIfInstalled(&m_server, &error), qPrintable(error));
}

// One message a channel, channels ascending; a user message once; data
// bytes above 127 would read as status bytes.
void TestMidiPorts::encode()
{
    const auto encode = [](const InstrumentEvent &event, std::initializer_list<int> enabled) {
        return MidiOutput::encode({event}, MidiOutput::channelBits(channels(enabled)));
    };
    QCOMPARE(encode(InstrumentEvent::noteOff(0, 61, 0), {15, 3, 1}),
             (Bytes{bytes({0x81, 61, 0}), bytes({0x83, 61, 0}), bytes({0x8F, 61, 0})}));
    QCOMPARE(encode(InstrumentEvent::userMessage(0, bytes({0xF0, 1, 0xF7})), {0, 1}),
             Bytes{bytes({0xF0, 1, 0xF7})});
    QCOMPARE(encode(InstrumentEvent::noteOn(0, 200, 231), {0}), Bytes{bytes({0x90, 127, 127})});
}

void TestMidiPorts::silencingFollowsTheSendUnderWay_data()
{
    QTest::addColumn<QString>("action");

    QTest::newRow("pause") << "pause";
    QTest::newRow("channels change") << "channels";
    QTest::newRow("reset, as going to the start does") << "reset";
    QTest::newRow("port change") << "port";
}

void TestMidiPorts::silencingFollowsTheSendUnderWay()
{
    QFETCH(QString, action);
    if (action == "port")
        REQUIRE_JACK(m_server);

    QmdLudraPlaybackServices held;
    held.makeInstrument = [](const QString &, QmdItemId id) { return new HeldSendInstrument(id); };
    Rig rig({{"MidiChannels", channels({0})}}, held);
    auto &instrument = *static_cast<HeldSendInstrument *>(rig.instrument);

    // A note due now, whose note off is far off.
    const qint64 now = rig.sync()->tickPosition();
    QVERIFY(instrument.enqueueNotePair(InstrumentEvent::noteOn(now, 60, 100),
                                       InstrumentEvent::noteOff(now + 1000000000, 60, 0)));
    instrument.arm();
    instrument.play();
    QTRY_VERIFY_WITH_TIMEOUT(instrument.isHolding(), 30000);

    // The output thread is inside its send of the note on.
    if (action == "pause") {
        instrument.pauseAndWait();
    } else if (action == "reset") {
        instrument.reset();
    } else if (action == "port") {
        // Made only now, so that it is not the port the instrument is on.
        VirtualMidiSink next("next");
        rig.set("MidiPort", next.portName());
        QTRY_COMPARE_WITH_TIMEOUT(instrument.portName(), next.portName(), 30000);
    } else {
        rig.set("MidiChannels", channels({4}));
        QTRY_COMPARE_WITH_TIMEOUT(instrument.channels(), channels({4}), 30000);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!instrument.isHolding(), 30000);

    const Bytes sent = instrument.sent();
    QVERIFY2(sent.contains(bytes({0x90, 60, 100})), "the held note on was sent");
    QCOMPARE(soundingAfter(sent), (std::set<std::pair<int, int>>{}));
}

// An instrument deleted while its note sounds silences the port it leaves.
void TestMidiPorts::leavingAPortSilencesIt()
{
    REQUIRE_JACK(m_server);
    VirtualMidiSink left("left");
    Rig rig({{"MidiPort", left.portName()}, {"MidiChannels", channels({0, 5})}});
    QVERIFY(rig.connect(left));
    // Another user of the port left: it keeps the library port open once the
    // instrument is gone, so that its fence follows what the instrument sent.
    MidiOutput witness;
    QVERIFY(witness.open(left.portName()));

    // A note that sounds, with its note off far off.
    const qint64 now = rig.sync()->tickPosition();
    QVERIFY(rig.instrument->enqueueNotePair(InstrumentEvent::noteOn(now, 60, 100),
                                            InstrumentEvent::noteOff(now + 1000000000, 60, 0)));
    rig.instrument->play();
    QVERIFY(QTest::qWaitFor([&] { return left.count() >= 2; }, 30000));

    QmdLudraController &controller = rig.document->controller;
    QVERIFY(rig.document->run(controller.requestRemove(rig.id, controller.instrumentsIndex())));

    QVERIFY(witness.sendRaw(Fence));
    QVERIFY(QTest::qWaitFor([&] { return left.messages().contains(Fence); }, 30000));
    Bytes received = left.takeAll();
    received.removeAll(Fence);
    QCOMPARE(received, Bytes({bytes({0x90, 60, 100}), bytes({0x95, 60, 100}), bytes({0xB0, 123, 0}),
                              bytes({0xB5, 123, 0})}));
}

void TestMidiPorts::resetRewindsTheSongPosition()
{
    REQUIRE_JACK(m_server);
    VirtualMidiSink sink;
    ManualClock clock;
    MidiSync sync(&clock);
    ManualSyncClock sender(&sync);
    QVERIFY(openAndConnect(sender, sink));
    sync.setRunning(true);
    sender.play();
    clock.advance(4 * PulseNs);
    sender.output();
    QCOMPARE(sender.pulsesSent(), 4);

    sender.reset();
    QCOMPARE(sender.pulsesSent(), 0);
    sender.prepareClock();
    const Bytes expected = pulses(4) + Bytes{songPositionZero, start};
    QTRY_COMPARE_WITH_TIMEOUT(sink.count(), int(expected.size()), 30000);
    QCOMPARE(sink.messages(), expected);
}

// A sync input stamps each message with the clock of its timing source as it
// arrives: pulses sent at exact times of a manual clock measure exactly.
void TestMidiPorts::syncInputMeasuresTheTempo()
{
    REQUIRE_JACK(m_server);
    VirtualMidiSink source("source");
    ManualClock clock;
    MidiSync sync(&clock);
    sync.setSyncPorts({source.sourceName()}, {});
    // A second input on the same port sees each message once the sync has it.
    MidiInput watcher;
    watcher.setIgnoreFlags(MidiInput::IgnoreSysex | MidiInput::IgnoreActiveSensing);
    QVERIFY(watcher.open(source.sourceName()));
    const auto arrived = [&watcher] {
        Bytes received;
        for (const MidiMessage &message : watcher.takeAll())
            received.append(message.bytes);
        return received;
    };
    const auto send = [&source](const QByteArray &message) { source.send(message); };
    QVERIFY(awaitSent(send, arrived));
    const auto sendAndWait = [&](const QByteArray &message) {
        send(message);
        return QTest::qWaitFor([&] { return arrived().contains(message); }, 30000);
    };

    QVERIFY(sendAndWait(start));
    QVERIFY(!sync.isRunning());
    const qint64 t0 = clock.nowNs();
    for (int pulse = 0; pulse <= 100; ++pulse) {
        clock.set(t0 + pulse * PulseNs);
        QVERIFY(sendAndWait(clockPulse));
    }
    QVERIFY(sync.isRunning());
    QCOMPARE(sync.tempo(), 120u);
    QCOMPARE(sync.songPositionTarget(), 100 * 27720);
    QVERIFY(sendAndWait(stop));
    QVERIFY(!sync.isRunning());
}

QTEST_GUILESS_MAIN(TestMidiPorts)
#include "tst_midiports.moc"
