#include "commanddocuments.h"
#include "ludraprocess.h"
#include "midicsv.h"

#include <QDir>
#include <QTest>

namespace {

QByteArray contents(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(cannot read)");
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
