#include "ludraprocess.h"

#include <QTest>

// Help is where the commands and their exit codes are documented; it comes
// on the standard output with exit code 0, and needs no display.
class TestHeadlessCommand : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void helpNamesWhatThereIs_data();
    void helpNamesWhatThereIs();
};

void TestHeadlessCommand::helpNamesWhatThereIs_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("mentions");

    QTest::newRow("ludra --help: the commands")
        << QStringList{"--help"}
        << QStringList{"Usage: ", "  play ", "  render ", "ludra COMMAND --help"};
    QTest::newRow("ludra play --help") << QStringList{"play", "--help"}
                                       << QStringList{"Usage: ludra play FILE.ldx",
                                                      "--seconds <N>",
                                                      "--console",
                                                      "--synth",
                                                      "Exit codes:\n  0 ",
                                                      "\n  2  bad arguments\n",
                                                      "\n  3  the document cannot be read\n",
                                                      "\n  5  (--synth) no sound bank",
                                                      "\n  6  (--synth) no audio output"};
    QTest::newRow("ludra render -h") << QStringList{"render", "-h"}
                                     << QStringList{"Usage: ludra render FILE.ldx -o OUT.mid",
                                                    "--principals <P>",
                                                    "--seconds <S>",
                                                    "--seed <N>",
                                                    "--soundfont <SF2>",
                                                    "--sample-rate <N>",
                                                    "\n  2  bad arguments\n",
                                                    "\n  3  the document cannot be read\n",
                                                    "\n  4  the output file cannot be written",
                                                    "\n  5  (.wav) no sound bank"};
}

void TestHeadlessCommand::helpNamesWhatThereIs()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, mentions);

    LudraProcess ludra;
    QVERIFY(ludra.run(arguments));
    QCOMPARE(ludra.exitCode(), 0);
    QCOMPARE(ludra.standardError(), QByteArray());
    const QString help = QString::fromUtf8(ludra.standardOutput());
    for (const QString &mention : mentions)
        QVERIFY2(help.contains(mention), qPrintable(mention + u'\n' + help));
}

QTEST_GUILESS_MAIN(TestHeadlessCommand)
#include "tst_headlesscommand.moc"
