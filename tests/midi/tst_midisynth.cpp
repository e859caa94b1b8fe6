// The built-in synthesizer on a machine without any MIDI system and without
// audio output: what it says of its sound bank and channels, what reaches it
// through its input and its in-process port, and its end while messages
// still arrive.

#include "midiinput.h"
#include "midioutput.h"
#include "midisynth.h"
#include "networkdocument.h"
#include "soundfontpresets.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTemporaryFile>
#include <QTest>

#include <atomic>
#include <thread>

using Bytes = QList<QByteArray>;

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray result;
    for (int value : values)
        result.append(char(value));
    return result;
}

// An input fed by the test, as the MIDI library would feed it.
class FedInput : public MidiInput
{
public:
    void feed(const QByteArray &bytes)
    {
        MidiMessage message;
        message.bytes = bytes;
        receive(message);
    }
};

QString describe(const QList<QVariant> &report)
{
    const auto id = report.at(1).value<MidiInstrumentId>();
    return QStringLiteral("%1: %2 %3 %4")
        .arg(report.at(0).toInt())
        .arg(int(id.bankMsb))
        .arg(int(id.bankLsb))
        .arg(int(id.program));
}

// The reports until the one on channel 16, which the test sends last.
QStringList reportsUntilFence(QSignalSpy &spy)
{
    QStringList reports;
    const auto fenced = [&] {
        for (const QList<QVariant> &report : std::as_const(spy)) {
            if (report.at(0).toInt() == 15)
                return true;
        }
        return false;
    };
    if (!QTest::qWaitFor(fenced, 30000))
        return {QStringLiteral("no fence")};
    for (const QList<QVariant> &report : std::as_const(spy)) {
        if (report.at(0).toInt() == 15)
            break;
        reports.append(describe(report));
    }
    return reports;
}

const QByteArray Fence = bytes({0xCF, 0x00});

} // namespace

class TestMidiSynth : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void listsTheBanksInstruments();
    void reportsWhatTheEngineChose_data();
    void reportsWhatTheEngineChose();
    void documentInstrumentPlaysOnTheSynth();
    void endsCleanlyWhileMessagesArrive();
};

void TestMidiSynth::initTestCase()
{
    // No JACK server answers to a name nobody uses, none is started, and
    // ALSA is not tried: no MIDI system at all. No audio output either.
    qputenv("LUDRA_MIDI_API", "jack");
    qputenv("JACK_DEFAULT_SERVER", QByteArray("ludra-no-server-") +
                                       QByteArray::number(QCoreApplication::applicationPid()));
    qputenv("JACK_NO_START_SERVER", "1");
    qputenv("LUDRA_AUDIO_DRIVER", "none");
    QVERIFY2(QFile::exists(timGM6mbFileName()), "scripts/install-deps installs TimGM6mb");
}

void TestMidiSynth::listsTheBanksInstruments()
{
    const QMap<QPair<int, int>, QString> presets = soundFontPresets(timGM6mbFileName());
    QVERIFY(!presets.isEmpty());

    MidiSynth synth(timGM6mbFileName());
    QSignalSpy bankChanges(&synth, &MidiSynth::soundBankChanged);
    QVERIFY(synth.waitForReady(QDeadlineTimer(60000)));
    QCOMPARE(synth.audioDriver(), QStringLiteral("none"));
    QCOMPARE(synth.soundBankName(), QStringLiteral("TimGM6mb.sf2"));
    QCOMPARE(synth.instrumentCount(), presets.size());
    QCOMPARE(synth.instrumentId(0),
             MidiInstrumentId::fromBank(presets.firstKey().first, presets.firstKey().second));
    QCOMPARE(synth.instrumentName(0), presets.first());
    // Channel 10 plays the first drum kit, bank 128: MSB 1, LSB 0.
    const MidiInstrumentId drums = synth.instrumentOfChannel(9);
    QCOMPARE(drums, MidiInstrumentId(1, 0, 0));
    QCOMPARE(synth.instrumentName(synth.indexOfInstrument(drums)), presets.value({128, 0}));
    QCOMPARE(synth.indexOfInstrument(MidiInstrumentId(5, 5, 5)), -1);
    QTRY_COMPARE(bankChanges.count(), 1);

    // A file that is no sound bank leaves the bank as it was.
    QTemporaryFile garbage;
    QVERIFY(garbage.open());
    garbage.write("RIFF and nothing else");
    garbage.close();
    QString error;
    QVERIFY(!synth.loadSoundBank(garbage.fileName(), &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(synth.instrumentCount(), presets.size());
    QCOMPARE(synth.soundBankName(), QStringLiteral("TimGM6mb.sf2"));
}

void TestMidiSynth::reportsWhatTheEngineChose_data()
{
    QTest::addColumn<Bytes>("messages");
    QTest::addColumn<QStringList>("reports");

    QTest::newRow("bank select, then program change")
        << Bytes{bytes({0xB0, 0, 0}), bytes({0xB0, 32, 0}), bytes({0xC0, 40})}
        << QStringList{"0: 0 0 0", "0: 0 0 0", "0: 0 0 40"};
    QTest::newRow("bank 128 is the drum kits, on any channel")
        << Bytes{bytes({0xB3, 0, 1}), bytes({0xB3, 32, 0}), bytes({0xC3, 0})}
        << QStringList{"3: 0 0 0", "3: 0 0 0", "3: 1 0 0"};
    QTest::newRow("a bank the sound bank lacks: what the engine plays instead")
        << Bytes{bytes({0xB1, 0, 0}), bytes({0xB1, 32, 5}), bytes({0xC1, 40})}
        << QStringList{"1: 0 0 0", "1: 0 0 0", "1: 0 0 40"};
    QTest::newRow("any control change reports, a note nothing")
        << Bytes{bytes({0x92, 60, 100}), bytes({0x82, 60, 0}), bytes({0xB2, 7, 100})}
        << QStringList{"2: 0 0 0"};
    QTest::newRow("two messages in one")
        << Bytes{bytes({0xB4, 0, 0, 0xC4, 73})} << QStringList{"4: 0 0 0", "4: 0 0 73"};
}

// Through the input, as a keyboard or another program would play it.
void TestMidiSynth::reportsWhatTheEngineChose()
{
    QFETCH(Bytes, messages);
    QFETCH(QStringList, reports);

    FedInput input;
    MidiSynth synth(timGM6mbFileName());
    QVERIFY(synth.waitForReady(QDeadlineTimer(60000)));
    synth.setInput(&input);
    QCOMPARE(synth.input(), &input);
    QSignalSpy spy(&synth, &MidiSynth::instrumentChanged);
    for (const QByteArray &message : messages)
        input.feed(message);
    input.feed(Fence);
    QCOMPARE(reportsUntilFence(spy), reports);
    QCOMPARE(synth.instrumentOfChannel(reports.last().section(u':', 0, 0).toInt()).program,
             reports.last().section(u' ', -1).toInt());
}

// With no MIDI system the synthesizer's port is the only one, and a
// document's instrument without a port plays there; when the synthesizer
// goes, the instrument finds its port gone, as a device that was unplugged.
void TestMidiSynth::documentInstrumentPlaysOnTheSynth()
{
    auto synth = std::make_unique<MidiSynth>(timGM6mbFileName());
    QVERIFY(synth->waitForReady(QDeadlineTimer(60000)));
    QCOMPARE(MidiOutput::outputPortNames(), QSet<QString>{MidiSynth::portName()});
    QSignalSpy spy(synth.get(), &MidiSynth::instrumentChanged);

    NetworkDocument doc{QmdLudraPlaybackServices()};
    const QmdItemId id = doc.instrumentOn(
        NetworkDocument::channels({2}),
        {{QStringLiteral("MidiProgram"), 41}, {QStringLiteral("MidiDoProgramChange"), true}});
    QVERIFY(id != 0);
    QTRY_COMPARE(doc.instrumentValue(id, QStringLiteral("MidiPort")).toString(),
                 MidiSynth::portName());
    // Its program change (the document counts from 1) reached the engine.
    QTRY_VERIFY(!spy.isEmpty() && describe(spy.last()) == QStringLiteral("2: 0 0 40"));

    synth.reset();
    QVERIFY(MidiOutput::outputPortNames().isEmpty());
    // The next program change finds the port gone: the instrument leaves it.
    QVERIFY(doc.run(
        doc.controller.requestSetData(QStringLiteral("MidiProgram"), 42, doc.instrument(id))));
    QTRY_COMPARE(doc.instrumentValue(id, QStringLiteral("MidiPort")).toString(), QString());
}

// A sender hands notes to the port and the input while the synthesizer is
// destroyed: each send succeeds until the synthesizer goes and fails after,
// and nothing reaches a worker that is gone (the sanitizer builds check).
void TestMidiSynth::endsCleanlyWhileMessagesArrive()
{
    FedInput input;
    auto synth = std::make_unique<MidiSynth>(timGM6mbFileName());
    QVERIFY(synth->waitForReady(QDeadlineTimer(60000)));
    synth->setInput(&input);
    MidiOutput output;
    output.setChannels(QBitArray(16, true));
    QVERIFY(output.open(MidiSynth::portName()));

    std::atomic<bool> stop{false};
    std::atomic<int> sends{0};
    QList<bool> results;
    std::thread sender([&] {
        for (int note = 0; !stop.load(); note = (note + 1) % 128) {
            input.feed(bytes({0x90, note, 100}));
            results.append(output.sendEvents({InstrumentEvent::noteOn(0, quint8(note), 100),
                                              InstrumentEvent::noteOff(0, quint8(note), 0)}));
            sends.fetch_add(1);
            if (!results.last())
                stop.store(true);
        }
    });
    QTRY_VERIFY(sends.load() >= 200);
    synth.reset();
    const bool failed = QTest::qWaitFor([&] { return stop.load(); }, 30000);
    stop.store(true);
    sender.join();
    QVERIFY(failed);

    // Successes, then exactly one failure, which ended the sender.
    QVERIFY(results.size() >= 201);
    QCOMPARE(results.count(false), 1);
    QCOMPARE(results.last(), false);
}

QTEST_GUILESS_MAIN(TestMidiSynth)
#include "tst_midisynth.moc"
