#include "commanddocuments.h"
#include "ludraprocess.h"
#include "midicsv.h"
#include "soundfontpresets.h"

#include <QDir>
#include <QTest>

#include <cmath>

namespace {

QByteArray contents(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(cannot read)");
}

// A little-endian number of that many bytes.
quint32 littleEndian(const QByteArray &bytes, qsizetype at, int size)
{
    quint32 value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | quint8(bytes.at(at + i));
    return value;
}

quint32 le32(const QByteArray &bytes, qsizetype at)
{
    return littleEndian(bytes, at, 4);
}

quint16 le16(const QByteArray &bytes, qsizetype at)
{
    return quint16(littleEndian(bytes, at, 2));
}

// Seconds of a midicsv line's tick, at the file's tempo and division.
double secondsOf(const QString &line, const QStringList &events)
{
    const double division = events.value(0).section(u',', 5, 5).toDouble();
    const double tempo =
        events.filter(QStringLiteral("Tempo")).value(0).section(u',', 3, 3).toDouble();
    return line.section(u',', 1, 1).toDouble() * tempo / division / 1e6;
}

} // namespace

class TestRenderCommand : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void writesTheNotes_data();
    void writesTheNotes();
    void warnsOfLeftOutMessages();
    void seedChoosesTheRandomPath();
    void writesAudio();
    void failsWithOneLineAndNoFile_data();
    void failsWithOneLineAndNoFile();

private:
    QString path(const QString &name) const { return m_documents->path(name); }

    std::unique_ptr<CommandDocuments> m_documents;
};

void TestRenderCommand::init()
{
    m_documents = std::make_unique<CommandDocuments>();
    QVERIFY(m_documents->isValid());
}

void TestRenderCommand::writesTheNotes_data()
{
    QTest::addColumn<QStringList>("length");
    QTest::addColumn<QStringList>("notes");

    const QString aOn = "2, 0, Note_on_c, 0, 60, 100";
    const QString aOff = "2, 480, Note_off_c, 0, 60, 0";
    const QString bOn = "2, 960, Note_on_c, 0, 64, 90";
    const QString bOff = "2, 1200, Note_off_c, 0, 64, 0";
    const QString cOn = "2, 1920, Note_on_c, 0, 67, 80";
    const QString cOff = "2, 2400, Note_off_c, 0, 67, 0";
    QTest::newRow("default length: to the last note")
        << QStringList() << QStringList{aOn, aOff, bOn, bOff, cOn, cOff};
    // Half a second is two beats, two principals: C would fire at the end.
    QTest::newRow("half a second: C left out")
        << QStringList{"--seconds", "0.5"} << QStringList{aOn, aOff, bOn, bOff};
    // 1.1 principals end at grid tick 731808, file tick 1056, while B sounds.
    QTest::newRow("1.1 principals: B's note cut at the end")
        << QStringList{"--principals", "1.1"}
        << QStringList{aOn, aOff, bOn, "2, 1056, Note_off_c, 0, 64, 0"};
}

void TestRenderCommand::writesTheNotes()
{
    QFETCH(QStringList, length);
    QFETCH(QStringList, notes);
    const QString document = m_documents->save(CommandDocuments::buildEnding, "ending.ldx");
    QVERIFY(!document.isEmpty());
    const QString output = path("ending.mid");

    LudraProcess ludra;
    QVERIFY(ludra.run(QStringList{"render", document, "-o", output} + length));
    QCOMPARE(ludra.exitCode(), 0);
    QCOMPARE(ludra.standardError(), QByteArray());
    QCOMPARE(ludra.standardOutput(), QByteArray());
    const QString end = notes.last().section(u',', 1, 1).trimmed();
    const QStringList expected =
        QStringList{"0, 0, Header, 1, 2, 960", "1, 0, Start_track",
                    "1, 0, Tempo, 250000",     "1, 0, End_track",
                    "2, 0, Start_track",       "2, 0, Title_t, \"Instrument\""} +
        notes + QStringList{QStringLiteral("2, %1, End_track").arg(end), "0, 0, End_of_file"};
    QCOMPARE(readWithMidicsv(output), expected);
}

// In four principals A fires at 0 and 2, B at 1 and 3: two system exclusive
// messages are left out, both control changes are written.
void TestRenderCommand::warnsOfLeftOutMessages()
{
    const QString document = m_documents->save(
        [](NetworkDocument &doc) {
            CommandDocuments::buildLoop(doc, {{"UserMidiMessageList", "F0 7E F7"}},
                                        {{"UserMidiMessageList", "B0 07 64"}});
        },
        "messages.ldx");
    QVERIFY(!document.isEmpty());
    const QString output = path("messages.mid");

    LudraProcess ludra;
    QVERIFY(ludra.run({"render", document, "-o", output, "--principals", "4"}));
    QCOMPARE(ludra.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(ludra.standardError()),
             QStringLiteral("ludra render: warning: 2 user message(s) left out; a MIDI file "
                            "holds only channel messages\n"));
    const QStringList events = readWithMidicsv(output);
    QCOMPARE(events.filter("Control_c"),
             (QStringList{"2, 960, Control_c, 0, 7, 100", "2, 2880, Control_c, 0, 7, 100"}));
    QCOMPARE(events.filter("System_exclusive"), QStringList());
}

// The default seed is 1; another seed takes other random choices.
void TestRenderCommand::seedChoosesTheRandomPath()
{
    const QString document = m_documents->save(
        [](NetworkDocument &doc) {
            // A chooses at random between B and C, which both lead back to A.
            doc.addInstrument();
            const QmdItemId a = doc.node(0, 0, {{"SignallingMethod", 2}});
            const QmdItemId b = doc.node(1, 0, {{"PitchList", "E3"}});
            const QmdItemId c = doc.node(0, 1, {{"PitchList", "G3"}});
            doc.edge(a, b);
            doc.edge(a, c);
            doc.edge(b, a);
            doc.edge(c, a);
            doc.group(a);
        },
        "random.ldx");
    QVERIFY(!document.isEmpty());
    const QList<QStringList> seeds{{}, {"--seed", "1"}, {"--seed", "2"}};
    QList<QByteArray> files;
    for (const QStringList &seed : seeds) {
        const QString output = path(QStringLiteral("random%1.mid").arg(files.size()));
        LudraProcess ludra;
        QVERIFY(ludra.run(QStringList{"render", document, "-o", output} + seed));
        QCOMPARE(ludra.exitCode(), 0);
        files.append(contents(output));
    }
    QCOMPARE(files.at(0), files.at(1));
    QVERIFY(files.at(1) != files.at(2));
}

// The audio follows the MIDI render of the same document: its first note
// sounds at that note's time, and it lasts to the end of the notes and two
// seconds more. The same render twice gives the same bytes.
void TestRenderCommand::writesAudio()
{
    const QString document = m_documents->save(
        [](NetworkDocument &doc) {
            // A plays at velocity 0, which sounds nothing: B, a principal
            // later, is the first note to hear.
            doc.setRoot(QStringLiteral("Tempo"), 240u);
            doc.addInstrument();
            const QmdItemId a =
                doc.node(0, 0, {{QStringLiteral("VelocityList"), QStringLiteral("0")}});
            const QmdItemId b = doc.node(1, 0,
                                         {{QStringLiteral("PitchList"), QStringLiteral("E3")},
                                          {QStringLiteral("VelocityList"), QStringLiteral("90")}});
            doc.edge(a, b);
            doc.group(a);
        },
        "late.ldx");
    QVERIFY(!document.isEmpty());
    const QString midi = path("late.mid");
    LudraProcess ludra;
    QVERIFY(ludra.run({"render", document, "-o", midi}));
    QCOMPARE(ludra.exitCode(), 0);
    const QStringList events = readWithMidicsv(midi);
    QString firstNote;
    for (const QString &event : events) {
        if (event.contains(QStringLiteral("Note_on_c")) && event.section(u',', 5, 5).toInt() > 0) {
            firstNote = event;
            break;
        }
    }
    QVERIFY2(!firstNote.isEmpty(), qPrintable(events.join(u'\n')));
    const double noteSeconds = secondsOf(firstNote, events);
    QVERIFY(noteSeconds > 0.1);
    const double endSeconds = secondsOf(events.filter(QStringLiteral("End_track")).last(), events);

    QList<QByteArray> files;
    for (const QString name : {"late.wav", "again.wav"}) {
        QVERIFY(
            ludra.run({"render", document, "-o", path(name), "--soundfont", timGM6mbFileName()}));
        QCOMPARE(ludra.exitCode(), 0);
        QCOMPARE(ludra.standardError(), QByteArray());
        QCOMPARE(ludra.standardOutput(), QByteArray());
        files.append(contents(path(name)));
    }
    QCOMPARE(files.at(1), files.at(0));

    const QByteArray wave = files.at(0);
    QVERIFY(wave.size() > 44);
    QCOMPARE(wave.left(4), QByteArray("RIFF"));
    QCOMPARE(le32(wave, 4), quint32(wave.size() - 8));
    QCOMPARE(wave.mid(8, 8), QByteArray("WAVEfmt "));
    QCOMPARE(le32(wave, 16), 16u);
    QCOMPARE(le16(wave, 20), quint16(1)); // PCM
    QCOMPARE(le16(wave, 22), quint16(2)); // stereo
    QCOMPARE(le32(wave, 24), 44100u);
    QCOMPARE(le32(wave, 28), 44100u * 4);
    QCOMPARE(le16(wave, 32), quint16(4));
    QCOMPARE(le16(wave, 34), quint16(16));
    QCOMPARE(wave.mid(36, 4), QByteArray("data"));
    QCOMPARE(le32(wave, 40), quint32(wave.size() - 44));
    const qint64 frames = (wave.size() - 44) / 4;
    QVERIFY2(std::abs(frames - std::llround((endSeconds + 2) * 44100)) <= 1,
             qPrintable(QString::number(frames)));

    // The RMS of 1 ms windows of both channels: the first window above a
    // hundredth of the loudest is the first note's onset.
    constexpr int Window = 44;
    QList<double> rms;
    for (qint64 start = 0; start + Window <= frames; start += Window) {
        double sum = 0;
        for (qint64 i = start; i < start + Window; ++i) {
            for (int channel = 0; channel < 2; ++channel) {
                const double sample = qint16(le16(wave, 44 + i * 4 + channel * 2)) / 32768.0;
                sum += sample * sample;
            }
        }
        rms.append(std::sqrt(sum / (2 * Window)));
    }
    const double loudest = *std::max_element(rms.cbegin(), rms.cend());
    QVERIFY2(loudest > 0.01, qPrintable(QString::number(loudest)));
    const qsizetype onset =
        std::find_if(rms.cbegin(), rms.cend(),
                     [loudest](double value) { return value > loudest / 100; }) -
        rms.cbegin();
    const double onsetSeconds = double(onset * Window) / 44100;
    QVERIFY2(
        std::abs(onsetSeconds - noteSeconds) <= 0.005,
        qPrintable(QStringLiteral("onset %1 s, note %2 s").arg(onsetSeconds).arg(noteSeconds)));
}

void TestRenderCommand::failsWithOneLineAndNoFile_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");

    // %/ is the test's directory, which holds ending.ldx, garbage.ldx and
    // old.mid; out.mid is never there.
    const QString doc = "%/ending.ldx";
    const QString out = "%/out.mid";
    const QString number = "needs a number above 0 and up to 1000000000";
    const QString seed = "--seed needs a whole number from 0 to 4294967295";

    QTest::newRow("no output") << QStringList{"render", doc} << 2
                               << "ludra render: no output file given (-o OUT.mid)";
    QTest::newRow("no document") << QStringList{"render", "-o", out} << 2
                                 << "ludra render: no document given (see --help)";
    QTest::newRow("unknown option") << QStringList{"render", doc, "-o", out, "--bars", "4"} << 2
                                    << "ludra render: Unknown option 'bars'.";
    QTest::newRow("principals and seconds")
        << QStringList{"render", doc, "-o", out, "--principals", "4", "--seconds", "2"} << 2
        << "ludra render: give --principals or --seconds, not both";
    QTest::newRow("principals not a number")
        << QStringList{"render", doc, "-o", out, "--principals", "four"} << 2
        << "ludra render: --principals " + number + ", not \"four\"";
    QTest::newRow("seconds too many") << QStringList{"render", doc, "-o", out, "--seconds", "2e9"}
                                      << 2 << "ludra render: --seconds " + number + ", not \"2e9\"";
    QTest::newRow("sample rate too low")
        << QStringList{"render", doc, "-o", "%/out.wav", "--sample-rate", "4000"} << 2
        << "ludra render: --sample-rate needs a whole number from 8000 to 96000, not \"4000\"";
    QTest::newRow("sound bank for a MIDI file")
        << QStringList{"render", doc, "-o", out, "--soundfont", "%/garbage.ldx"} << 2
        << "ludra render: --soundfont and --sample-rate are for a .wav output";
    // What FluidSynth and the libraries it hands a damaged file to print
    // stays off the terminal.
    QTest::newRow("a damaged sound bank: no audio")
        << QStringList{"render", doc, "-o", "%/out.wav", "--soundfont", "%/damaged.sf2"} << 5
        << "ludra render: no sound bank: %/damaged.sf2 is not a SoundFont sound bank";
    QTest::newRow("seed beyond 32 bits")
        << QStringList{"render", doc, "-o", out, "--seed", "4294967296"} << 2
        << "ludra render: " + seed + ", not \"4294967296\"";
    QTest::newRow("missing document")
        << QStringList{"render", "%/missing.ldx", "-o", out} << 3
        << "ludra render: cannot read %/missing.ldx: No such file or directory";
    QTest::newRow("not a document: the old file stays")
        << QStringList{"render", "%/garbage.ldx", "-o", "%/old.mid"} << 3
        << "ludra render: cannot read %/garbage.ldx: ";
    QTest::newRow("output in a missing folder")
        << QStringList{"render", doc, "-o", "%/missing/out.mid"} << 4
        << "ludra render: cannot write %/missing/out.mid: ";
    QTest::newRow("output is a folder")
        << QStringList{"render", doc, "-o", "%"} << 4 << "ludra render: cannot write %: ";
}

void TestRenderCommand::failsWithOneLineAndNoFile()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QVERIFY(!m_documents->save(CommandDocuments::buildEnding, "ending.ldx").isEmpty());
    for (const char *name : {"garbage.ldx", "old.mid"})
        QVERIFY(m_documents->writeGarbage(QString::fromLatin1(name)));
    // A SoundFont's first bytes, then garbage.
    QFile damaged(path("damaged.sf2"));
    QVERIFY(damaged.open(QIODevice::WriteOnly));
    damaged.write(contents(timGM6mbFileName()).left(12) + QByteArray(4096, '\xff'));
    damaged.close();
    const QStringList before =
        QDir(m_documents->folder()).entryList(QDir::AllEntries | QDir::Hidden);
    arguments.replaceInStrings("%", m_documents->folder());
    message.replace("%", m_documents->folder());

    LudraProcess ludra;
    QVERIFY(ludra.run(arguments));
    QCOMPARE(ludra.exitCode(), exitCode);
    QCOMPARE(ludra.standardOutput(), QByteArray());
    const QString errors = QString::fromUtf8(ludra.standardError());
    QCOMPARE(errors.count(u'\n'), 1);
    QVERIFY2(errors.startsWith(message), qPrintable(errors));
    // Nothing written, not even a temporary file, and the old file intact.
    QCOMPARE(QDir(m_documents->folder()).entryList(QDir::AllEntries | QDir::Hidden), before);
    QCOMPARE(contents(path("old.mid")), QByteArray("not what it claims to be\n"));
}

QTEST_GUILESS_MAIN(TestRenderCommand)
#include "tst_rendercommand.moc"
