// The commands play and render run as a user runs them: the built program,
// its output, its exit code and the files it writes.

#include "ludraprocess.h"
#include "midicsv.h"
#include "networkdocument.h"
#include "soundbank.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <functional>

namespace {

// A temporary folder of the documents the program plays and renders.
class CommandDocuments
{
public:
    bool isValid() const { return m_dir.isValid(); }
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QString folder() const { return m_dir.path(); }
    // Saves the network build makes under the name; its path, or an empty
    // text when the save failed.
    QString save(const std::function<void(NetworkDocument &)> &build, const QString &name)
    {
        NetworkDocument doc;
        build(doc);
        doc.controller.requestSave(path(name));
        return doc.controller.fileName() == path(name) ? path(name) : QString();
    }
    bool writeGarbage(const QString &name)
    {
        QFile file(path(name));
        return file.open(QIODevice::WriteOnly) && file.write("not what it claims to be\n") > 0;
    }

private:
    QTemporaryDir m_dir;
};

// A network that ends, at 240 beats a minute (a principal is a quarter
// second): A fires and passes play on in parallel to B (one principal right)
// and C (one right, one down: two principals by city block).
//   A: "C3" = 60, velocity 100, 25% of its primary edge, the longer one to C
//      (2 principals): note off half a principal later.
//   B: "E3" = 64, velocity 90, a quarter principal.
//   C: "+7" on the 60 the voice carries = 67, velocity 80, half a principal.
void buildEnding(NetworkDocument &doc)
{
    doc.setRoot("Tempo", 240u);
    doc.addInstrument();
    const QmdItemId a =
        doc.node(0, 0, {{"SignallingMethod", 1}, {"VelocityList", "100"}, {"DurationList", "25%"}});
    const QmdItemId b =
        doc.node(1, 0, {{"PitchList", "E3"}, {"VelocityList", "90"}, {"DurationList", "0.25"}});
    const QmdItemId c =
        doc.node(1, 1, {{"PitchList", "+7"}, {"VelocityList", "80"}, {"DurationList", "0.5"}});
    doc.edge(a, b);
    doc.edge(a, c);
    doc.group(a);
}

constexpr qint64 Principal = QmdLudra::TicksPerPrincipal;
// The documents play at 240 beats a minute: a principal is a quarter second.
constexpr double PrincipalSeconds = 0.25;

// The printed notes as "on|off tick label channels name number velocity",
// the tick converted back from the printed time and counted from the first
// note (when the clock starts is the machine's business), to a hundredth of
// a principal. Each line must have the nine fields awk would see.
QStringList printedNotes(const QByteArray &output)
{
    static const QRegularExpression line(QStringLiteral(
        "^ *(\\d+\\.\\d{3})  (\\S+) +ch (\\S+) +(on|off) +(\\S+) +(\\d+)  vel +(\\d+)$"));
    QStringList notes;
    double first = -1;
    for (const QString &text : QString::fromUtf8(output).split(u'\n', Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch match = line.match(text);
        if (!match.hasMatch() || text.simplified().split(u' ').size() != 9) {
            notes.append(QStringLiteral("unexpected: ") + text);
            continue;
        }
        const double seconds = match.captured(1).toDouble();
        if (first < 0)
            first = seconds;
        const qint64 hundredths = qRound((seconds - first) / PrincipalSeconds * 100);
        notes.append(QStringLiteral("%1 %2 %3 %4 %5 %6 %7")
                         .arg(match.captured(4))
                         .arg(hundredths * Principal / 100)
                         .arg(match.captured(2), match.captured(3), match.captured(5),
                              match.captured(6), match.captured(7)));
    }
    return notes;
}

QString printedNote(const QString &onOff, qint64 tick, const QString &name, int pitch, int velocity)
{
    return QStringLiteral("%1 %2 Instrument 1 %3 %4 %5")
        .arg(onOff)
        .arg(tick)
        .arg(name)
        .arg(pitch)
        .arg(velocity);
}

QByteArray contents(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(cannot read)");
}

// A little-endian number of that many bytes.
quint32 le(const QByteArray &bytes, qsizetype at, int size = 4)
{
    quint32 value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | quint8(bytes.at(at + i));
    return value;
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

class TestCommands : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void playsTheNotesOnTheConsole_data();
    void playsTheNotesOnTheConsole();
    void writesTheNotes_data();
    void writesTheNotes();
    void writesAudio();
    void failsWithOneLineAndNoFile_data();
    void failsWithOneLineAndNoFile();

private:
    QString path(const QString &name) const { return m_documents->path(name); }

    std::unique_ptr<CommandDocuments> m_documents;
};

void TestCommands::init()
{
    m_documents = std::make_unique<CommandDocuments>();
    QVERIFY(m_documents->isValid());
}

void TestCommands::playsTheNotesOnTheConsole_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("notice");

    QTest::newRow("--console") << QStringList{"--console"} << QString();
    QTest::newRow("no MIDI output and a silent synthesizer: printed all the same")
        << QStringList()
        << "ludra play: this machine has no MIDI output, and the built-in synthesizer cannot "
           "sound: no audio output";
}

void TestCommands::playsTheNotesOnTheConsole()
{
    QFETCH(QStringList, options);
    QFETCH(QString, notice);
    const QString fileName = m_documents->save(buildEnding, "ending.ldx");
    QVERIFY(!fileName.isEmpty());

    LudraProcess ludra;
    QVERIFY(ludra.run(QStringList{"play", fileName, "--seconds", "2"} + options));
    QCOMPARE(ludra.exitCode(), 0);
    // In queue order: by tick, and at equal ticks in the order of firing.
    const QStringList expected{
        printedNote("on", 0, "C3", 60, 100),            // A
        printedNote("off", Principal / 2, "C3", 60, 0), // A's 25% of two principals
        printedNote("on", Principal, "E3", 64, 90),     // B, one principal on
        printedNote("off", Principal + Principal / 4, "E3", 64, 0),
        printedNote("on", 2 * Principal, "G3", 67, 80), // C, two principals on
        printedNote("off", 2 * Principal + Principal / 2, "G3", 67, 0),
    };
    QCOMPARE(printedNotes(ludra.standardOutput()), expected);
    const QString errors = QString::fromUtf8(ludra.standardError());
    QVERIFY2(notice.isEmpty() || errors.startsWith(notice), qPrintable(errors));
}

void TestCommands::writesTheNotes_data()
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
}

void TestCommands::writesTheNotes()
{
    QFETCH(QStringList, length);
    QFETCH(QStringList, notes);
    const QString document = m_documents->save(buildEnding, "ending.ldx");
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

// The audio follows the MIDI render of the same document: its first note
// sounds at that note's time, and it lasts to the end of the notes and two
// seconds more, as 16-bit stereo. The same render twice gives the same bytes.
void TestCommands::writesAudio()
{
    const QString document = m_documents->save(
        [](NetworkDocument &doc) {
            // A plays at velocity 0, which sounds nothing: B, a principal
            // later, is the first note to hear.
            doc.setRoot("Tempo", 240u);
            doc.addInstrument();
            const QmdItemId a = doc.node(0, 0, {{"VelocityList", "0"}});
            const QmdItemId b = doc.node(1, 0, {{"PitchList", "E3"}, {"VelocityList", "90"}});
            doc.edge(a, b);
            doc.group(a);
        },
        "late.ldx");
    QVERIFY(!document.isEmpty());
    LudraProcess ludra;
    QVERIFY(ludra.run({"render", document, "-o", path("late.mid")}));
    const QStringList events = readWithMidicsv(path("late.mid"));
    const QStringList notes = events.filter(QRegularExpression("Note_on_c, \\d+, \\d+, [1-9]"));
    QVERIFY2(!notes.isEmpty(), qPrintable(events.join(u'\n')));
    const double noteSeconds = secondsOf(notes.first(), events);
    QVERIFY(noteSeconds > 0.1);
    const double endSeconds = secondsOf(events.filter("End_track").last(), events);

    QList<QByteArray> files;
    for (const QString name : {"late.wav", "again.wav"}) {
        QVERIFY(
            ludra.run({"render", document, "-o", path(name), "--soundfont", timGM6mbFileName()}));
        QCOMPARE(ludra.exitCode(), 0);
        QCOMPARE(ludra.standardError() + ludra.standardOutput(), QByteArray());
        files.append(contents(path(name)));
    }
    QCOMPARE(files.at(1), files.at(0));
    const QByteArray wave = files.at(0);
    QCOMPARE(wave.left(4) + wave.mid(8, 8) + wave.mid(36, 4), QByteArray("RIFFWAVEfmt data"));
    QCOMPARE(le(wave, 4), quint32(wave.size() - 8));
    QCOMPARE(le(wave, 22, 2), 2u);
    QCOMPARE(le(wave, 24), 44100u);
    QCOMPARE(le(wave, 34, 2), 16u);
    const qint64 frames = (wave.size() - 44) / 4;
    QVERIFY2(std::abs(frames - std::llround((endSeconds + 2) * 44100)) <= 1,
             qPrintable(QString::number(frames)));

    // The first millisecond louder than a hundredth of the loudest is the
    // first note's onset.
    constexpr int Window = 44;
    QList<double> rms;
    for (qint64 start = 0; start + Window <= frames; start += Window) {
        double sum = 0;
        for (qint64 i = start * 2; i < (start + Window) * 2; ++i) {
            const double sample = qint16(le(wave, 44 + i * 2, 2)) / 32768.0;
            sum += sample * sample;
        }
        rms.append(std::sqrt(sum / (2 * Window)));
    }
    const double loudest = *std::max_element(rms.cbegin(), rms.cend());
    QVERIFY(loudest > 0.01);
    const auto onset = std::find_if(rms.cbegin(), rms.cend(),
                                    [loudest](double value) { return value > loudest / 100; });
    const double onsetSeconds = double((onset - rms.cbegin()) * Window) / 44100;
    QVERIFY2(std::abs(onsetSeconds - noteSeconds) <= 0.005,
             qPrintable(QString("onset %1 s, note %2 s").arg(onsetSeconds).arg(noteSeconds)));
}

void TestCommands::failsWithOneLineAndNoFile_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");

    // %/ is the test's directory, which holds ending.ldx, garbage.ldx and
    // old.mid; out.mid is never there.
    const QString doc = "%/ending.ldx";
    const QString out = "%/out.mid";
    const QString seed = "--seed needs a whole number from 0 to 4294967295";

    QTest::newRow("play: no document")
        << QStringList{"play"} << 2 << "ludra play: no document given (see --help)";
    QTest::newRow("play: no time to play")
        << QStringList{"play", doc, "--seconds", "0"} << 2
        << "ludra play: --seconds needs a number above 0 and up to 1000000000, not \"0\"";
    QTest::newRow("no output") << QStringList{"render", doc} << 2
                               << "ludra render: no output file given (-o OUT.mid)";
    // What FluidSynth and the libraries it hands a damaged file to print
    // stays off the terminal.
    QTest::newRow("a damaged sound bank: no audio")
        << QStringList{"render", doc, "-o", "%/out.wav", "--soundfont", "%/damaged.sf2"} << 5
        << "ludra render: no sound bank: %/damaged.sf2 is not a SoundFont sound bank";
    QTest::newRow("seed beyond 32 bits")
        << QStringList{"render", doc, "-o", out, "--seed", "4294967296"} << 2
        << "ludra render: " + seed + ", not \"4294967296\"";
    QTest::newRow("not a document: the old file stays")
        << QStringList{"render", "%/garbage.ldx", "-o", "%/old.mid"} << 3
        << "ludra render: cannot read %/garbage.ldx: ";
    QTest::newRow("output in a missing folder")
        << QStringList{"render", doc, "-o", "%/missing/out.mid"} << 4
        << "ludra render: cannot write %/missing/out.mid: ";
}

void TestCommands::failsWithOneLineAndNoFile()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QVERIFY(!m_documents->save(buildEnding, "ending.ldx").isEmpty());
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

QTEST_GUILESS_MAIN(TestCommands)
#include "tst_commands.moc"
