#include "modeldump.h"
#include "networkdocument.h"
#include "qmdludrarenderer.h"

#include <QBitArray>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr qint64 P = QmdLudra::TicksPerPrincipal;

using Values = QHash<QString, QVariant>;

QBitArray channels(std::initializer_list<int> enabled)
{
    QBitArray bits(16);
    for (int c : enabled)
        bits.setBit(c);
    return bits;
}

QmdLudra::TickPos at(double x, double y = 0)
{
    return {qint64(x * P), qint64(y * P)};
}

// A document built through the controller's requests, the way a user builds
// one, with short names for what the tests set.
struct Document : NetworkDocument
{
    void setRoot(const QString &key, const QVariant &value)
    {
        QVERIFY(run(controller.requestSetData(key, value, QmdIndex())));
    }
    QmdItemId instrument(const QString &label, const QBitArray &midiChannels,
                         const Values &values = {})
    {
        const QmdItemId id = addInstrument();
        Values all = values;
        all.insert(QStringLiteral("Label"), label);
        all.insert(QStringLiteral("MidiChannels"), midiChannels);
        run(controller.requestSetData(all, NetworkDocument::instrument(id)));
        return id;
    }
    QmdItemId node(const QmdLudra::TickPos &pos, const Values &values = {})
    {
        const QmdItemId id = addNode(pos);
        setAll(id, values);
        return id;
    }
    QmdItemId edge(QmdItemId from, QmdItemId to, const Values &values = {})
    {
        const QmdItemId id = addEdge(from, to);
        setAll(id, values);
        return id;
    }
    QmdItemId group(QmdItemId node, const Values &values = {})
    {
        const QmdItemId id = addVoiceGroup(node);
        setAll(id, values);
        return id;
    }
    void setAll(QmdItemId id, const Values &values)
    {
        if (!values.isEmpty())
            run(controller.requestSetData(values, element(id)));
    }
    // The usage list naming the edges in order, each used once.
    void usage(QmdItemId node, const QList<QmdItemId> &edges)
    {
        QStringList entries;
        for (QmdItemId edge : edges)
            entries << QStringLiteral("%1=1").arg(edge);
        set(node, QStringLiteral("ArcUsageList"), entries.join(QLatin1Char(',')));
    }

    StandardMidiFile render(double principals, quint32 seed = 1)
    {
        QmdLudraRenderer renderer(&controller);
        renderer.setEndTick(renderer.endTickForPrincipals(principals));
        renderer.setSeed(seed);
        StandardMidiFile file = renderer.render();
        skipped = renderer.skippedUserMessages();
        return file;
    }
    int skipped = 0;
};

// "tick: status data..." in hexadecimal, one entry per event.
QStringList eventTexts(const StandardMidiFileTrack &track)
{
    QStringList texts;
    for (const StandardMidiFileEvent &event : track.events)
        texts << QStringLiteral("%1: %2")
                     .arg(event.tick)
                     .arg(QString::fromLatin1(event.message.toHex(' ')));
    return texts;
}

QStringList allEvents(const StandardMidiFile &file)
{
    QStringList texts;
    for (const StandardMidiFileTrack &track : file.tracks)
        texts << track.name << eventTexts(track);
    return texts;
}

// Lead plays on channels 1 and 3. Node a sits at the start, node b two
// principals away along the grid (one across, one down). The voice goes
// a, b, a, ...: a plays C3 then E3 at velocities 100 and 90 for half the
// time to b; b plays a fifth above what the voice carries, ten louder,
// for one principal.
QmdItemId buildTwoNodeLoop(Document &doc)
{
    doc.setRoot(QStringLiteral("Tempo"), 100u);
    doc.setRoot(QStringLiteral("PrincipalsToBeatsNumerator"), 3u);
    doc.setRoot(QStringLiteral("PrincipalsToBeatsDenominator"), 2u);
    doc.instrument(QStringLiteral("Lead"), channels({0, 2}));
    const QmdItemId a = doc.node(at(0), {{QStringLiteral("PitchList"), QStringLiteral("C3,E3")},
                                         {QStringLiteral("VelocityList"), QStringLiteral("100,90")},
                                         {QStringLiteral("DurationList"), QStringLiteral("50%")}});
    const QmdItemId b = doc.node(at(1, 1), {{QStringLiteral("PitchList"), QStringLiteral("+7")},
                                            {QStringLiteral("VelocityList"), QStringLiteral("+10")},
                                            {QStringLiteral("DurationList"), QStringLiteral("1")}});
    doc.edge(a, b);
    doc.edge(b, a);
    doc.group(a);
    return a;
}

// The networks of the edge cases, by name; "loop" is the two-node loop.
void buildNetwork(Document &doc, const QString &network)
{
    const Values quarter{{QStringLiteral("DurationList"), QStringLiteral("0.25")}};
    if (network == QLatin1String("wormhole")) {
        doc.instrument(QStringLiteral("Lead"), channels({0}));
        const Values wormhole{{QStringLiteral("IsWormhole"), true}};
        const QmdItemId a = doc.node(at(0), quarter);
        const QmdItemId b = doc.node(at(2), quarter);
        const QmdItemId c = doc.node(at(3), quarter);
        const QmdItemId d = doc.node(at(0, 1), quarter);
        doc.set(a, QStringLiteral("SignallingMethod"), QmdLudra::Parallel);
        doc.set(d, QStringLiteral("PitchList"), QStringLiteral("D3"));
        doc.set(b, QStringLiteral("PitchList"), QStringLiteral("E3"));
        doc.set(c, QStringLiteral("PitchList"), QStringLiteral("F3"));
        doc.usage(a, {doc.edge(a, b), doc.edge(a, d, wormhole)});
        doc.edge(b, c, wormhole);
        doc.group(a);
    } else if (network == QLatin1String("program")) {
        doc.instrument(QStringLiteral("Keys"), channels({0, 9}),
                       {{QStringLiteral("MidiDoProgramChange"), true},
                        {QStringLiteral("MidiProgram"), 5},
                        {QStringLiteral("MidiBankMSB"), 1},
                        {QStringLiteral("MidiBankLSB"), 2}});
        doc.group(doc.node(at(0), {{QStringLiteral("DurationList"), QStringLiteral("3")}}));
    } else if (network == QLatin1String("messages")) {
        doc.instrument(QStringLiteral("Silent"), channels({}));
        const QmdItemId a = doc.node(at(0), {{QStringLiteral("UserMidiMessageList"),
                                              QStringLiteral("F8,91 40 7F,F0 7E F7")}});
        const QmdItemId b = doc.node(at(1));
        doc.set(b, QStringLiteral("DontPlayNote"), true);
        doc.edge(a, b, {{QStringLiteral("Path"), QmdLudra::Direct}});
        // Back along the same straight line: b is only a turning point.
        doc.edge(b, a, {{QStringLiteral("IsWormhole"), true}});
        doc.group(a);
    } else if (network == QLatin1String("together")) {
        doc.instrument(QStringLiteral("Lead"), channels({0}));
        const QmdItemId a = doc.node(at(0), quarter);
        doc.set(a, QStringLiteral("SignallingMethod"), QmdLudra::Parallel);
        const QmdItemId b =
            doc.node(at(1), {{QStringLiteral("PitchList"), QStringLiteral("E3")},
                             {QStringLiteral("DurationList"), QStringLiteral("1")}});
        const QmdItemId c =
            doc.node(at(0, 1), {{QStringLiteral("PitchList"), QStringLiteral("G3")},
                                {QStringLiteral("DurationList"), QStringLiteral("2")}});
        const QmdItemId d =
            doc.node(at(1, 1), {{QStringLiteral("PitchList"), QStringLiteral("C4,D4")},
                                {QStringLiteral("DurationList"), QString()}});
        doc.edge(a, b);
        doc.edge(a, c);
        doc.edge(b, d);
        doc.edge(c, d);
        doc.group(a);
    } else if (network == QLatin1String("change")) {
        doc.instrument(QStringLiteral("Lead"), channels({0}));
        const QmdItemId bass = doc.instrument(QStringLiteral("Bass"), channels({1}));
        const QmdItemId a =
            doc.node(at(0), {{QStringLiteral("DurationList"), QStringLiteral("50%")}});
        const QmdItemId b =
            doc.node(at(1), {{QStringLiteral("PitchList"), QStringLiteral("C2")},
                             {QStringLiteral("DurationList"), QStringLiteral("0.5")},
                             {QStringLiteral("DoInstrumentChange"), true},
                             {QStringLiteral("Instrument"), bass}});
        doc.edge(a, b);
        doc.group(a);
    } else if (network == QLatin1String("loop")) {
        buildTwoNodeLoop(doc);
    }
}

// The file as midicsv, a reader that is not ours, reads it: one line per
// event.
QStringList midicsv(const QByteArray &bytes)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("render.mid"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {QStringLiteral("cannot write %1").arg(path)};
    file.close();
    QProcess process;
    process.start(QStringLiteral("midicsv"), {path});
    if (!process.waitForFinished(30000))
        return {QStringLiteral("midicsv did not run (scripts/install-deps installs it)")};
    QStringList lines = QString::fromUtf8(process.readAllStandardOutput()).split(u'\n');
    lines.removeAll(QString());
    if (process.exitCode() != 0)
        lines.append(QStringLiteral("midicsv failed: ") +
                     QString::fromUtf8(process.readAllStandardError()));
    return lines;
}

} // namespace

class TestQmdLudraRenderer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fileTick_data();
    void fileTick();
    void endTicks_data();
    void endTicks();
    void handComputed_data();
    void handComputed();
    void edgeCases_data();
    void edgeCases();
    void readBack_data();
    void readBack();
    void queueAdmission();
    void seeds_data();
    void seeds();
    void documentUndisturbed();
    void zeroTimeCycleEnds();
};

void TestQmdLudraRenderer::fileTick_data()
{
    QTest::addColumn<qint64>("grid");
    QTest::addColumn<uint>("numerator");
    QTest::addColumn<uint>("denominator");
    QTest::addColumn<qint64>("file");
    // One principal is one beat, 960 file ticks, at 1:1; 693 grid ticks make
    // one file tick.
    QTest::newRow("one principal") << P << 1u << 1u << qint64(960);
    QTest::newRow("just below a half") << qint64(346) << 1u << 1u << qint64(0);
    // At 2:1 a file tick is 1386 grid ticks: 693 is half of one.
    QTest::newRow("a half rounds up") << qint64(693) << 2u << 1u << qint64(1);
    QTest::newRow("just below a half at 2:1") << qint64(692) << 2u << 1u << qint64(0);
    QTest::newRow("five and a half") << qint64(1386 * 5 + 693) << 2u << 1u << qint64(6);
    QTest::newRow("a half away from zero") << qint64(-693 * 3) << 2u << 1u << qint64(-2);
    QTest::newRow("ratio 3:2") << 3 * P << 3u << 2u << qint64(1920);
    QTest::newRow("zero denominator counts as 1") << P << 1u << 0u << qint64(960);
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

void TestQmdLudraRenderer::endTicks_data()
{
    QTest::addColumn<uint>("tempo");
    QTest::addColumn<uint>("numerator");
    QTest::addColumn<uint>("denominator");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<qint64>("tick");
    // At 120 beats per minute a beat lasts half a second; a beat is n/d
    // principals.
    QTest::newRow("120, 1:1") << 120u << 1u << 1u << 2.0 << 4 * P;
    QTest::newRow("60, 3:2") << 60u << 3u << 2u << 2.0 << 3 * P;
    QTest::newRow("90, 1:4") << 90u << 1u << 4u << 4.0 << 6 * P / 4;
}

void TestQmdLudraRenderer::endTicks()
{
    QFETCH(uint, tempo);
    QFETCH(uint, numerator);
    QFETCH(uint, denominator);
    QFETCH(double, seconds);
    QFETCH(qint64, tick);
    Document doc;
    doc.setRoot(QStringLiteral("Tempo"), tempo);
    doc.setRoot(QStringLiteral("PrincipalsToBeatsNumerator"), numerator);
    doc.setRoot(QStringLiteral("PrincipalsToBeatsDenominator"), denominator);
    const QmdLudraRenderer renderer(&doc.controller);
    // The clock floors; a tick either way is the double arithmetic's.
    QVERIFY2(qAbs(renderer.endTickForSeconds(seconds) - tick) <= 1,
             qPrintable(QString::number(renderer.endTickForSeconds(seconds))));
    QCOMPARE(renderer.endTickForPrincipals(2.5), 5 * P / 2);
}

void TestQmdLudraRenderer::handComputed_data()
{
    QTest::addColumn<double>("principals");
    QTest::addColumn<QStringList>("expected");
    // At 3:2 one principal is 640 file ticks. a fires at 0 (C3, for half
    // of the two principals to b), b at 2 (G3, 110, one principal), a at 4
    // (E3, 90), b at 6 (B3, 100).
    const QStringList first{QStringLiteral("0: 90 3c 64"),    QStringLiteral("0: 92 3c 64"),
                            QStringLiteral("640: 80 3c 00"),  QStringLiteral("640: 82 3c 00"),
                            QStringLiteral("1280: 90 43 6e"), QStringLiteral("1280: 92 43 6e"),
                            QStringLiteral("1920: 80 43 00"), QStringLiteral("1920: 82 43 00")};
    const QStringList third{QStringLiteral("2560: 90 40 5a"), QStringLiteral("2560: 92 40 5a")};
    QTest::newRow("end before a fires again") << 4.0 << QStringList{QStringLiteral("Lead")} + first;
    QTest::newRow("E3 cut at the end")
        << 4.5
        << QStringList{QStringLiteral("Lead")} + first + third +
               QStringList{QStringLiteral("2880: 80 40 00"), QStringLiteral("2880: 82 40 00")};
    QTest::newRow("B3 at 6, cut at the end")
        << 6.5
        << QStringList{QStringLiteral("Lead")} + first + third +
               QStringList{QStringLiteral("3200: 80 40 00"), QStringLiteral("3200: 82 40 00"),
                           QStringLiteral("3840: 90 47 64"), QStringLiteral("3840: 92 47 64"),
                           QStringLiteral("4160: 80 47 00"), QStringLiteral("4160: 82 47 00")};
}

void TestQmdLudraRenderer::handComputed()
{
    QFETCH(double, principals);
    QFETCH(QStringList, expected);
    Document doc;
    buildTwoNodeLoop(doc);
    const StandardMidiFile file = doc.render(principals);
    QCOMPARE(file.ticksPerQuarter, quint16(960));
    QCOMPARE(file.microsecondsPerQuarter, quint32(600000));
    QCOMPARE(allEvents(file), expected);
    QCOMPARE(doc.skipped, 0);
}

void TestQmdLudraRenderer::edgeCases_data()
{
    QTest::addColumn<QString>("network");
    QTest::addColumn<double>("principals");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("skipped");
    // "wormhole": a parallel node a at 0 sends one voice two principals to
    // b and one through a wormhole to d; b passes its voice through a
    // wormhole to c. Notes last a quarter principal (240 file ticks).
    const QStringList start{QStringLiteral("Lead"), QStringLiteral("0: 90 3c 40"),
                            QStringLiteral("0: 90 3e 40"), QStringLiteral("240: 80 3c 00"),
                            QStringLiteral("240: 80 3e 00")};
    QTest::newRow("wormhole: b arrives at the end") << "wormhole" << 2.0 << start << 0;
    QTest::newRow("wormhole: b and c fire at the same tick")
        << "wormhole" << 2.001
        << start + QStringList{QStringLiteral("1920: 90 40 40"), QStringLiteral("1920: 90 41 40"),
                               QStringLiteral("1921: 80 40 00"), QStringLiteral("1921: 80 41 00")}
        << 0;
    // "program": program 5 of bank 1/2 on channels 1 and 10, one note of
    // three principals.
    QTest::newRow("program change opens the track")
        << "program" << 4.0
        << QStringList{QStringLiteral("Keys"),          QStringLiteral("0: b0 00 01"),
                       QStringLiteral("0: b0 20 02"),   QStringLiteral("0: c0 04"),
                       QStringLiteral("0: b9 00 01"),   QStringLiteral("0: b9 20 02"),
                       QStringLiteral("0: c9 04"),      QStringLiteral("0: 90 3c 40"),
                       QStringLiteral("0: 99 3c 40"),   QStringLiteral("2880: 80 3c 00"),
                       QStringLiteral("2880: 89 3c 00")}
        << 0;
    QTest::newRow("note clamped at the end")
        << "program" << 1.5
        << QStringList{QStringLiteral("Keys"),          QStringLiteral("0: b0 00 01"),
                       QStringLiteral("0: b0 20 02"),   QStringLiteral("0: c0 04"),
                       QStringLiteral("0: b9 00 01"),   QStringLiteral("0: b9 20 02"),
                       QStringLiteral("0: c9 04"),      QStringLiteral("0: 90 3c 40"),
                       QStringLiteral("0: 99 3c 40"),   QStringLiteral("1440: 80 3c 00"),
                       QStringLiteral("1440: 89 3c 00")}
        << 0;
    // "messages": a node with no channels fires every principal with the
    // user messages F8 (not a channel message), 91 40 7F, F0 7E F7 in turn.
    QTest::newRow("no channels, user messages")
        << "messages" << 3.0
        << QStringList{QStringLiteral("Silent"), QStringLiteral("960: 91 40 7f")} << 2;
    QTest::newRow("no channels, first message only")
        << "messages" << 1.0 << QStringList{QStringLiteral("Silent")} << 1;
    // "together": a parallel node a sends voice 1 to b (E3, one principal)
    // and voice 2 to c (G3, two principals); both reach d at 2, which plays
    // C4 then D4 for as long as the arriving voice says. Voice 1 is first.
    QTest::newRow("two voices reach a node together")
        << "together" << 5.0
        << QStringList{QStringLiteral("Lead"),           QStringLiteral("0: 90 3c 40"),
                       QStringLiteral("240: 80 3c 00"),  QStringLiteral("960: 90 40 40"),
                       QStringLiteral("960: 90 43 40"),  QStringLiteral("1920: 80 40 00"),
                       QStringLiteral("1920: 90 48 40"), QStringLiteral("1920: 90 4a 40"),
                       QStringLiteral("2880: 80 43 00"), QStringLiteral("2880: 80 48 00"),
                       QStringLiteral("3840: 80 4a 00")}
        << 0;
    // "change": the voice leaves a on instrument Lead, b switches it to
    // Bass; both tracks are there, in instrument order.
    QTest::newRow("instrument change through a node")
        << "change" << 2.0
        << QStringList{QStringLiteral("Lead"),          QStringLiteral("0: 90 3c 40"),
                       QStringLiteral("480: 80 3c 00"), QStringLiteral("Bass"),
                       QStringLiteral("960: 91 30 40"), QStringLiteral("1440: 81 30 00")}
        << 0;
}

void TestQmdLudraRenderer::edgeCases()
{
    QFETCH(QString, network);
    QFETCH(double, principals);
    QFETCH(QStringList, expected);
    QFETCH(int, skipped);
    Document doc;
    buildNetwork(doc, network);
    const StandardMidiFile file = doc.render(principals);
    QCOMPARE(allEvents(file), expected);
    QCOMPARE(doc.skipped, skipped);
}

void TestQmdLudraRenderer::readBack_data()
{
    QTest::addColumn<QString>("network");
    QTest::addColumn<double>("principals");
    QTest::addColumn<QStringList>("expected");
    const QStringList head{"0, 0, Header, 1, 2, 960", "1, 0, Start_track"};
    QTest::newRow("two-node loop, E3 cut at the end")
        << "loop" << 4.5
        << head + QStringList{"1, 0, Tempo, 600000",
                              "1, 0, End_track",
                              "2, 0, Start_track",
                              "2, 0, Title_t, \"Lead\"",
                              "2, 0, Note_on_c, 0, 60, 100",
                              "2, 0, Note_on_c, 2, 60, 100",
                              "2, 640, Note_off_c, 0, 60, 0",
                              "2, 640, Note_off_c, 2, 60, 0",
                              "2, 1280, Note_on_c, 0, 67, 110",
                              "2, 1280, Note_on_c, 2, 67, 110",
                              "2, 1920, Note_off_c, 0, 67, 0",
                              "2, 1920, Note_off_c, 2, 67, 0",
                              "2, 2560, Note_on_c, 0, 64, 90",
                              "2, 2560, Note_on_c, 2, 64, 90",
                              "2, 2880, Note_off_c, 0, 64, 0",
                              "2, 2880, Note_off_c, 2, 64, 0",
                              "2, 2880, End_track",
                              "0, 0, End_of_file"};
    QTest::newRow("program change at 0") << "program" << 4.0
                                         << head + QStringList{"1, 0, Tempo, 500000",
                                                               "1, 0, End_track",
                                                               "2, 0, Start_track",
                                                               "2, 0, Title_t, \"Keys\"",
                                                               "2, 0, Control_c, 0, 0, 1",
                                                               "2, 0, Control_c, 0, 32, 2",
                                                               "2, 0, Program_c, 0, 4",
                                                               "2, 0, Control_c, 9, 0, 1",
                                                               "2, 0, Control_c, 9, 32, 2",
                                                               "2, 0, Program_c, 9, 4",
                                                               "2, 0, Note_on_c, 0, 60, 64",
                                                               "2, 0, Note_on_c, 9, 60, 64",
                                                               "2, 2880, Note_off_c, 0, 60, 0",
                                                               "2, 2880, Note_off_c, 9, 60, 0",
                                                               "2, 2880, End_track",
                                                               "0, 0, End_of_file"};
}

void TestQmdLudraRenderer::readBack()
{
    QFETCH(QString, network);
    QFETCH(double, principals);
    QFETCH(QStringList, expected);
    Document doc;
    buildNetwork(doc, network);
    QCOMPARE(midicsv(doc.render(principals).toByteArray()), expected);
}

void TestQmdLudraRenderer::queueAdmission()
{
    // A node one principal from itself (round a small square) plays notes of
    // 10000 principals: every note off waits in the queue, and once 999 are
    // queued a note pair no longer fits.
    Document doc;
    doc.instrument(QStringLiteral("Lead"), channels({0}));
    const Values longNotes{{QStringLiteral("DurationList"), QStringLiteral("10000")}};
    const QmdItemId a = doc.node(at(0), longNotes);
    const QmdItemId b = doc.node(at(0.5), {{QStringLiteral("DontPlayNote"), true}});
    doc.edge(a, b);
    doc.edge(b, a, {{QStringLiteral("Path"), QmdLudra::Direct}});
    doc.group(a);
    const StandardMidiFile file = doc.render(1200);
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

void TestQmdLudraRenderer::seeds_data()
{
    QTest::addColumn<quint32>("first");
    QTest::addColumn<quint32>("second");
    QTest::addColumn<bool>("same");
    QTest::newRow("seed 1 twice") << 1u << 1u << true;
    QTest::newRow("seed 4711 twice") << 4711u << 4711u << true;
    QTest::newRow("seeds 1 and 2") << 1u << 2u << false;
    QTest::newRow("seeds 0 and 1") << 0u << 1u << false;
}

void TestQmdLudraRenderer::seeds()
{
    QFETCH(quint32, first);
    QFETCH(quint32, second);
    QFETCH(bool, same);
    // A random walk from r to one of four notes and back.
    Document doc;
    doc.instrument(QStringLiteral("Lead"), channels({0}));
    const QmdItemId r = doc.node(at(0), {{QStringLiteral("SignallingMethod"), QmdLudra::Random},
                                         {QStringLiteral("DurationList"), QStringLiteral("0.5")}});
    QList<QmdItemId> out;
    const QStringList pitches{QStringLiteral("D3"), QStringLiteral("E3"), QStringLiteral("G3"),
                              QStringLiteral("A3")};
    for (int i = 0; i < pitches.size(); ++i) {
        const QmdItemId n =
            doc.node(at(1, i), {{QStringLiteral("PitchList"), pitches.at(i)},
                                {QStringLiteral("DurationList"), QStringLiteral("0.5")}});
        out << doc.edge(r, n);
        doc.edge(n, r, {{QStringLiteral("IsWormhole"), true}});
    }
    doc.group(r);
    const StandardMidiFile a = doc.render(64, first);
    QVERIFY(allEvents(a).size() > 40);
    QCOMPARE(a.toByteArray() == doc.render(64, second).toByteArray(), same);
}

void TestQmdLudraRenderer::documentUndisturbed()
{
    Document doc;
    const QmdItemId a = buildTwoNodeLoop(doc);
    const QStringList fresh = allEvents(doc.render(8));
    // Counters the document holds from earlier play do not carry into a
    // render, and a render leaves them, the undo history and everything else
    // as they were.
    QVERIFY(doc.run(
        doc.controller.requestSetData(QStringLiteral("CurrentPitchId"), 1, doc.state(a),
                                      QmdRequestOptions(Qmd::NoUndo, QStringLiteral("Play")))));
    const QString before = ModelDump::tree(doc.model);
    const bool couldUndo = doc.controller.canUndo();
    QCOMPARE(allEvents(doc.render(8)), fresh);
    QCOMPARE(ModelDump::tree(doc.model), before);
    QCOMPARE(doc.controller.canUndo(), couldUndo);
}

void TestQmdLudraRenderer::zeroTimeCycleEnds()
{
    // Two nodes pass the voice to each other through wormholes: time never
    // moves on. The render still ends, with the notes that fit the queue.
    Document doc;
    doc.instrument(QStringLiteral("Lead"), channels({0}));
    const QmdItemId a = doc.node(at(0));
    const QmdItemId b = doc.node(at(1), {{QStringLiteral("PitchList"), QStringLiteral("D3")}});
    doc.edge(a, b, {{QStringLiteral("IsWormhole"), true}});
    doc.edge(b, a, {{QStringLiteral("IsWormhole"), true}});
    doc.group(a);
    const StandardMidiFile file = doc.render(4);
    const QStringList events = eventTexts(file.tracks.first());
    QCOMPARE(events.mid(0, 2),
             (QStringList{QStringLiteral("0: 90 3c 40"), QStringLiteral("0: 90 3e 40")}));
    QCOMPARE(events.size(), 1000);
}

QTEST_GUILESS_MAIN(TestQmdLudraRenderer)
#include "tst_qmdludrarenderer.moc"
