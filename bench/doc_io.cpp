// Document input and output: for generated documents of 1,000, 10,000 and
// 100,000 elements, the time to load a file into a usable document (the
// controller's reset and its reactions included), the time to save it, the
// peak resident memory of a process that does both, and the time Python's
// plistlib takes to parse the same file. Each size is measured in a fresh
// process so that the peak memory is that size's own.
//
// The loads of documents of 10,000 and 50,000 elements in the form older
// versions saved, which the controller converts as it loads them, follow in
// a second table.
//
// Usage: doc_io                                   the tables
//        doc_io --generate ELEMENTS FILE           writes one generated document
//        doc_io --generate-older ELEMENTS FILE     the same in the older form
//        doc_io --measure FILE                     one row's load, save and memory
#include "networkgenerator.h"
#include "processstats.h"
#include "qmdludracontroller.h"
#include "qmdmemmodel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <utility>

namespace {

// Runs the events the load left behind until none is left.
void settle()
{
    QEventLoop loop;
    while (loop.processEvents(QEventLoop::AllEvents)) {
    }
}

// Child: loads file, saves it next to itself and prints
// "elements load_ms save_ms peak_kib load_cpu_ms save_cpu_ms".
int measure(const QString &fileName)
{
    QmdMemModel model;
    QmdLudraController controller;
    controller.setModel(&model);
    settle();

    QElapsedTimer timer;
    timer.start();
    const qint64 cpuBefore = ProcessStats::cpuNanoseconds();
    controller.requestLoad(fileName);
    settle();
    const qint64 loadNs = timer.nsecsElapsed();
    const qint64 loadCpuNs = ProcessStats::cpuNanoseconds() - cpuBefore;
    if (controller.fileName() != fileName) {
        std::fprintf(stderr, "doc_io: %s did not load: %s\n", qPrintable(fileName),
                     qPrintable(controller.lastFileErrorString()));
        return 1;
    }
    const qsizetype elements = controller.ids(controller.elementsIndex()).size();

    const QString saved = fileName + QStringLiteral(".saved.ldx");
    timer.restart();
    const qint64 saveCpuBefore = ProcessStats::cpuNanoseconds();
    controller.requestSave(saved);
    settle();
    const qint64 saveNs = timer.nsecsElapsed();
    const qint64 saveCpuNs = ProcessStats::cpuNanoseconds() - saveCpuBefore;
    if (!QFileInfo::exists(saved)) {
        std::fprintf(stderr, "doc_io: %s was not saved\n", qPrintable(saved));
        return 1;
    }
    std::printf("%lld %.1f %.1f %lld %.1f %.1f\n", qlonglong(elements), loadNs / 1e6, saveNs / 1e6,
                qlonglong(ProcessStats::peakResidentKiB()), loadCpuNs / 1e6, saveCpuNs / 1e6);
    return 0;
}

bool generate(int elements, const QString &fileName, bool older = false)
{
    QmdMemModel generated;
    NetworkGenerator::generate(NetworkGenerator::shapeForElements(elements), &generated);
    if (older)
        NetworkGenerator::makeOlder(&generated);
    return NetworkGenerator::writeFile(&generated, fileName);
}

QByteArray run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return QByteArray();
    return process.readAllStandardOutput().trimmed();
}

// plistlib's wall time and CPU time in ms; -1 when it could not run.
std::pair<double, double> plistlibMs(const QString &fileName)
{
    const QString script = QStringLiteral("import plistlib, sys, time\n"
                                          "data = open(sys.argv[1], 'rb').read()\n"
                                          "start, cpu = time.perf_counter(), time.process_time()\n"
                                          "plistlib.loads(data)\n"
                                          "print((time.perf_counter() - start) * 1000,"
                                          " (time.process_time() - cpu) * 1000)\n");
    const QList<QByteArray> out =
        run(QStringLiteral("python3"), {QStringLiteral("-c"), script, fileName}).split(' ');
    bool wallOk = false;
    bool cpuOk = false;
    const double wall = out.value(0).toDouble(&wallOk);
    const double cpu = out.value(1).toDouble(&cpuOk);
    return {wallOk ? wall : -1, cpuOk ? cpu : -1};
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // A document from nowhere names MIDI ports this machine lacks.
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.warning=false"));
    const QStringList args = app.arguments();
    if (args.size() == 3 && args.at(1) == QStringLiteral("--measure"))
        return measure(args.at(2));
    if (args.size() == 4 && args.at(1) == QStringLiteral("--generate"))
        return generate(args.at(2).toInt(), args.at(3)) ? 0 : 1;
    if (args.size() == 4 && args.at(1) == QStringLiteral("--generate-older"))
        return generate(args.at(2).toInt(), args.at(3), true) ? 0 : 1;

    QTemporaryDir dir;
    // Wall times, and the CPU times of the load, the save and plistlib: on a busy
    // machine the second tells the work from the waiting.
    std::printf("Document input and output (times in ms, memory in MiB)\n");
    std::printf("%9s %8s %9s %9s %9s %9s %9s %9s %9s %10s %7s\n", "elements", "file MiB", "load",
                "load CPU", "save", "save CPU", "peak RSS", "plistlib", "its CPU", "load/plist",
                "loaded");
    for (const int size : {1000, 10000, 100000}) {
        const NetworkGenerator::Shape shape = NetworkGenerator::shapeForElements(size);
        const QString fileName = dir.filePath(QStringLiteral("doc%1.ldx").arg(size));
        if (!generate(size, fileName)) {
            std::printf("%9d could not write %s\n", size, qPrintable(fileName));
            return 1;
        }
        const QList<QByteArray> figures =
            run(app.applicationFilePath(), {QStringLiteral("--measure"), fileName}).split(' ');
        if (figures.size() != 6) {
            std::printf("%9d the measuring process failed\n", shape.elements());
            return 1;
        }
        const double loadMs = figures.at(1).toDouble();
        const auto [plistMs, plistCpuMs] = plistlibMs(fileName);
        std::printf("%9d %8.1f %9.1f %9.1f %9.1f %9.1f %9.1f %9.1f %9.1f %10.2f %7s\n",
                    shape.elements(), QFileInfo(fileName).size() / 1048576.0, loadMs,
                    figures.at(4).toDouble(), figures.at(2).toDouble(), figures.at(5).toDouble(),
                    figures.at(3).toDouble() / 1024.0, plistMs, plistCpuMs,
                    plistMs > 0 ? loadMs / plistMs : 0.0, figures.at(0).constData());
        std::fflush(stdout);
    }

    std::printf("\nOlder form, converted on load\n");
    std::printf("%9s %8s %9s %9s %9s %9s\n", "elements", "file MiB", "load", "load CPU", "peak RSS",
                "loaded");
    // The older form is a third larger: at 100,000 elements it passes the
    // importer's size limit.
    for (const int size : {10000, 50000}) {
        const QString fileName = dir.filePath(QStringLiteral("older%1.ldx").arg(size));
        if (!generate(size, fileName, true)) {
            std::printf("%9d could not write %s\n", size, qPrintable(fileName));
            return 1;
        }
        const QList<QByteArray> figures =
            run(app.applicationFilePath(), {QStringLiteral("--measure"), fileName}).split(' ');
        if (figures.size() != 6) {
            std::printf("%9d the measuring process failed\n", size);
            return 1;
        }
        std::printf("%9d %8.1f %9.1f %9.1f %9.1f %9s\n", size,
                    QFileInfo(fileName).size() / 1048576.0, figures.at(1).toDouble(),
                    figures.at(4).toDouble(), figures.at(3).toDouble() / 1024.0,
                    figures.at(0).constData());
        std::fflush(stdout);
    }
    return 0;
}
