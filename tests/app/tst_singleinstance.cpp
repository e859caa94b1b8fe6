#include "ludraprocess.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// Generous: the machine may be busy with other builds and tests.
constexpr int WaitMs = 120000;

// The program with its document windows, on the offscreen display, with a
// temporary folder and settings of the test's own, saying which windows it
// shows (the "ludra.app" log) on its merged output. Otherwise as
// LudraProcess: no MIDI service, no audio output.
class Instance : public QProcess
{
public:
    Instance(const QTemporaryDir &home, const QString &workingDirectory)
    {
        const LudraProcess plain;
        setProgram(plain.program());
        QProcessEnvironment environment = plain.processEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("TMPDIR"), home.filePath(QStringLiteral("tmp")));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"),
                           home.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("QT_LOGGING_RULES"),
                           QStringLiteral("ludra.app.info=true"));
        setProcessEnvironment(environment);
        setProcessChannelMode(QProcess::MergedChannels);
        setWorkingDirectory(workingDirectory);
    }

    // Starts with the arguments and waits for the end; false when it did
    // not end on its own.
    bool run(const QStringList &arguments)
    {
        setArguments(arguments);
        start();
        return waitForEnd();
    }
    bool waitForEnd()
    {
        const bool ended = state() == QProcess::NotRunning || waitForFinished(WaitMs);
        m_out += readAll();
        const bool normal = ended && exitStatus() == QProcess::NormalExit;
        if (!normal && !m_killed)
            qWarning("ludra %s:\n%s", ended ? "crashed" : "hangs", m_out.constData());
        return normal;
    }

    // The log's lines that start with the text, in order, without the
    // category.
    QStringList lines(const QString &start) const
    {
        const QString prefix = QStringLiteral("ludra.app: ");
        QStringList found;
        for (const QString &line : QString::fromUtf8(m_out).split(u'\n')) {
            if (line.startsWith(prefix + start))
                found.append(line.mid(prefix.size()));
        }
        return found;
    }

    // Waits until the log holds count lines that start with the text.
    bool waitForLines(const QString &start, int count)
    {
        while (lines(start).size() < count) {
            if (state() == QProcess::NotRunning || !waitForReadyRead(WaitMs)) {
                m_out += readAll();
                qWarning("ludra showed too few windows:\n%s", m_out.constData());
                return false;
            }
            m_out += readAll();
        }
        return true;
    }

    QByteArray output() const { return m_out; }

    void stop()
    {
        m_killed = true;
        kill();
        waitForEnd();
    }

private:
    QByteArray m_out;
    bool m_killed = false;
};

const QString Shown = QStringLiteral("window shown: ");

QString shownFile(const QString &path)
{
    return Shown + u'"' + path + u'"';
}

} // namespace

// One instance of the program per user: later launches hand it their
// documents and end.
class TestSingleInstance : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void secondLaunchOpensItsFilesInTheFirst();
    void secondLaunchWithoutFilesOpensAnUntitledWindow();
    void fileAlreadyOpenIsRaised();
    void killedInstanceDoesNotBlockTheNext();
    void terminatedInstanceQuitsCleanly();
    void simultaneousLaunchesLeaveOneInstance();

private:
    // A first instance started with the arguments, once it shows its windows.
    std::unique_ptr<Instance> startFirst(const QStringList &arguments, int windows = 1);
    QString example(const QString &name) const;

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<Instance> m_first;
};

void TestSingleInstance::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    QVERIFY(m_home->isValid());
    QVERIFY(QDir(m_home->path()).mkpath(QStringLiteral("tmp")));
    QVERIFY(QDir(m_home->path()).mkpath(QStringLiteral("config")));
    QVERIFY(QDir(m_home->path()).mkpath(QStringLiteral("songs/sub")));
    QVERIFY(QDir(m_home->path()).mkpath(QStringLiteral("elsewhere")));
}

void TestSingleInstance::cleanup()
{
    if (m_first)
        m_first->stop();
    m_first.reset();
    m_home.reset();
}

QString TestSingleInstance::example(const QString &name) const
{
    const QString copy = m_home->filePath(QStringLiteral("songs/sub/") + name);
    if (!QFile::exists(copy)) {
        QFile::copy(qEnvironmentVariable("LUDRA_SOURCE_DIR") +
                        QStringLiteral("/resources/examples/round-in-g.ldx"),
                    copy);
    }
    return copy;
}

std::unique_ptr<Instance> TestSingleInstance::startFirst(const QStringList &arguments, int windows)
{
    auto first = std::make_unique<Instance>(*m_home, m_home->path());
    first->setArguments(arguments);
    first->start();
    first->waitForLines(Shown, windows);
    return first;
}

void TestSingleInstance::secondLaunchOpensItsFilesInTheFirst()
{
    const QString a = example(QStringLiteral("a.ldx"));
    const QString b = example(QStringLiteral("b.ldx"));
    m_first = startFirst({});
    QCOMPARE(m_first->lines(QStringLiteral("first instance")).size(), 1);

    // Relative to the second launch's folder, not the first's.
    Instance second(*m_home, m_home->filePath(QStringLiteral("songs")));
    QVERIFY(second.run({QStringLiteral("sub/b.ldx"), QStringLiteral("sub/a.ldx")}));
    QCOMPARE(second.exitCode(), 0);
    QVERIFY(second.lines(QStringLiteral("first instance")).isEmpty());

    QVERIFY(m_first->waitForLines(Shown, 3));
    QCOMPARE(m_first->lines(Shown),
             (QStringList{Shown + QStringLiteral("untitled"), shownFile(b), shownFile(a)}));
}

void TestSingleInstance::secondLaunchWithoutFilesOpensAnUntitledWindow()
{
    m_first = startFirst({example(QStringLiteral("a.ldx"))});

    Instance second(*m_home, m_home->filePath(QStringLiteral("elsewhere")));
    QVERIFY(second.run({}));
    QCOMPARE(second.exitCode(), 0);

    QVERIFY(m_first->waitForLines(Shown, 2));
    QCOMPARE(m_first->lines(Shown).last(), Shown + QStringLiteral("untitled"));
}

void TestSingleInstance::fileAlreadyOpenIsRaised()
{
    const QString a = example(QStringLiteral("a.ldx"));
    const QString b = example(QStringLiteral("b.ldx"));
    m_first = startFirst({a});

    // Named by another path to the same file, then a file not yet open.
    Instance second(*m_home, m_home->filePath(QStringLiteral("elsewhere")));
    QVERIFY(second.run({QStringLiteral("../songs/./sub/a.ldx"), b}));
    QCOMPARE(second.exitCode(), 0);

    QVERIFY(m_first->waitForLines(Shown, 2));
    QCOMPARE(m_first->lines(Shown), (QStringList{shownFile(a), shownFile(b)}));
    QCOMPARE(m_first->lines(QStringLiteral("window raised: ")),
             QStringList{QStringLiteral("window raised: \"%1\"").arg(a)});
}

void TestSingleInstance::killedInstanceDoesNotBlockTheNext()
{
    Instance killed(*m_home, m_home->path());
    killed.start();
    QVERIFY(killed.waitForLines(Shown, 1));
    killed.stop();
    // Its socket is still there, and answers nobody.
    const QStringList left = QDir(m_home->filePath(QStringLiteral("tmp")))
                                 .entryList({QStringLiteral("ludra-*")}, QDir::System);
    QCOMPARE(left.size(), 1);

    m_first = startFirst({});
    QCOMPARE(m_first->lines(QStringLiteral("first instance")).size(), 1);
    Instance second(*m_home, m_home->path());
    QVERIFY(second.run({}));
    QCOMPARE(second.exitCode(), 0);
    QVERIFY(m_first->waitForLines(Shown, 2));
}

void TestSingleInstance::terminatedInstanceQuitsCleanly()
{
    // Playing, as the user left it; termination quits as File > Exit does.
    m_first = startFirst({QStringLiteral("--play"), example(QStringLiteral("a.ldx"))});
    m_first->terminate();
    QVERIFY(m_first->waitForEnd());
    QCOMPARE(m_first->exitCode(), 0);
    QVERIFY(QDir(m_home->filePath(QStringLiteral("tmp")))
                .entryList({QStringLiteral("ludra-*")}, QDir::System)
                .isEmpty());
    m_first.reset();
}

void TestSingleInstance::simultaneousLaunchesLeaveOneInstance()
{
    auto one = std::make_unique<Instance>(*m_home, m_home->path());
    auto two = std::make_unique<Instance>(*m_home, m_home->path());
    one->start();
    two->start();

    // One hands over and ends; the other shows both windows.
    QEventLoop loop;
    Instance *ended = nullptr;
    for (Instance *instance : {one.get(), two.get()}) {
        connect(instance, &QProcess::finished, &loop, [&loop, &ended, instance] {
            ended = instance;
            loop.quit();
        });
    }
    loop.exec();
    QVERIFY(ended);
    QVERIFY(ended->waitForEnd());
    QCOMPARE(ended->exitCode(), 0);
    QVERIFY(ended->lines(QStringLiteral("first instance")).isEmpty());
    m_first = ended == one.get() ? std::move(two) : std::move(one);
    QCOMPARE(m_first->state(), QProcess::Running);
    QVERIFY(m_first->waitForLines(Shown, 2));
    QCOMPARE(m_first->lines(QStringLiteral("first instance")).size(), 1);
}

QTEST_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
