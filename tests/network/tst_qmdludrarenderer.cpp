#include "networkdocument.h"
#include "qmdludrarenderer.h"

#include <QTest>

namespace {

constexpr qint64 P = QmdLudra::TicksPerPrincipal;

StandardMidiFile render(NetworkDocument &doc, double principals, quint32 seed = 1,
                        int *skipped = nullptr)
{
    QmdLudraRenderer renderer(&doc.controller);
    renderer.setEndTick(renderer.endTickForPrincipals(principals));
    renderer.setSeed(seed);
    StandardMidiFile file = renderer.render();
    if (skipped)
        *skipped = renderer.skippedUserMessages();
    return file;
}

// Per track its name, then "tick: status data..." in hexadecimal per event.
QStringList allEvents(const StandardMidiFile &file)
{
    QStringList texts;
    for (const StandardMidiFileTrack &track : file.tracks) {
        texts << track.name;
        for (const StandardMidiFileEvent &event : track.events)
            texts << QStringLiteral("%1: %2")
                         .arg(event.tick)
                         .arg(QString::fromLatin1(event.message.toHex(' ')));
    }
    return texts;
}

// The networks of the tests, by name.
void buildNetwork(NetworkDocument &doc, const QString &network)
{
    const auto lead = [&doc] { doc.instrumentOn(doc.channels({0}), {{"Label", "Lead"}}); };
    if (network == "loop") {
        // Lead plays on channels 1 and 3 at 100 beats a minute, 3:2. The
        // voice goes a, b, a, ... (two principals each way): a plays C3 then
        // E3 at 100 and 90 for half the time to b; b a fifth above what the
        // voice carries, ten louder, for one principal.
        doc.setRoot("Tempo", 100u);
        doc.setRoot("PrincipalsToBeatsNumerator", 3u);
        doc.setRoot("PrincipalsToBeatsDenominator", 2u);
        doc.instrumentOn(doc.channels({0, 2}), {{"Label", "Lead"}});
        const QmdItemId a = doc.node(
            0, 0, {{"PitchList", "C3,E3"}, {"VelocityList", "100,90"}, {"DurationList", "50%"}});
        const QmdItemId b =
            doc.node(1, 1, {{"PitchList", "+7"}, {"VelocityList", "+10"}, {"DurationList", "1"}});
        doc.edge(a, b);
        doc.edge(b, a);
        doc.group(a);
    } else if (network == "wormhole") {
        // A parallel node a sends one voice two principals to b and one
        // through a wormhole to d; b passes its voice through a wormhole to c.
        lead();
        const QmdItemId a = doc.node(0, 0, {{"DurationList", "0.25"}, {"SignallingMethod", 1}});
        const QmdItemId b = doc.node(2, 0, {{"DurationList", "0.25"}, {"PitchList", "E3"}});
        const QmdItemId c = doc.node(3, 0, {{"DurationList", "0.25"}, {"PitchList", "F3"}});
        const QmdItemId d = doc.node(0, 1, {{"DurationList", "0.25"}, {"PitchList", "D3"}});
        doc.edge(a, b);
        doc.edge(a, d, {{"IsWormhole", true}});
        doc.edge(b, c, {{"IsWormhole", true}});
        doc.group(a);
    } else if (network == "program") {
        // Program 5 of bank 1/2 on channels 1 and 10, one note of three
        // principals.
        doc.instrumentOn(doc.channels({0, 9}), {{"Label", "Keys"},
                                                {"MidiDoProgramChange", true},
                                                {"MidiProgram", 5},
                                                {"MidiBankMSB", 1},
                                                {"MidiBankLSB", 2}});
        doc.group(doc.node(0, 0, {{"DurationList", "3"}}));
    } else if (network == "messages") {
        // No channels; every principal the user messages F8 (not a channel
        // message), 91 40 7F, F0 7E F7 in turn.
        doc.instrumentOn(doc.channels({}), {{"Label", "Silent"}});
        const QmdItemId a = doc.node(0, 0, {{"UserMidiMessageList", "F8,91 40 7F,F0 7E F7"}});
        const QmdItemId b = doc.node(1, 0, {{"DontPlayNote", true}});
        doc.edge(a, b, {{"Path", QmdLudra::Direct}});
        // Back along the same straight line: b is only a turning point.
        doc.edge(b, a, {{"IsWormhole", true}});
        doc.group(a);
    } else if (network == "change") {
        // The voice leaves a on Lead; b switches it to Bass, the older
        // instrument.
        const QmdItemId bass = doc.instrumentOn(doc.channels({1}), {{"Label", "Bass"}});
        const QmdItemId first = doc.instrumentOn(doc.channels({0}), {{"Label", "Lead"}});
        const QmdItemId a = doc.node(0, 0, {{"DurationList", "50%"}});
        const QmdItemId b = doc.node(1, 0,
                                     {{"PitchList", "C2"},
                                      {"DurationList", "0.5"},
                                      {"DoInstrumentChange", true},
                                      {"Instrument", bass}});
        doc.edge(a, b);
        doc.group(a, {{"InitialInstrument", first}});
    } else if (network == "random") {
        // A random walk from r to one of four notes and back.
        lead();
        const QmdItemId r = doc.node(0, 0, {{"SignallingMethod", 2}, {"DurationList", "0.5"}});
        int y = 0;
        for (const char *pitch : {"D3", "E3", "G3", "A3"}) {
            const QmdItemId n = doc.node(1, y++, {{"PitchList", pitch}, {"DurationList", "0.5"}});
            doc.edge(r, n);
            doc.edge(n, r, {{"IsWormhole", true}});
        }
        doc.group(r);
    }
}

} // namespace

class TestQmdLudraRenderer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fileTick_data();
    void fileTick();
    void rendersNetwork_data();
    void rendersNetwork();
    void queueAdmission();
    void seeds();
    void zeroTimeCycleEnds();
};

void TestQmdLudraRenderer::fileTick_data()
{
    QTest::addColumn<qint64>("grid");
    QTest::addColumn<uint>("numerator");
    QTest::addColumn<uint>("denominator");
    QTest::addColumn<qint64>("file");
    // One principal is one beat, 960 file ticks, at 1:1; at 2:1 a file tick
    // is 1386 grid ticks.
    QTest::newRow("one principal") << P << 1u << 1u << qint64(960);
    QTest::newRow("a half rounds up") << qint64(693) << 2u << 1u << qint64(1);
    QTest::newRow("just below a half") << qint64(692) << 2u << 1u << qint64(0);
    QTest::newRow("a half away from zero") << qint64(-693 * 3) << 2u << 1u << qint64(-2);
    // g * d overflows 64 bits, the result does not.
    QTest::newRow("wide product") << qint64(10000) * P << 1u << 4000000000u
                                  << qint64(38400000000000000);
}

void TestQmdLudraRenderer::fileTick()
{
    QFETCH(qint64, grid);
    QFETCH(uint, numerator);
    QFETCH(uint, denominator);
    QFETCH(qint64, file);
    QCOMPARE(QmdLudraRenderer::fileTick(grid, numerator, denominator), file);
}

void TestQmdLudraRenderer::rendersNetwork_data()
{
    QTest::addColumn<QString>("network");
    QTest::addColumn<double>("principals");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("skipped");
    // At 3:2 one principal is 640 file ticks. a fires at 0 (C3, for half of
    // the two principals to b), b at 2 (G3, 110, one principal), a at 4
    // (E3, 90), b at 6 (B3, 100), cut at the end.
    QTest::newRow("loop, hand computed")
        << "loop" << 6.5
        << QStringList{"Lead",           "0: 90 3c 64",    "0: 92 3c 64",    "640: 80 3c 00",
                       "640: 82 3c 00",  "1280: 90 43 6e", "1280: 92 43 6e", "1920: 80 43 00",
                       "1920: 82 43 00", "2560: 90 40 5a", "2560: 92 40 5a", "3200: 80 40 00",
                       "3200: 82 40 00", "3840: 90 47 64", "3840: 92 47 64", "4160: 80 47 00",
                       "4160: 82 47 00"}
        << 0;
    // Notes last a quarter principal (240 file ticks).
    const QStringList start{"Lead", "0: 90 3c 40", "0: 90 3e 40", "240: 80 3c 00", "240: 80 3e 00"};
    QTest::newRow("wormhole: b and c fire at the same tick")
        << "wormhole" << 2.001
        << start +
               QStringList{"1920: 90 40 40", "1920: 90 41 40", "1921: 80 40 00", "1921: 80 41 00"}
        << 0;
    QTest::newRow("program change opens the track, note clamped at the end")
        << "program" << 1.5
        << QStringList{"Keys",        "0: b0 00 01",    "0: b0 20 02",   "0: c0 04",
                       "0: b9 00 01", "0: b9 20 02",    "0: c9 04",      "0: 90 3c 40",
                       "0: 99 3c 40", "1440: 80 3c 00", "1440: 89 3c 00"}
        << 0;
    QTest::newRow("no channels, user messages")
        << "messages" << 3.0 << QStringList{"Silent", "960: 91 40 7f"} << 2;
    // Voice 1 is first at d.
    // Both tracks are there, in the order of the instruments' ids, not in
    // the order they first sound.
    QTest::newRow("instrument change through a node")
        << "change" << 2.0 << QStringList{"Bass", "960: 91 30 40", "1440: 81 30 00",
                                          "Lead", "0: 90 3c 40",   "480: 80 3c 00"}
        << 0;
}

void TestQmdLudraRenderer::rendersNetwork()
{
    QFETCH(QString, network);
    QFETCH(double, principals);
    QFETCH(QStringList, expected);
    QFETCH(int, skipped);
    NetworkDocument doc;
    buildNetwork(doc, network);
    int skippedMessages = -1;
    QCOMPARE(allEvents(render(doc, principals, 1, &skippedMessages)), expected);
    QCOMPARE(skippedMessages, skipped);
}

void TestQmdLudraRenderer::queueAdmission()
{
    // A node one principal from itself (round a small square) plays notes of
    // 10000 principals: every note off waits in the queue, and once 999 are
    // queued a note pair no longer fits.
    NetworkDocument doc;
    doc.instrumentOn(doc.channels({0}));
    const QmdItemId a = doc.node(0, 0, {{"DurationList", "10000"}});
    const QmdItemId b = doc.node(0.5, 0, {{"DontPlayNote", true}});
    doc.edge(a, b);
    doc.edge(b, a, {{"Path", QmdLudra::Direct}});
    doc.group(a);
    const StandardMidiFile file = render(doc, 1200);
    QCOMPARE(file.tracks.size(), 1);
    int on = 0;
    int off = 0;
    for (const StandardMidiFileEvent &event : file.tracks.first().events) {
        if (quint8(event.message.at(0)) == 0x90) {
            QCOMPARE(event.tick, 960 * qint64(on));
            ++on;
        } else {
            QCOMPARE(event.tick, qint64(1200 * 960));
            ++off;
        }
    }
    QCOMPARE(on, 999);
    QCOMPARE(off, 999);
}

void TestQmdLudraRenderer::seeds()
{
    NetworkDocument doc;
    buildNetwork(doc, "random");
    const QByteArray one = render(doc, 64, 1).toByteArray();
    QVERIFY(allEvents(render(doc, 64, 1)).size() > 40);
    QCOMPARE(render(doc, 64, 1).toByteArray(), one);
    QVERIFY(render(doc, 64, 2).toByteArray() != one);
    QVERIFY(render(doc, 64, 0).toByteArray() != one);
}

void TestQmdLudraRenderer::zeroTimeCycleEnds()
{
    // Two nodes pass the voice to each other through wormholes: time never
    // moves on. The render still ends, with the notes that fit the queue.
    NetworkDocument doc;
    doc.instrumentOn(doc.channels({0}));
    const QmdItemId a = doc.node(0, 0);
    const QmdItemId b = doc.node(1, 0, {{"PitchList", "D3"}});
    doc.edge(a, b, {{"IsWormhole", true}});
    doc.edge(b, a, {{"IsWormhole", true}});
    doc.group(a);
    const QStringList events = allEvents(render(doc, 4));
    QCOMPARE(events.mid(0, 3), (QStringList{"Instrument", "0: 90 3c 40", "0: 90 3e 40"}));
    QCOMPARE(events.size(), 1001);
}

QTEST_GUILESS_MAIN(TestQmdLudraRenderer)
#include "tst_qmdludrarenderer.moc"
