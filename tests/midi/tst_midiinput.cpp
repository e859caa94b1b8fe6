#include "jackserver.h"
#include "manualclock.h"
#include "midiinput.h"
#include "readyreadcounter.h"
#include "virtualmidiports.h"

#include <QTest>

#include <memory>

using Bytes = QList<QByteArray>;

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray result;
    for (int value : values)
        result.append(char(value));
    return result;
}

Bytes bytesOf(const QList<MidiMessage> &messages)
{
    Bytes result;
    for (const MidiMessage &message : messages)
        result.append(message.bytes);
    return result;
}

// Waits until what the source sends reaches the input; empties its queue.
bool awaitConnection(VirtualMidiSource &source, MidiInput &input)
{
    return source.awaitConnection([&input] { return bytesOf(input.takeAll()); });
}

// A note that follows the messages of a test: once it is in, everything sent
// before it is in too.
const QByteArray marker = bytes({0x9F, 0x7F, 0x01});

} // namespace

class TestMidiInput : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void unknownNameDoesNotOpen();
    void messagesArriveInOrderWithTheirArrivalTime();
    void queueAccess();
    void ignoreFlags_data();
    void ignoreFlags();
    void ignoreFlagsApplyToAnOpenPort();
    void inputsOnOneNameShareOneLibraryPort();
    void queuedReceiverGetsTheInput();

private:
    std::unique_ptr<JackServer> m_server;
    std::unique_ptr<ManualClock> m_clock;
};

void TestMidiInput::initTestCase()
{
    m_clock = std::make_unique<ManualClock>();
    QString error;
    QVERIFY2(JackServer::startIfInstalled(&m_server, &error), qPrintable(error));
}

void TestMidiInput::unknownNameDoesNotOpen()
{
    MidiInput input;
    QVERIFY(!input.open(QStringLiteral("no such client:no such port")));
    QVERIFY(!input.isOpen());
    QVERIFY(!input.hasMessages());
    QCOMPARE(input.take().bytes, QByteArray());
}

// A listed port opens; its messages arrive in order, each stamped with the
// playback clock's time of arrival.
void TestMidiInput::messagesArriveInOrderWithTheirArrivalTime()
{
    REQUIRE_JACK(m_server);
    VirtualMidiSource source;
    QVERIFY(MidiInput::inputPortNames().contains(source.portName()));
    MidiInput input;
    input.setClock(m_clock.get());
    QVERIFY(input.open(source.portName()));
    QCOMPARE(input.portName(), source.portName());
    QVERIFY(awaitConnection(source, input));
    ReadyReadCounter readyRead(&input);

    m_clock->set(5000000000);
    const Bytes sent{bytes({0x90, 60, 100}), bytes({0xC3, 7}), bytes({0x80, 60, 0})};
    for (const QByteArray &message : sent)
        source.send(message);
    QTRY_COMPARE_WITH_TIMEOUT(readyRead.count(), 3, 30000);
    QCOMPARE(readyRead.foreign(), 0);

    const QList<MidiMessage> received = input.takeAll();
    QCOMPARE(bytesOf(received), sent);
    for (const MidiMessage &message : received) {
        QCOMPARE(message.arrivalNs, 5000000000);
        QVERIFY(message.timeStamp >= 0);
    }
    QVERIFY(input.close());
    QVERIFY(!input.isOpen());
}

void TestMidiInput::queueAccess()
{
    REQUIRE_JACK(m_server);
    VirtualMidiSource source;
    MidiInput input;
    QVERIFY(input.open(source.portName()));
    QVERIFY(awaitConnection(source, input));
    ReadyReadCounter readyRead(&input);

    for (int note = 1; note <= 6; ++note)
        source.send(bytes({0x90, note, 1}));
    QTRY_COMPARE_WITH_TIMEOUT(readyRead.count(), 6, 30000);

    QVERIFY(input.hasMessages());
    QCOMPARE(input.peek().bytes, bytes({0x90, 1, 1}));
    QCOMPARE(input.take().bytes, bytes({0x90, 1, 1}));
    QCOMPARE(bytesOf(input.take(2)), (Bytes{bytes({0x90, 2, 1}), bytes({0x90, 3, 1})}));
    // Shrinking the capacity drops the oldest.
    input.setCapacity(2);
    QCOMPARE(bytesOf(input.take(10)), (Bytes{bytes({0x90, 5, 1}), bytes({0x90, 6, 1})}));
    QVERIFY(!input.hasMessages());

    source.send(bytes({0x90, 7, 1}));
    QTRY_COMPARE_WITH_TIMEOUT(readyRead.count(), 7, 30000);
    input.clear();
    QVERIFY(!input.hasMessages());

    // A full queue drops what arrives, but still signals it.
    const Bytes sent{bytes({0x90, 1, 1}), bytes({0x90, 2, 2}), bytes({0x90, 3, 3}),
                     bytes({0x90, 4, 4})};
    for (const QByteArray &message : sent)
        source.send(message);
    QTRY_COMPARE_WITH_TIMEOUT(readyRead.count(), 11, 30000);
    QCOMPARE(bytesOf(input.takeAll()), sent.first(3));
}

void TestMidiInput::ignoreFlags_data()
{
    QTest::addColumn<int>("flags");
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<bool>("delivered");

    const QByteArray sysex = bytes({0xF0, 0x7D, 0x10, 0xF7});
    const QByteArray clock = bytes({0xF8});
    const QByteArray timeCode = bytes({0xF1, 0x12});
    const QByteArray sensing = bytes({0xFE});
    const QByteArray start = bytes({0xFA});

    QTest::newRow("default: sysex ignored") << 7 << sysex << false;
    QTest::newRow("default: clock ignored") << 7 << clock << false;
    QTest::newRow("default: start passes") << 7 << start << true;
    QTest::newRow("1 clear: sysex passes") << 6 << sysex << true;
    QTest::newRow("2 clear: time code passes") << 5 << timeCode << true;
    QTest::newRow("2 clear: active sensing still ignored") << 5 << sensing << false;
    QTest::newRow("4 clear: active sensing passes") << 3 << sensing << true;
}

void TestMidiInput::ignoreFlags()
{
    REQUIRE_JACK(m_server);
    QFETCH(int, flags);
    QFETCH(QByteArray, message);
    QFETCH(bool, delivered);

    VirtualMidiSource source;
    MidiInput input;
    input.setIgnoreFlags(flags);
    QVERIFY(input.open(source.portName()));
    QVERIFY(awaitConnection(source, input));
    ReadyReadCounter readyRead(&input);

    source.send(message);
    source.send(marker);
    const int expected = delivered ? 2 : 1;
    QTRY_COMPARE_WITH_TIMEOUT(readyRead.count(), expected, 30000);
    QCOMPARE(bytesOf(input.takeAll()), delivered ? (Bytes{message, marker}) : Bytes{marker});
}

void TestMidiInput::ignoreFlagsApplyToAnOpenPort()
{
    REQUIRE_JACK(m_server);
    VirtualMidiSource source;
    MidiInput input;
    QVERIFY(input.open(source.portName()));
    QVERIFY(awaitConnection(source, input));
    ReadyReadCounter readyRead(&input);

    source.send(bytes({0xF8}));
    source.send(marker);
    QTRY_COMPARE_WITH_TIMEOUT(readyRead.count(), 1, 30000);
    input.setIgnoreFlags(MidiInput::IgnoreSysex | MidiInput::IgnoreActiveSensing);
    source.send(bytes({0xF8}));
    source.send(marker);
    QTRY_COMPARE_WITH_TIMEOUT(readyRead.count(), 3, 30000);
    QCOMPARE(bytesOf(input.takeAll()), (Bytes{marker, bytes({0xF8}), marker}));
}

void TestMidiInput::inputsOnOneNameShareOneLibraryPort()
{
    REQUIRE_JACK(m_server);
    VirtualMidiSource source;
    const QString name = source.portName();
    auto first = std::make_unique<MidiInput>();
    MidiInput second;
    // Each input filters for itself on the shared port.
    second.setIgnoreFlags(MidiInput::IgnoreSysex | MidiInput::IgnoreActiveSensing);
    QVERIFY(first->open(name));
    QVERIFY(second.open(name));
    QCOMPARE(MidiInput::userCount(name), 2);
    QVERIFY(awaitConnection(source, *first));
    second.clear();
    ReadyReadCounter firstReady(first.get());
    ReadyReadCounter secondReady(&second);

    source.send(bytes({0xF8}));
    source.send(marker);
    QTRY_COMPARE_WITH_TIMEOUT(secondReady.count(), 2, 30000);
    QTRY_COMPARE_WITH_TIMEOUT(firstReady.count(), 1, 30000);
    QCOMPARE(bytesOf(first->takeAll()), Bytes{marker});
    QCOMPARE(bytesOf(second.takeAll()), (Bytes{bytes({0xF8}), marker}));

    first.reset();
    QCOMPARE(MidiInput::userCount(name), 1);
    source.send(marker);
    QTRY_COMPARE_WITH_TIMEOUT(secondReady.count(), 3, 30000);
    QCOMPARE(bytesOf(second.takeAll()), Bytes{marker});
    QVERIFY(second.close());
    QCOMPARE(MidiInput::userCount(name), 0);
}

void TestMidiInput::queuedReceiverGetsTheInput()
{
    REQUIRE_JACK(m_server);
    VirtualMidiSource source;
    MidiInput input;
    QVERIFY(input.open(source.portName()));
    QVERIFY(awaitConnection(source, input));

    Bytes received;
    QObject receiver;
    connect(
        &input, &MidiInput::readyRead, &receiver,
        [&received, &receiver](MidiInput *from) {
            QCOMPARE(QThread::currentThread(), receiver.thread());
            for (const MidiMessage &message : from->takeAll())
                received.append(message.bytes);
        },
        Qt::QueuedConnection);
    source.send(bytes({0x90, 1, 2}));
    source.send(marker);
    QTRY_COMPARE_WITH_TIMEOUT(received, (Bytes{bytes({0x90, 1, 2}), marker}), 30000);
}

QTEST_GUILESS_MAIN(TestMidiInput)
#include "tst_midiinput.moc"
