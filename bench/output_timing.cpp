// Output timing: generated networks with 1, 8, 32 and 128 voices in chords
// play through real MIDI instruments whose port is a recorder, which notes
// how late every event leaves against its due time. A minimal thread that
// sleeps with clock_nanosleep(TIMER_ABSTIME) to the same due times, with the
// same timer slack, while the network plays, gives this machine's limit for
// a sleeping thread under the same load. Also
// measured: CPU time and wake-ups (context switches) per second while
// playing and while standing stopped.
#include "abstractsync.h"
#include "networkgenerator.h"
#include "processstats.h"
#include "qmdludra.h"
#include "qmdludracontroller.h"
#include "qmdludraplayback.h"
#include "qmdmemmodel.h"
#include "recordingmidiinstrument.h"
#include "sendrecorder.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/prctl.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

namespace {

constexpr int PlaySeconds = 10;
constexpr int StoppedSeconds = 3;
// An eighth of a principal: sixteen notes a second per voice at 120.
constexpr qint64 StepTicks = QmdLudra::TicksPerPrincipal / 8;

struct Usage
{
    qint64 wallNs = 0;
    qint64 cpuNs = 0;
    qint64 switches = 0;
    double cpuPerSecond() const { return wallNs ? double(cpuNs) / double(wallNs) : 0; }
    double wakeUpsPerSecond() const { return wallNs ? switches * 1e9 / double(wallNs) : 0; }
};

void runEventLoop(int seconds)
{
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
}

Usage measure(int seconds)
{
    const qint64 wall = ProcessStats::monotonicNanoseconds();
    const qint64 cpu = ProcessStats::cpuNanoseconds();
    const qint64 switches = ProcessStats::contextSwitches();
    runEventLoop(seconds);
    return {ProcessStats::monotonicNanoseconds() - wall, ProcessStats::cpuNanoseconds() - cpu,
            ProcessStats::contextSwitches() - switches};
}

// Sleeps, alongside playback, to every half step (the due times of the
// note ons and note offs) as the timing source converts them to clock time,
// with the output threads' timer slack of 1 ns, and notes how late it woke.
class Baseline
{
public:
    explicit Baseline(const AbstractSync *source) : m_source(source)
    {
        m_lateness.reserve(1 << 20);
        m_thread = std::thread([this] { run(); });
    }
    ~Baseline() { stop(); }

    // Ends the sleeping; the samples are complete afterwards.
    void stop()
    {
        m_stop.store(true);
        if (m_thread.joinable())
            m_thread.join();
    }
    const std::vector<qint64> &lateness() const { return m_lateness; }

private:
    void run()
    {
        prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
        while (!m_source->isRunning() && !m_stop.load())
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        const qint64 origin = ProcessStats::monotonicNanoseconds() - m_source->timePosition();
        for (qint64 k = 1; !m_stop.load() && m_lateness.size() < m_lateness.capacity(); ++k) {
            const qint64 at = origin + m_source->ticksToTime(k * StepTicks / 2);
            const timespec wake{time_t(at / 1000000000), long(at % 1000000000)};
            while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &wake, nullptr) != 0) {
            }
            m_lateness.push_back(ProcessStats::monotonicNanoseconds() - at);
        }
    }

    const AbstractSync *const m_source;
    std::atomic<bool> m_stop{false};
    std::vector<qint64> m_lateness;
    std::thread m_thread;
};

struct Figures
{
    qint64 p50 = 0;
    qint64 p99 = 0;
    qint64 p999 = 0;
    qint64 max = 0;
    qint64 early = 0;
};

Figures figures(std::vector<qint64> samples)
{
    Figures f;
    f.early = std::count_if(samples.begin(), samples.end(), [](qint64 ns) { return ns < 0; });
    std::sort(samples.begin(), samples.end());
    f.p50 = ProcessStats::quantile(samples, 0.5);
    f.p99 = ProcessStats::quantile(samples, 0.99);
    f.p999 = ProcessStats::quantile(samples, 0.999);
    f.max = samples.empty() ? 0 : samples.back();
    return f;
}

void printRow(const char *what, std::size_t events, const Figures &f)
{
    std::printf("  %-10s %8zu %9.1f %9.1f %9.1f %9.1f %6lld\n", what, events, f.p50 / 1e3,
                f.p99 / 1e3, f.p999 / 1e3, f.max / 1e3, qlonglong(f.early));
}

bool runLoad(int voices, const QString &fileName)
{
    {
        QmdMemModel generated;
        NetworkGenerator::generateChordRings(voices, StepTicks, 8, &generated);
        if (!NetworkGenerator::writeFile(&generated, fileName))
            return false;
    }
    SendRecorder recorder(4 * 1024 * 1024);
    QmdMemModel model;
    QmdLudraController controller;
    // The controller makes the document's instruments as it loads it.
    controller.setPlaybackServices(RecordingMidiInstrument::services(&recorder));
    controller.setModel(&model);
    controller.requestLoad(fileName);
    if (controller.fileName() != fileName)
        return false;
    runEventLoop(1);

    recorder.clearTiming();
    Baseline baseline(controller.playback().timingSource());
    controller.requestPlay();
    const Usage playing = measure(PlaySeconds);
    baseline.stop();
    controller.requestPause();
    const std::vector<qint64> lateness = recorder.lateness();
    const std::vector<qint64> &floor = baseline.lateness();
    const Usage stopped = measure(StoppedSeconds);

    const Figures sent = figures(lateness);
    const Figures slept = figures(floor);
    std::printf("%d voices: %zu events in %d s%s\n", voices, lateness.size(), PlaySeconds,
                recorder.dropped() ? " (recorder full, some dropped)" : "");
    std::printf("  %-10s %8s %9s %9s %9s %9s %6s\n", "lateness", "events", "p50 us", "p99 us",
                "p99.9 us", "max us", "early");
    printRow("instrument", lateness.size(), sent);
    printRow("baseline", floor.size(), slept);
    const auto ratio = [](qint64 a, qint64 b) { return b > 0 ? double(a) / double(b) : 0.0; };
    std::printf("  %-10s %8s %9.1f %9.1f %9.1f %9.1f\n", "ratio", "", ratio(sent.p50, slept.p50),
                ratio(sent.p99, slept.p99), ratio(sent.p999, slept.p999),
                ratio(sent.max, slept.max));
    std::printf("  CPU: %.1f%% of a core playing, %.2f%% stopped; wake-ups/s: %.0f playing, "
                "%.0f stopped\n\n",
                playing.cpuPerSecond() * 100, stopped.cpuPerSecond() * 100,
                playing.wakeUpsPerSecond(), stopped.wakeUpsPerSecond());
    std::fflush(stdout);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // The generated documents name no MIDI port; the instruments say so.
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.warning=false"));
    QTemporaryDir dir;
    std::printf("Output timing: lateness of sends against due times, %d s per load, tempo 120, "
                "a note every eighth principal per voice\n\n",
                PlaySeconds);
    for (const int voices : {1, 8, 32, 128}) {
        if (!runLoad(voices, dir.filePath(QStringLiteral("voices%1.ldx").arg(voices)))) {
            std::printf("%d voices: the generated document did not load\n", voices);
            return 1;
        }
    }
    return 0;
}
