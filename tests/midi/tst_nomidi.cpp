// Without any MIDI service the MIDI layer stays quiet: no ports, no opens, no
// sends, and nothing printed. Each case runs in a child process of this
// executable, because the MIDI API is chosen once per process.

#include "midiinput.h"
#include "midioutput.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTest>

#include <cstdio>

namespace {

const char *const ChildArgument = "--no-midi-child";

// Exercises the MIDI layer and reports what it saw on the standard output.
int runChild(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    MidiOutput output;
    output.setChannels(QBitArray(16, true));
    MidiInput input;
    const bool outputOpens = output.open(QStringLiteral("any port"));
    const bool inputOpens = input.open(QStringLiteral("any port"));
    std::printf("outputs %d inputs %d open %d %d send %d %d %d\n",
                int(MidiOutput::outputPortNames().size()), int(MidiInput::inputPortNames().size()),
                int(outputOpens), int(inputOpens),
                int(output.sendEvents({InstrumentEvent::noteOn(0, 60, 100)})),
                int(output.allNotesOff()), int(output.sendRaw(QByteArray(1, char(0xF8)))));
    return 0;
}

} // namespace

class TestNoMidi : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void quietWithoutMidi_data();
    void quietWithoutMidi();
};

void TestNoMidi::quietWithoutMidi_data()
{
    QTest::addColumn<QString>("api");
    QTest::addColumn<QString>("logging");
    QTest::addColumn<QString>("diagnostic");

    QTest::newRow("chosen automatically") << QString() << QString() << QString();
    QTest::newRow("unknown API: chosen automatically") << "coreaudio" << QString() << QString();
    // The services' messages are not lost but logged, off by default.
    QTest::newRow("JACK's message, logged on request") << "jack"
                                                       << "ludra.midi.info=true"
                                                       << "JACK: Cannot connect to server";
    QTest::newRow("ALSA's message, logged on request") << "alsa"
                                                       << "ludra.midi.info=true"
                                                       << "ALSA: ";
}

void TestNoMidi::quietWithoutMidi()
{
    QFETCH(QString, api);
    QFETCH(QString, logging);
    QFETCH(QString, diagnostic);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("LUDRA_MIDI_API"));
    environment.remove(QStringLiteral("QT_LOGGING_RULES"));
    if (!api.isEmpty())
        environment.insert(QStringLiteral("LUDRA_MIDI_API"), api);
    if (!logging.isEmpty())
        environment.insert(QStringLiteral("QT_LOGGING_RULES"), logging);
    // No JACK server answers to a name nobody uses, and none is started.
    environment.insert(
        QStringLiteral("JACK_DEFAULT_SERVER"),
        QStringLiteral("ludra-no-server-%1").arg(QCoreApplication::applicationPid()));
    environment.insert(QStringLiteral("JACK_NO_START_SERVER"), QStringLiteral("1"));

    QProcess child;
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(ChildArgument)});
    QVERIFY(child.waitForFinished(120000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    QCOMPARE(QString::fromLocal8Bit(child.readAllStandardOutput()),
             QStringLiteral("outputs 0 inputs 0 open 0 0 send 0 0 0\n"));
    const QString errors = QString::fromLocal8Bit(child.readAllStandardError());
    if (diagnostic.isEmpty())
        QCOMPARE(errors, QString());
    else
        QVERIFY2(errors.contains(diagnostic), qPrintable(errors));
}

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], ChildArgument) == 0)
        return runChild(argc, argv);
    QCoreApplication app(argc, argv);
    TestNoMidi test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_nomidi.moc"
