// Render throughput: networks of 1, 8 and 32 voice groups, each on a hub
// node that sends voices along eight edges at once to nodes that send them
// back, rendered offline for a fixed stretch of grid time. Prints events per
// second and the speed as a multiple of real time, to show how the cost
// grows with the size.
#include "networkgenerator.h"
#include "qmdludra.h"
#include "qmdludracontroller.h"
#include "qmdludrarenderer.h"
#include "qmdmemmodel.h"
#include "standardmidifile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr qint64 StepTicks = QmdLudra::TicksPerPrincipal / 8;
constexpr double RenderedSeconds = 600;

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.warning=false"));
    QTemporaryDir dir;
    std::printf("Render throughput: %.0f s of music at tempo 120, fans of 8 parallel edges\n",
                RenderedSeconds);
    std::printf("%7s %9s %10s %10s %12s %12s\n", "groups", "events", "notes/s", "wall ms",
                "events/s", "x real time");
    for (const int groups : {1, 8, 32}) {
        const QString fileName = dir.filePath(QStringLiteral("fans%1.ldx").arg(groups));
        {
            QmdMemModel generated;
            NetworkGenerator::generateParallelFans(groups, 8, StepTicks, &generated);
            if (!NetworkGenerator::writeFile(&generated, fileName))
                return 1;
        }
        QmdMemModel model;
        QmdLudraController controller;
        controller.setModel(&model);
        controller.requestLoad(fileName);
        if (controller.fileName() != fileName) {
            std::printf("%7d the generated document did not load\n", groups);
            return 1;
        }
        QmdLudraRenderer renderer(&controller);
        renderer.setEndTick(renderer.endTickForSeconds(RenderedSeconds));
        QElapsedTimer timer;
        timer.start();
        const StandardMidiFile file = renderer.render();
        const qint64 ns = timer.nsecsElapsed();
        qint64 events = 0;
        for (const StandardMidiFileTrack &track : file.tracks)
            events += track.events.size();
        const double seconds = ns / 1e9;
        std::printf("%7d %9lld %10.0f %10.1f %12.0f %12.0f\n", groups, qlonglong(events),
                    events / 2 / RenderedSeconds, ns / 1e6, seconds > 0 ? events / seconds : 0,
                    seconds > 0 ? RenderedSeconds / seconds : 0);
        std::fflush(stdout);
    }
    return 0;
}
