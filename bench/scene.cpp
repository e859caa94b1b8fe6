// The network scene: the time to build the items of generated documents of
// 1,000 and 10,000 elements (the scene's reset after a load), the memory
// they add, and one frame of playback feedback with 128 voices flashing:
// draining the fired-node queue and repainting a 1280x800 view of the
// flashing nodes.
//
// Usage: scene
#include "abstractsync.h"
#include "displayscale.h"
#include "networkgenerator.h"
#include "networkscene.h"
#include "processstats.h"
#include "qmdludracontroller.h"
#include "qmdludraplayback.h"
#include "qmdmemmodel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QLoggingCategory>
#include <QPainter>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

void settle()
{
    QEventLoop loop;
    while (loop.processEvents(QEventLoop::AllEvents)) {
    }
}

void buildScenes()
{
    std::printf("Scene build (ms, MiB added to the resident memory)\n");
    std::printf("%9s %9s %9s\n", "elements", "build", "memory");
    for (const int size : {1000, 10000}) {
        QmdMemModel model;
        NetworkGenerator::generate(NetworkGenerator::shapeForElements(size), &model);
        QmdLudraController controller;
        controller.setModel(&model);
        settle();
        const qint64 before = ProcessStats::residentKiB();
        QElapsedTimer timer;
        timer.start();
        NetworkScene scene;
        scene.setController(&controller);
        const qint64 buildNs = timer.nsecsElapsed();
        std::printf("%9d %9.1f %9.1f\n", scene.elementItemCount(), buildNs / 1e6,
                    (ProcessStats::residentKiB() - before) / 1024.0);
        std::fflush(stdout);
    }
}

// 128 voices over the nodes of a 1,000-element document: every frame 32 of
// them fire and, each lasting four frames, as many go out.
void feedbackFrames()
{
    QmdMemModel model;
    NetworkGenerator::generate(NetworkGenerator::shapeForElements(1000), &model);
    QmdLudraController controller;
    controller.setModel(&model);
    NetworkScene scene;
    scene.setController(&controller);
    controller.requestPlay();
    settle();
    const AbstractSync *source = controller.playback().timingSource();
    if (!source || !source->isRunning()) {
        std::printf("feedback: playback did not start\n");
        return;
    }
    QmdItemIdList nodes;
    for (QmdItemId id : controller.ids(controller.elementsIndex())) {
        if (controller
                .data(controller.index(QmdLudra::TypeKey,
                                       controller.index(id, controller.elementsIndex())))
                .toUInt() == QmdLudra::Node)
            nodes.append(id);
    }
    const QmdItemId instrument = controller.ids(controller.instrumentsIndex()).value(0);
    const qint64 frameTicks = source->timeToTicks(NetworkScene::FrameMs * 1000000LL);
    QImage view(1280, 800, QImage::Format_ARGB32_Premultiplied);
    const QRectF shown(0, 0, 1280, 800);

    std::vector<qint64> drain, paint;
    const int frames = 600;
    for (int frame = 0; frame < frames; ++frame) {
        const qint64 now = source->tickPosition();
        for (int i = 0; i < NetworkScene::MaxRecordsPerFrame; ++i) {
            const int voice = (frame * NetworkScene::MaxRecordsPerFrame + i) % 128;
            FiredNode record;
            record.arrivalTick = now;
            record.voiceGroup = 1;
            record.voice = quint32(voice);
            record.node = nodes.value(voice % std::min<qsizetype>(nodes.size(), 48));
            record.instrument = instrument;
            record.velocity = 100;
            record.duration = 4 * frameTicks;
            controller.playback().firedNodes().append(record);
        }
        qint64 start = ProcessStats::monotonicNanoseconds();
        scene.checkFeedbackPipe();
        drain.push_back(ProcessStats::monotonicNanoseconds() - start);
        start = ProcessStats::monotonicNanoseconds();
        QPainter painter(&view);
        scene.render(&painter, shown, shown);
        painter.end();
        paint.push_back(ProcessStats::monotonicNanoseconds() - start);
        // The frame's time passes on the playback clock.
        while (source->tickPosition() < now + frameTicks)
            QThread::usleep(
                quint64(source->ticksToTime(now + frameTicks - source->tickPosition()) / 1000 + 1));
    }
    controller.requestPause();
    std::sort(drain.begin(), drain.end());
    std::sort(paint.begin(), paint.end());
    std::printf("Feedback frame with 128 voices (µs, %d frames)\n", frames);
    std::printf("%-28s %9s %9s %9s\n", "", "median", "p99", "max");
    std::printf("%-28s %9.0f %9.0f %9.0f\n", "drain the fired-node queue",
                ProcessStats::quantile(drain, 0.5) / 1e3, ProcessStats::quantile(drain, 0.99) / 1e3,
                drain.back() / 1e3);
    std::printf("%-28s %9.0f %9.0f %9.0f\n", "paint a 1280x800 view",
                ProcessStats::quantile(paint, 0.5) / 1e3, ProcessStats::quantile(paint, 0.99) / 1e3,
                paint.back() / 1e3);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.warning=false"));
    DisplayScale::pin(72);
    buildScenes();
    feedbackFrames();
    return 0;
}
