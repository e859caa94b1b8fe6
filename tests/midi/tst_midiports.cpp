#include "jackserver.h"
#include "manualclock.h"
#include "midiinput.h"
#include "midiinstrument.h"
#include "midioutputsyncclock.h"
#include "midisync.h"
#include "networkdocument.h"
#include "virtualmidiports.h"

#include <QBitArray>
#include <QTest>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>

using Bytes = QList<QByteArray>;
using Values = QHash<QString, QVariant>;

Q_DECLARE_METATYPE(Values)

namespace {

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
    VirtualMidiSource source;
    ManualClock clock;
    MidiSync sync(&clock);
    sync.setSyncPorts({source.portName()}, {});
    // A second input on the same port sees each message once the sync has it.
    MidiInput watcher;
    watcher.setIgnoreFlags(MidiInput::IgnoreSysex | MidiInput::IgnoreActiveSensing);
    QVERIFY(watcher.open(source.portName()));
    const auto arrived = [&watcher] {
        Bytes received;
        for (const MidiMessage &message : watcher.takeAll())
            received.append(message.bytes);
        return received;
    };
    QVERIFY(source.awaitConnection(arrived));
    const auto sendAndWait = [&](const QByteArray &message) {
        source.send(message);
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
