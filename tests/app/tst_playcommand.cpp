#include "commanddocuments.h"
#include "ludraprocess.h"

#include <QRegularExpression>
#include <QTest>

#include <signal.h>

namespace {

constexpr qint64 Principal = CommandDocuments::Principal;

// The printed events as "type tick pitch velocity", ticks counted from the
// first event: when the clock starts is the machine's business.
QStringList printedEvents(const QByteArray &output)
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
        // Anything between the blocks would be a line that does not belong.
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

QString printedEvent(int type, qint64 tick, int pitch, int velocity)
{
    return QStringLiteral("%1 %2 %3 %4").arg(type).arg(tick).arg(pitch).arg(velocity);
}

} // namespace

class TestPlayCommand : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void playsTheNotesOnTheConsole_data();
    void playsTheNotesOnTheConsole();
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
    QTest::newRow("no MIDI output: printed all the same")
        << QStringList() << "ludra play: this machine has no MIDI output";
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
        printedEvent(0, 0, 60, 100),           // A
        printedEvent(1, Principal / 2, 60, 0), // A's 25% of two principals
        printedEvent(0, Principal, 64, 90),    // B, one principal on
        printedEvent(1, Principal + Principal / 4, 64, 0),
        printedEvent(0, 2 * Principal, 67, 80), // C, two principals on
        printedEvent(1, 2 * Principal + Principal / 2, 67, 0),
    };
    QCOMPARE(printedEvents(ludra.standardOutput()), expected);
    const QString errors = QString::fromUtf8(ludra.standardError());
    QVERIFY2(notice.isEmpty() || errors.startsWith(notice), qPrintable(errors));
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
        QVERIFY(ludra.waitForOutput("velocity"));
        QCOMPARE(::kill(pid_t(ludra.processId()), signal), 0);
        QVERIFY(ludra.waitForEnd());
    }
    QCOMPARE(ludra.exitCode(), 0);
    const QStringList events = printedEvents(ludra.standardOutput());
    QVERIFY(!events.isEmpty());
    QCOMPARE(events.first(), printedEvent(0, 0, 60, 64));
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
