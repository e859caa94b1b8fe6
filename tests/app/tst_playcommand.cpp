#include "commanddocuments.h"
#include "ludraprocess.h"

#include <QRegularExpression>
#include <QTest>

#include <signal.h>

namespace {

constexpr qint64 Principal = CommandDocuments::Principal;
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

// What an instrument of type "debug" prints: five lines an event, as "type
// tick pitch velocity", ticks counted from the first event.
QStringList debugEvents(const QByteArray &output)
{
    static const QRegularExpression block(QStringLiteral("DebugInstrument:\\n"
                                                         "\\s+- type\\s+= (\\d+)\\n"
                                                         "\\s+- pos\\s+= (-?\\d+)\\n"
                                                         "\\s+- pitch\\s+= (\\d+)\\n"
                                                         "\\s+- velocity\\s+= (\\d+)\\n"));
    QStringList events;
    qint64 first = 0;
    qsizetype end = 0;
    for (const QRegularExpressionMatch &match : block.globalMatch(QString::fromUtf8(output))) {
        if (match.capturedStart() != end)
            events.append(QStringLiteral("unexpected: ") +
                          QString::fromUtf8(output.mid(end, match.capturedStart() - end)));
        end = match.capturedEnd();
        const qint64 tick = match.captured(2).toLongLong();
        if (events.isEmpty())
            first = tick;
        events.append(QStringLiteral("%1 %2 %3 %4")
                          .arg(match.captured(1))
                          .arg(tick - first)
                          .arg(match.captured(3), match.captured(4)));
    }
    if (end != output.size())
        events.append(QStringLiteral("unexpected: ") + QString::fromUtf8(output.mid(end)));
    return events;
}

} // namespace

class TestPlayCommand : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void playsTheNotesOnTheConsole_data();
    void playsTheNotesOnTheConsole();
    void debugInstrumentsKeepTheirFormat();
    void stops_data();
    void stops();
    void failsWithOneLine_data();
    void failsWithOneLine();

private:
    CommandDocuments m_documents;
};

void TestPlayCommand::init()
{
    QVERIFY(m_documents.isValid());
}

void TestPlayCommand::playsTheNotesOnTheConsole_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("notice");

    QTest::newRow("--console") << QStringList{"--console"} << QString();
    QTest::newRow("no MIDI output and a silent synthesizer: printed all the same")
        << QStringList()
        << "ludra play: this machine has no MIDI output, and the built-in synthesizer cannot "
           "sound: no audio output";
}

void TestPlayCommand::playsTheNotesOnTheConsole()
{
    QFETCH(QStringList, options);
    QFETCH(QString, notice);
    const QString fileName = m_documents.save(CommandDocuments::buildEnding, "ending.ldx");
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

// An instrument of type "debug" prints as it always has, five lines an
// event; the others of the same document print a line a note.
void TestPlayCommand::debugInstrumentsKeepTheirFormat()
{
    const QString fileName = m_documents.save(
        [](NetworkDocument &doc) {
            CommandDocuments::buildEnding(doc);
            const QmdItemId id = doc.controller.ids(doc.controller.instrumentsIndex()).value(0);
            doc.run(doc.controller.requestSetData(QStringLiteral("Type"), QStringLiteral("debug"),
                                                  doc.instrument(id)));
        },
        "debug.ldx");
    QVERIFY(!fileName.isEmpty());

    LudraProcess ludra;
    QVERIFY(ludra.run({"play", fileName, "--seconds", "2", "--console"}));
    QCOMPARE(ludra.exitCode(), 0);
    const QStringList expected{"0 0 60 100", QStringLiteral("1 %1 60 0").arg(Principal / 2),
                               QStringLiteral("0 %1 64 90").arg(Principal)};
    QCOMPARE(debugEvents(ludra.standardOutput()).mid(0, 3), expected);
}

void TestPlayCommand::stops_data()
{
    QTest::addColumn<int>("signal");

    QTest::newRow("at the deadline") << 0;
    QTest::newRow("Ctrl-C") << SIGINT;
    QTest::newRow("termination") << SIGTERM;
}

// The network would play for ever; a deadline or a signal ends it, cleanly.
void TestPlayCommand::stops()
{
    QFETCH(int, signal);
    const QString fileName = m_documents.save(
        [](NetworkDocument &doc) { CommandDocuments::buildLoop(doc); }, "looping.ldx");
    QVERIFY(!fileName.isEmpty());

    LudraProcess ludra;
    if (signal == 0) {
        QVERIFY(ludra.run({"play", fileName, "--console", "--seconds", "1"}));
    } else {
        ludra.setArguments({"play", fileName, "--console"});
        ludra.start();
        // The first note shows that playback runs, with the handlers in place.
        QVERIFY(ludra.waitForOutput("vel"));
        QCOMPARE(::kill(pid_t(ludra.processId()), signal), 0);
        QVERIFY(ludra.waitForEnd());
    }
    QCOMPARE(ludra.exitCode(), 0);
    const QStringList notes = printedNotes(ludra.standardOutput());
    QVERIFY(!notes.isEmpty());
    QCOMPARE(notes.first(), printedNote("on", 0, "C3", 60, 64));
}

void TestPlayCommand::failsWithOneLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");

    const QString missing = "%missing.ldx";
    const QString garbage = "%garbage.ldx";
    QTest::newRow("no document") << QStringList{"play"} << 2
                                 << "ludra play: no document given (see --help)";
    QTest::newRow("two documents") << QStringList{"play", garbage, garbage} << 2
                                   << "ludra play: one document at a time, not 2";
    QTest::newRow("seconds not a number")
        << QStringList{"play", garbage, "--seconds", "soon"} << 2
        << "ludra play: --seconds needs a number above 0 and up to 1000000000, not \"soon\"";
    QTest::newRow("unknown option")
        << QStringList{"play", garbage, "--loud"} << 2 << "ludra play: Unknown option 'loud'.";
    QTest::newRow("console and synth") << QStringList{"play", garbage, "--console", "--synth"} << 2
                                       << "ludra play: give --console or --synth, not both";
    QTest::newRow("synth without audio output")
        << QStringList{"play", garbage, "--synth"} << 6
        << "ludra play: the built-in synthesizer cannot sound: no audio output";
    QTest::newRow("missing document") << QStringList{"play", missing, "--console"} << 3
                                      << "ludra play: cannot read %missing.ldx: No such file "
                                         "or directory";
    QTest::newRow("not a document") << QStringList{"play", garbage, "--console"} << 3
                                    << "ludra play: cannot read %garbage.ldx: ";
}

void TestPlayCommand::failsWithOneLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QVERIFY(m_documents.writeGarbage("garbage.ldx"));
    const QString dir = m_documents.folder() + u'/';
    arguments.replaceInStrings("%", dir);
    message.replace("%", dir);

    LudraProcess ludra;
    QVERIFY(ludra.run(arguments));
    QCOMPARE(ludra.exitCode(), exitCode);
    QCOMPARE(ludra.standardOutput(), QByteArray());
    const QString errors = QString::fromUtf8(ludra.standardError());
    QCOMPARE(errors.count(u'\n'), 1);
    QVERIFY2(errors.startsWith(message), qPrintable(errors));
}

QTEST_GUILESS_MAIN(TestPlayCommand)
#include "tst_playcommand.moc"
