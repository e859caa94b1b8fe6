// Soak: a dense generated network plays through recording instruments while
// a driver on the controller's thread makes random requests through the
// controller: adds, removes and moves nodes and edges, changes lists,
// signalling, tempo and instrument channels, copies and pastes, undoes and
// redoes, goes to the start, plays and pauses. The instruments are the
// controller's own, made as recording MIDI instruments. It fails on a crash,
// on a deadlock (a watchdog thread sees no request finish for 5 s), on a note
// still sounding after the final pause, or on resident memory that keeps
// growing after the first minute.
//
// Usage: soak [MINUTES]   (default 2)
#include "networkgenerator.h"
#include "processstats.h"
#include "qmdludra.h"
#include "qmdludracontroller.h"
#include "qmdmemmodel.h"
#include "recordingmidiinstrument.h"
#include "sendrecorder.h"

#include <QBitArray>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace {

constexpr qint64 StepTicks = QmdLudra::TicksPerPrincipal / 8;
constexpr int WatchdogSeconds = 5;
// Memory may settle within this much of its size at one minute.
constexpr qint64 GrowthAllowanceKiB = 16 * 1024;

// Aborts the process when the progress count stands still too long.
class Watchdog
{
public:
    Watchdog() : m_thread([this] { watch(); }) {}
    ~Watchdog()
    {
        {
            const std::lock_guard locker(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    void progress() { m_progress.fetch_add(1); }

private:
    void watch()
    {
        qint64 seen = -1;
        qint64 stillSince = ProcessStats::monotonicNanoseconds();
        std::unique_lock locker(m_mutex);
        while (
            !m_wake.wait_for(locker, std::chrono::milliseconds(250), [this] { return m_stop; })) {
            const qint64 now = ProcessStats::monotonicNanoseconds();
            const qint64 count = m_progress.load();
            if (count != seen) {
                seen = count;
                stillSince = now;
            } else if (now - stillSince > WatchdogSeconds * 1000000000LL) {
                std::printf("FAIL: deadlock, no request finished for %d s\n", WatchdogSeconds);
                std::fflush(stdout);
                std::abort();
            }
        }
    }

    std::atomic<qint64> m_progress{0};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::thread m_thread;
};

// Makes one random request through the controller each time it is called.
class Driver
{
public:
    explicit Driver(QmdLudraController *controller) : m_controller(controller) {}

    int requests() const { return m_requests; }

    void step()
    {
        ++m_requests;
        const QmdItemIdList ids = m_controller->ids(m_controller->elementsIndex());
        QList<QmdItemId> nodes;
        QList<QmdItemId> edges;
        for (QmdItemId id : ids) {
            const uint type = value(id, QStringLiteral("Type")).toUInt();
            if (type == QmdLudra::Node)
                nodes.append(id);
            else if (type == QmdLudra::Edge)
                edges.append(id);
        }
        if (m_startElements == 0) {
            m_startElements = ids.size();
            // The generated network stays, so that it keeps playing; what
            // the driver adds it may take away again.
            m_original = QmdItemIdSet(ids.cbegin(), ids.cend());
        }
        QList<QmdItemId> addedNodes;
        QList<QmdItemId> addedEdges;
        for (QmdItemId id : nodes)
            if (!m_original.contains(id))
                addedNodes.append(id);
        for (QmdItemId id : edges)
            if (!m_original.contains(id))
                addedEdges.append(id);
        // Keep the network about its first size, so that memory can settle.
        const int grow = ids.size() > m_startElements * 3 / 2 ? 0
                         : ids.size() < m_startElements / 2   ? 2
                                                              : 1;
        switch (m_random.bounded(16)) {
        case 0:
            if (grow)
                m_controller->requestAddNode(randomPos());
            break;
        case 1:
            if (grow && !nodes.isEmpty())
                m_controller->requestAddEdge(element(pick(nodes)), element(pick(nodes)),
                                             QmdLudra::EdgePath(m_random.bounded(3)));
            break;
        case 2:
            if (grow < 2 && !addedNodes.isEmpty())
                m_controller->requestRemove(element(pick(addedNodes)));
            break;
        case 3:
            if (grow < 2 && !addedEdges.isEmpty())
                m_controller->requestRemove(element(pick(addedEdges)));
            break;
        case 4:
        case 5:
            if (!nodes.isEmpty())
                m_controller->requestSetData(QStringLiteral("TickPos"),
                                             QVariant::fromValue(randomPos()),
                                             element(pick(nodes)));
            break;
        case 6:
        case 7:
            if (!nodes.isEmpty())
                m_controller->requestSetData(listKey(), randomList(), element(pick(nodes)));
            break;
        case 8:
            if (!nodes.isEmpty())
                m_controller->requestSetData(QStringLiteral("SignallingMethod"),
                                             m_random.bounded(3), element(pick(nodes)));
            break;
        case 9:
            m_controller->requestSetData(QStringLiteral("Tempo"), uint(m_random.bounded(40, 400)));
            break;
        case 10: {
            const QmdItemIdList instruments = m_controller->ids(m_controller->instrumentsIndex());
            if (!instruments.isEmpty()) {
                QBitArray channels(16);
                channels.setBit(m_random.bounded(16));
                m_controller->requestSetData(
                    QStringLiteral("MidiChannels"), channels,
                    m_controller->index(pick(instruments), m_controller->instrumentsIndex()));
            }
            break;
        }
        case 11:
            if (grow && !nodes.isEmpty()) {
                m_controller->requestPaste(m_controller->copyElements({pick(nodes), pick(nodes)}),
                                           randomPos());
            }
            break;
        case 12:
            m_controller->requestUndo();
            break;
        case 13:
            m_controller->requestRedo();
            break;
        case 14:
            if (m_random.bounded(8) == 0)
                m_controller->requestGotoStart();
            break;
        case 15:
            // Mostly playing: a pause is followed by play soon after.
            if (m_controller->isPlaying() && m_random.bounded(8) == 0)
                m_controller->requestPause();
            else
                m_controller->requestPlay();
            break;
        }
    }

private:
    QVariant value(QmdItemId id, const QString &key) const
    {
        return m_controller->data(m_controller->index(key, element(id)));
    }
    QmdIndex element(QmdItemId id) const
    {
        return m_controller->index(id, m_controller->elementsIndex());
    }
    QmdItemId pick(const QList<QmdItemId> &ids)
    {
        return ids.at(m_random.bounded(int(ids.size())));
    }
    QmdLudra::TickPos randomPos()
    {
        return {m_random.bounded(0, 24) * StepTicks, m_random.bounded(0, 48) * StepTicks};
    }
    QString listKey()
    {
        static const QStringList keys{QStringLiteral("PitchList"), QStringLiteral("VelocityList"),
                                      QStringLiteral("DurationList"),
                                      QStringLiteral("UserMidiMessageList")};
        return keys.at(m_random.bounded(int(keys.size())));
    }
    QString randomList()
    {
        static const QStringList entries{
            QStringLiteral("C3"),  QStringLiteral("A#4"),      QStringLiteral("+2"),
            QStringLiteral("-12"), QStringLiteral("64"),       QStringLiteral("127"),
            QStringLiteral("50%"), QStringLiteral("0.25"),     QStringLiteral("*2"),
            QStringLiteral("/3"),  QStringLiteral("90 3C 7F"), QStringLiteral("x"),
            QStringLiteral("")};
        QStringList list;
        for (int i = m_random.bounded(1, 6); i > 0; --i)
            list.append(entries.at(m_random.bounded(int(entries.size()))));
        return list.join(QLatin1Char(','));
    }

    QmdLudraController *const m_controller;
    QRandomGenerator m_random{20261205};
    int m_requests = 0;
    qsizetype m_startElements = 0;
    QmdItemIdSet m_original;
};

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.warning=false"));
    const int minutes = std::max(1, app.arguments().value(1, QStringLiteral("2")).toInt());

    QTemporaryDir dir;
    const QString fileName = dir.filePath(QStringLiteral("soak.ldx"));
    {
        QmdMemModel generated;
        NetworkGenerator::generateParallelFans(6, 6, StepTicks, &generated);
        if (!NetworkGenerator::writeFile(&generated, fileName)) {
            std::printf("FAIL: could not write %s\n", qPrintable(fileName));
            return 1;
        }
    }
    SendRecorder recorder(1024);

    int failures = 0;
    qint64 rssAtMinute = 0;
    qint64 rssAtEnd = 0;
    int requests = 0;
    {
        QmdMemModel model;
        QmdLudraController controller;
        controller.setPlaybackServices(RecordingMidiInstrument::services(&recorder));
        controller.setModel(&model);
        controller.requestLoad(fileName);
        if (controller.fileName() != fileName) {
            std::printf("FAIL: the generated document did not load\n");
            return 1;
        }
        // The application bounds its undo history; so does the soak, or the
        // history alone would grow without end.
        controller.requestSetUndoRedoLimit(200);

        Watchdog watchdog;
        Driver driver(&controller);
        QTimer timer;
        timer.setInterval(5);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            driver.step();
            watchdog.progress();
        });
        controller.requestPlay();
        timer.start();
        QElapsedTimer elapsed;
        elapsed.start();
        QEventLoop loop;
        QTimer minute;
        minute.setInterval(10000);
        QObject::connect(&minute, &QTimer::timeout, [&] {
            const qint64 rss = ProcessStats::residentKiB();
            if (elapsed.elapsed() >= 60000 && rssAtMinute == 0)
                rssAtMinute = rss;
            std::printf("  %3lld s: %d requests, %lld notes, %.1f MiB resident\n",
                        qlonglong(elapsed.elapsed() / 1000), driver.requests(),
                        qlonglong(recorder.noteOns()), rss / 1024.0);
            std::fflush(stdout);
            if (elapsed.elapsed() >= minutes * 60000LL)
                loop.quit();
        });
        minute.start();
        loop.exec();
        timer.stop();
        requests = driver.requests();

        controller.requestPause();
        QEventLoop settle;
        QTimer::singleShot(1000, &settle, &QEventLoop::quit);
        settle.exec();
        watchdog.progress();
        rssAtEnd = ProcessStats::residentKiB();
        const std::vector<SendRecorder::Sounding> sounding = recorder.soundingNotes();
        int stuck = 0;
        for (const SendRecorder::Sounding &note : sounding)
            stuck += note.count;
        if (stuck) {
            std::printf("FAIL: %d notes still sounding after the final pause\n", stuck);
            for (const SendRecorder::Sounding &note : sounding)
                std::printf("  instrument %d, channel %d, note %d: %d\n", note.port,
                            note.channel + 1, note.note, note.count);
            ++failures;
        }
    }

    if (rssAtMinute && rssAtEnd > rssAtMinute + GrowthAllowanceKiB) {
        std::printf("FAIL: resident memory grew from %.1f MiB at one minute to %.1f MiB\n",
                    rssAtMinute / 1024.0, rssAtEnd / 1024.0);
        ++failures;
    }
    std::printf("soak %d min: %d requests, %lld notes, resident %.1f MiB at 1 min, %.1f MiB at "
                "the end: %s\n",
                minutes, requests, qlonglong(recorder.noteOns()), rssAtMinute / 1024.0,
                rssAtEnd / 1024.0, failures ? "FAIL" : "PASS");
    return failures ? 1 : 0;
}
