#include "instrumentrecords.h"
#include "jackserver.h"
#include "manualclock.h"
#include "midiinstrument.h"
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
    QVariant value(const QString &key) const { return document->instrumentValue(id, key); }
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
    // Sends a fence through the port and returns what the sink received
    // before it: everything the instrument sent until now.
    Bytes receivedUntilFence(VirtualMidiSink &sink)
    {
        instrument->sendRaw(Fence);
        if (!QTest::qWaitFor([&] { return sink.messages().contains(Fence); }, 30000))
            return {bytes({-1})};
        Bytes received = sink.takeAll();
        received.removeAll(Fence);
        return received;
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

} // namespace

class TestMidiInstrument : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void defaultPortName_data();
    void defaultPortName();

    void portOfTheRecord_data();
    void portOfTheRecord();
    void sendsDueEventsAndNothingEarly();
    void changedChannelsApplyAtOnce();
    void programChangeWhenPlayingStarts_data();
    void programChangeWhenPlayingStarts();
    void pauseSilencesAndKeepsTheQueue();
    void silencingFollowsTheSendUnderWay_data();
    void silencingFollowsTheSendUnderWay();
    void leavingAPortSilencesIt_data();
    void leavingAPortSilencesIt();
    void sendFailure_data();
    void sendFailure();
    void failureWriteOutlivesItsParties_data();
    void failureWriteOutlivesItsParties();

private:
    std::unique_ptr<JackServer> m_server;
};

void TestMidiInstrument::initTestCase()
{
    QString error;
    QVERIFY2(JackServer::startIfInstalled(&m_server, &error), qPrintable(error));
}

void TestMidiInstrument::defaultPortName_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("expected");

    QTest::newRow("no ports") << QStringList() << "";
    QTest::newRow("a synth before the first name")
        << QStringList{"a:through", "FluidSynth:in"} << "FluidSynth:in";
    QTest::newRow("synth in any letter case")
        << QStringList{"a:through", "b:SYNTH", "c:port"} << "b:SYNTH";
    QTest::newRow("sorting is by character code")
        << QStringList{"b synth", "Zsynth", "a"} << "Zsynth";
}

void TestMidiInstrument::defaultPortName()
{
    QFETCH(QStringList, names);
    QFETCH(QString, expected);
    QCOMPARE(MidiOutput::defaultPortName(QSet<QString>(names.cbegin(), names.cend())), expected);
}

void TestMidiInstrument::portOfTheRecord_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("replaced");

    QTest::newRow("a port that exists is kept") << "plain" << false;
    QTest::newRow("a missing port becomes the default") << "missing" << true;
    QTest::newRow("no port becomes the default") << "" << true;
}

void TestMidiInstrument::portOfTheRecord()
{
    REQUIRE_JACK(m_server);
    QFETCH(QString, stored);
    QFETCH(bool, replaced);

    // Sorted first, but the synthesizer is the default.
    VirtualMidiSink plain("a-plain");
    VirtualMidiSink synth("synth");
    Values values{{"Label", "Piano"}};
    if (stored == "plain")
        values.insert("MidiPort", plain.portName());
    else if (stored == "missing")
        values.insert("MidiPort", "ludra-test-gone:in");

    Rig rig(values);
    const QString expected = replaced ? synth.portName() : plain.portName();
    QCOMPARE(rig.value("MidiPort"), QVariant(expected));
    QVERIFY(rig.instrument->isOpen());
    QCOMPARE(rig.instrument->portName(), expected);
    // Adding the record was the one undo step; the replacement is none.
    QCoreApplication::processEvents();
    QCOMPARE(rig.document->controller.undoRedoCount(), 1);
    QCOMPARE(rig.document->controller.undoText(), QString("Add Instrument"));
}

void TestMidiInstrument::sendsDueEventsAndNothingEarly()
{
    REQUIRE_JACK(m_server);
    VirtualMidiSink sink;
    Rig rig({{"MidiPort", sink.portName()}, {"MidiChannels", channels({0, 9})}});
    QVERIFY(rig.connect(sink));

    rig.clock.advance(1000000);
    const qint64 position = rig.sync()->tickPosition();
    QVERIFY(position > 0);
    MidiInstrument &instrument = *rig.instrument;
    QVERIFY(instrument.enqueueNotePair(InstrumentEvent::noteOn(position, 60, 100),
                                       InstrumentEvent::noteOff(position + 1, 60, 0)));
    QVERIFY(instrument.enqueue(InstrumentEvent::userMessage(position - 1, bytes({0xF8}))));
    QVERIFY(instrument.enqueue(InstrumentEvent::programChange(position + 2, 5, 1, 2)));
    instrument.play();

    // Once the due events have arrived, the fence shows that nothing else
    // came with them.
    QVERIFY(QTest::qWaitFor([&] { return sink.count() >= 3; }, 30000));
    QCOMPARE(rig.receivedUntilFence(sink),
             Bytes({bytes({0xF8}), bytes({0x90, 60, 100}), bytes({0x99, 60, 100})}));
    QCOMPARE(instrument.queuedCount(), 2);

    rig.clock.advance(rig.sync()->ticksToTime(2) + 1);
    QVERIFY(QTest::qWaitFor([&] { return sink.count() >= 8; }, 30000));
    QCOMPARE(instrument.queuedCount(), 0);
    QCOMPARE(rig.receivedUntilFence(sink),
             Bytes({bytes({0x80, 60, 0}), bytes({0x89, 60, 0}), bytes({0xB0, 0, 1}),
                    bytes({0xB0, 32, 2}), bytes({0xC0, 5}), bytes({0xB9, 0, 1}),
                    bytes({0xB9, 32, 2}), bytes({0xC9, 5})}));
}

void TestMidiInstrument::changedChannelsApplyAtOnce()
{
    REQUIRE_JACK(m_server);
    VirtualMidiSink sink;
    Rig rig({{"MidiPort", sink.portName()}, {"MidiChannels", channels({0})}});
    QVERIFY(rig.connect(sink));
    rig.set("MidiChannels", channels({3, 15}));
    QCoreApplication::processEvents();
    QVERIFY(rig.instrument->sendNow(InstrumentEvent::noteOn(0, 64, 1)));
    // A change first silences the channels it leaves.
    QCOMPARE(rig.receivedUntilFence(sink),
             Bytes({bytes({0xB0, 123, 0}), bytes({0x93, 64, 1}), bytes({0x9F, 64, 1})}));
}

void TestMidiInstrument::programChangeWhenPlayingStarts_data()
{
    QTest::addColumn<Values>("program");
    QTest::addColumn<Bytes>("expected");

    QTest::newRow("program 1 arrives as program 0")
        << Values{{"MidiDoProgramChange", true}, {"MidiProgram", 1}}
        << Bytes{bytes({0xB1, 0, 0}), bytes({0xB1, 32, 0}), bytes({0xC1, 0})};
    QTest::newRow("program 128 with bank select")
        << Values{{"MidiDoProgramChange", true},
                  {"MidiProgram", 128},
                  {"MidiBankMSB", 2},
                  {"MidiBankLSB", 3}}
        << Bytes{bytes({0xB1, 0, 2}), bytes({0xB1, 32, 3}), bytes({0xC1, 127})};
    QTest::newRow("out-of-range values stay data bytes")
        << Values{{"MidiDoProgramChange", true},
                  {"MidiProgram", 0},
                  {"MidiBankMSB", 300},
                  {"MidiBankLSB", -4}}
        << Bytes{bytes({0xB1, 0, 127}), bytes({0xB1, 32, 0}), bytes({0xC1, 0})};
    QTest::newRow("no program change asked for")
        << Values{{"MidiDoProgramChange", false}, {"MidiProgram", 9}} << Bytes{};
}

void TestMidiInstrument::programChangeWhenPlayingStarts()
{
    REQUIRE_JACK(m_server);
    QFETCH(Values, program);
    QFETCH(Bytes, expected);

    VirtualMidiSink sink;
    Values values = program;
    values.insert({{"MidiPort", sink.portName()}, {"MidiChannels", channels({1})}});
    Rig rig(values);
    // What binding sent may have gone before the connection carried it.
    QVERIFY(rig.connect(sink));
    rig.instrument->play();
    QCOMPARE(rig.receivedUntilFence(sink), expected);
}

void TestMidiInstrument::pauseSilencesAndKeepsTheQueue()
{
    REQUIRE_JACK(m_server);
    VirtualMidiSink sink;
    Rig rig({{"MidiPort", sink.portName()}, {"MidiChannels", channels({2, 7})}});
    QVERIFY(rig.connect(sink));
    MidiInstrument &instrument = *rig.instrument;
    instrument.play();
    QVERIFY(instrument.enqueue(InstrumentEvent::noteOn(rig.sync()->tickPosition() + 10, 60, 1)));

    instrument.pauseAndWait();
    QCOMPARE(instrument.state(), AbstractOutputThread::Paused);
    QCOMPARE(rig.receivedUntilFence(sink), Bytes({bytes({0xB2, 123, 0}), bytes({0xB7, 123, 0})}));
    QCOMPARE(instrument.queuedCount(), 1);
}

void TestMidiInstrument::silencingFollowsTheSendUnderWay_data()
{
    QTest::addColumn<QString>("action");

    QTest::newRow("pause") << "pause";
    QTest::newRow("channels change") << "channels";
    QTest::newRow("reset, as going to the start does") << "reset";
    QTest::newRow("port change") << "port";
}

void TestMidiInstrument::silencingFollowsTheSendUnderWay()
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

void TestMidiInstrument::leavingAPortSilencesIt_data()
{
    QTest::addColumn<QString>("action");

    QTest::newRow("port change") << "port";
    QTest::newRow("instrument deleted") << "delete";
}

void TestMidiInstrument::leavingAPortSilencesIt()
{
    REQUIRE_JACK(m_server);
    QFETCH(QString, action);

    VirtualMidiSink left("left");
    VirtualMidiSink next("next");
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

    if (action == "port") {
        rig.set("MidiPort", next.portName());
        QTRY_COMPARE_WITH_TIMEOUT(rig.instrument->portName(), next.portName(), 30000);
    } else {
        QmdLudraController &controller = rig.document->controller;
        QVERIFY(rig.document->run(controller.requestRemove(rig.id, controller.instrumentsIndex())));
    }

    QVERIFY(witness.sendRaw(Fence));
    QVERIFY(QTest::qWaitFor([&] { return left.messages().contains(Fence); }, 30000));
    Bytes received = left.takeAll();
    received.removeAll(Fence);
    QCOMPARE(received, Bytes({bytes({0x90, 60, 100}), bytes({0x95, 60, 100}), bytes({0xB0, 123, 0}),
                              bytes({0xB5, 123, 0})}));
}

void TestMidiInstrument::sendFailure_data()
{
    QTest::addColumn<bool>("programChange");

    QTest::newRow("due event on the instrument's thread") << false;
    QTest::newRow("program change as playing starts") << true;
}

void TestMidiInstrument::sendFailure()
{
    REQUIRE_JACK(m_server);
    QFETCH(bool, programChange);

    VirtualMidiSink sink;
    Rig rig({{"MidiPort", sink.portName()},
             {"MidiChannels", channels({0})},
             {"MidiDoProgramChange", programChange},
             {"MidiProgram", 3}});
    MidiInstrument &instrument = *rig.instrument;
    QCoreApplication::processEvents();
    QVERIFY(instrument.isOpen());

    // The port goes away under the instrument.
    QVERIFY(instrument.close());
    if (!programChange)
        QVERIFY(instrument.enqueue(InstrumentEvent::noteOn(0, 60, 100)));
    instrument.play();

    QTRY_COMPARE_WITH_TIMEOUT(rig.value("MidiPort"), QVariant(QString()), 30000);
    QCOMPARE(instrument.state(), AbstractOutputThread::Paused);
    QVERIFY(!instrument.isOpen());
    QCOMPARE(instrument.queuedCount(), 0);
    QCOMPARE(rig.document->controller.undoRedoCount(), 1);
}

void TestMidiInstrument::failureWriteOutlivesItsParties_data()
{
    QTest::addColumn<bool>("deleteController");

    QTest::newRow("instrument deleted before the write") << false;
    QTest::newRow("controller deleted before the write") << true;
}

void TestMidiInstrument::failureWriteOutlivesItsParties()
{
    REQUIRE_JACK(m_server);
    QFETCH(bool, deleteController);

    VirtualMidiSink sink;
    Rig rig({{"MidiPort", sink.portName()}, {"MidiChannels", channels({0})}});
    QVERIFY(rig.instrument->close());

    // The failure writes to the document later, from the event loop.
    QVERIFY(!rig.instrument->sendNow(InstrumentEvent::noteOn(0, 60, 100)));
    if (deleteController) {
        rig.document.reset();
    } else {
        QmdLudraController &controller = rig.document->controller;
        controller.requestRemove(rig.id, controller.instrumentsIndex());
    }
    QCoreApplication::processEvents();
    if (rig.document)
        QVERIFY(!rig.document->controller.playback().instrument(rig.id));
}

QTEST_GUILESS_MAIN(TestMidiInstrument)
#include "tst_midiinstrument.moc"
