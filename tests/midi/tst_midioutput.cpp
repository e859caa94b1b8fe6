#include "jackserver.h"
#include "midioutput.h"
#include "virtualmidiports.h"

#include <QTest>

#include <memory>

using Bytes = QList<QByteArray>;
using Events = QList<InstrumentEvent>;

Q_DECLARE_METATYPE(Bytes)

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray result;
    for (int value : values)
        result.append(char(value));
    return result;
}

QBitArray channels(std::initializer_list<int> enabled, int size = 16)
{
    QBitArray bits(size);
    for (int c : enabled)
        bits.setBit(c);
    return bits;
}

// Waits until the output's connection to the sink carries messages.
bool awaitConnection(MidiOutput &output, VirtualMidiSink &sink)
{
    return sink.awaitConnection([&output](const QByteArray &message) { output.sendRaw(message); });
}

quint16 channelBits(std::initializer_list<int> enabled)
{
    quint16 bits = 0;
    for (int c : enabled)
        bits |= quint16(1u << c);
    return bits;
}

} // namespace

class TestMidiOutput : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void encode_data();
    void encode();
    void channelsKeepTheFirstSixteenBits();
    void closedPortSendsNothing();

    void batchArrivesInOrder();
    void outputsOnOneNameShareOneLibraryPort();

private:
    std::unique_ptr<JackServer> m_server;
};

void TestMidiOutput::initTestCase()
{
    QString error;
    QVERIFY2(JackServer::startIfInstalled(&m_server, &error), qPrintable(error));
}

void TestMidiOutput::encode_data()
{
    QTest::addColumn<Events>("events");
    QTest::addColumn<quint16>("channels");
    QTest::addColumn<Bytes>("expected");

    QTest::newRow("note off, channels ascending")
        << Events{InstrumentEvent::noteOff(0, 61, 0)} << channelBits({15, 3, 1})
        << Bytes{bytes({0x81, 61, 0}), bytes({0x83, 61, 0}), bytes({0x8F, 61, 0})};
    QTest::newRow("user message once, whatever the channels")
        << Events{InstrumentEvent::userMessage(0, bytes({0xF0, 1, 2, 0xF7}))}
        << channelBits({0, 1, 2}) << Bytes{bytes({0xF0, 1, 2, 0xF7})};
    QTest::newRow("no channel: only user messages")
        << Events{InstrumentEvent::noteOn(0, 60, 1), InstrumentEvent::userMessage(0, bytes({0xFA}))}
        << quint16(0) << Bytes{bytes({0xFA})};
    QTest::newRow("an empty user message sends nothing")
        << Events{InstrumentEvent::userMessage(0, QByteArray())} << channelBits({0}) << Bytes{};
    QTest::newRow("data bytes above 127 clamp")
        << Events{InstrumentEvent::noteOn(0, 200, 231), InstrumentEvent::noteOff(0, 128, 255)}
        << channelBits({0}) << Bytes{bytes({0x90, 127, 127}), bytes({0x80, 127, 127})};
    QTest::newRow("batch order kept")
        << Events{InstrumentEvent::noteOff(0, 1, 2), InstrumentEvent::userMessage(0, bytes({0xF8})),
                  InstrumentEvent::noteOn(0, 3, 4)}
        << channelBits({2, 4})
        << Bytes{bytes({0x82, 1, 2}), bytes({0x84, 1, 2}), bytes({0xF8}), bytes({0x92, 3, 4}),
                 bytes({0x94, 3, 4})};
}

void TestMidiOutput::encode()
{
    QFETCH(Events, events);
    QFETCH(quint16, channels);
    QFETCH(Bytes, expected);
    QCOMPARE(MidiOutput::encode(events, channels), expected);
}

void TestMidiOutput::channelsKeepTheFirstSixteenBits()
{
    MidiOutput output;
    QCOMPARE(output.channels(), QBitArray(16));
    output.setChannels(channels({0, 15, 16, 19}, 20));
    QCOMPARE(output.channels(), channels({0, 15}));
    output.setChannels(channels({3}, 4));
    QCOMPARE(output.channels(), channels({3}));
}

// A port that is not there does not open, and a closed output sends nothing.
void TestMidiOutput::closedPortSendsNothing()
{
    MidiOutput output;
    output.setChannels(channels({0}));
    const QString missing = QStringLiteral("no such client:no such port");
    QVERIFY(!output.open(missing));
    QVERIFY(!output.isOpen());
    QCOMPARE(MidiOutput::userCount(missing), 0);
    QVERIFY(!output.sendEvents({InstrumentEvent::noteOn(0, 60, 100)}));
    QVERIFY(!output.allNotesOff());
    QVERIFY(!output.sendRaw(bytes({0xF8})));
    QVERIFY(output.close());
}

// A listed port opens; a batch arrives whole and in order, and all notes off
// goes to every enabled channel.
void TestMidiOutput::batchArrivesInOrder()
{
    REQUIRE_JACK(m_server);
    VirtualMidiSink sink;
    QVERIFY(MidiOutput::outputPortNames().contains(sink.portName()));
    MidiOutput output;
    QVERIFY(output.open(sink.portName()));
    QCOMPARE(output.portName(), sink.portName());
    QVERIFY(awaitConnection(output, sink));
    output.setChannels(channels({9, 0}));

    QVERIFY(output.sendEvents({InstrumentEvent::programChange(0, 7, 3, 4),
                               InstrumentEvent::noteOn(10, 60, 100),
                               InstrumentEvent::userMessage(10, bytes({0xF0, 0x7D, 0x01, 0xF7}))}));
    QVERIFY(output.allNotesOff());
    const Bytes expected{
        bytes({0xB0, 0, 3}),    bytes({0xB0, 32, 4}),   bytes({0xC0, 7}),
        bytes({0xB9, 0, 3}),    bytes({0xB9, 32, 4}),   bytes({0xC9, 7}),
        bytes({0x90, 60, 100}), bytes({0x99, 60, 100}), bytes({0xF0, 0x7D, 0x01, 0xF7}),
        bytes({0xB0, 123, 0}),  bytes({0xB9, 123, 0})};
    QTRY_COMPARE_WITH_TIMEOUT(sink.count(), int(expected.size()), 30000);
    QCOMPARE(sink.messages(), expected);
    QVERIFY(output.close());
    QVERIFY(!output.isOpen());
    QCOMPARE(output.portName(), QString());
}

// Outputs on one name share the library port, each with its own channels;
// the port goes when its last user closes, is destroyed or opens another.
void TestMidiOutput::outputsOnOneNameShareOneLibraryPort()
{
    REQUIRE_JACK(m_server);
    VirtualMidiSink sink;
    const QString name = sink.portName();
    QCOMPARE(MidiOutput::userCount(name), 0);

    auto first = std::make_unique<MidiOutput>();
    MidiOutput second;
    first->setChannels(channels({0}));
    second.setChannels(channels({1}));
    QVERIFY(first->open(name));
    QVERIFY(second.open(name));
    QCOMPARE(MidiOutput::userCount(name), 2);
    QVERIFY(awaitConnection(*first, sink));

    QVERIFY(first->sendEvents({InstrumentEvent::noteOn(0, 1, 1)}));
    QVERIFY(second.sendEvents({InstrumentEvent::noteOn(0, 2, 2)}));
    QVERIFY(first->close());
    QCOMPARE(MidiOutput::userCount(name), 1);
    QVERIFY(!first->sendEvents({InstrumentEvent::noteOn(0, 3, 3)}));
    QVERIFY(second.sendEvents({InstrumentEvent::noteOn(0, 4, 4)}));

    const Bytes expected{bytes({0x90, 1, 1}), bytes({0x91, 2, 2}), bytes({0x91, 4, 4})};
    QTRY_COMPARE_WITH_TIMEOUT(sink.count(), int(expected.size()), 30000);
    QCOMPARE(sink.messages(), expected);

    // Destroying an open output leaves the port too.
    QVERIFY(first->open(name));
    QCOMPARE(MidiOutput::userCount(name), 2);
    first.reset();
    QCOMPARE(MidiOutput::userCount(name), 1);

    // Opening another name leaves the first port.
    VirtualMidiSink other;
    QVERIFY(second.open(other.portName()));
    QCOMPARE(MidiOutput::userCount(name), 0);
    QCOMPARE(MidiOutput::userCount(other.portName()), 1);
    QVERIFY(awaitConnection(second, other));
    QCOMPARE(sink.count(), int(expected.size()));
}

QTEST_GUILESS_MAIN(TestMidiOutput)
#include "tst_midioutput.moc"
