// Audio render speed: every example document (resources/examples/*.ldx, or
// the folder given) rendered as `ludra render EXAMPLE -o OUT.wav` renders
// it by default (64 principals, seed 1) with TimGM6mb at 44.1 kHz, into
// memory. The notes are rendered first and not timed; the audio is. Prints
// the audio's length, the time its render took and the speed as a multiple
// of real time.
#include "qmdludracontroller.h"
#include "qmdludrarenderer.h"
#include "qmdmemmodel.h"
#include "standardmidifile.h"
#include "waverenderer.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLoggingCategory>

#include <cstdio>

namespace {

const QString SoundBank = QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2");
constexpr int SampleRate = 44100;

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.warning=false"));
    const QDir folder(argc > 1 ? QString::fromLocal8Bit(argv[1])
                               : QStringLiteral(LUDRA_SOURCE_DIR "/resources/examples"));
    const QStringList examples =
        folder.entryList({QStringLiteral("*.ldx")}, QDir::Files, QDir::Name);
    if (examples.isEmpty()) {
        std::printf("no examples in %s\n", qPrintable(folder.path()));
        return 1;
    }
    std::printf("Audio render: each example as `ludra render` renders it by default, "
                "TimGM6mb, %d Hz\n",
                SampleRate);
    std::printf("%-26s %7s %9s %9s %12s\n", "example", "notes", "audio s", "wall ms",
                "x real time");
    for (const QString &name : examples) {
        QmdMemModel model;
        QmdLudraController controller;
        controller.setModel(&model);
        controller.requestLoad(folder.filePath(name));
        if (controller.fileName() != folder.filePath(name)) {
            std::printf("%-26s did not load\n", qPrintable(name));
            return 1;
        }
        QmdLudraRenderer renderer(&controller);
        renderer.setEndTick(renderer.endTickForPrincipals(QmdLudraRenderer::DefaultPrincipals));
        renderer.setSeed(1);
        const StandardMidiFile midi = renderer.render();
        qint64 notes = 0;
        for (const StandardMidiFileTrack &track : midi.tracks) {
            for (const StandardMidiFileEvent &event : track.events) {
                const bool noteOn = (quint8(event.message.at(0)) & 0xF0) == 0x90;
                notes += noteOn && event.message.size() > 2 && event.message.at(2) != 0 ? 1 : 0;
            }
        }

        WaveRenderer wave(SampleRate);
        QString error;
        if (!wave.loadSoundBank(SoundBank, &error)) {
            std::printf("%s\n", qPrintable(error));
            return 1;
        }
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QElapsedTimer timer;
        timer.start();
        if (!wave.render(midi, &buffer, &error)) {
            std::printf("%-26s %s\n", qPrintable(name), qPrintable(error));
            return 1;
        }
        const double wallSeconds = timer.nsecsElapsed() / 1e9;
        const double audioSeconds = double(wave.frameCount(midi)) / SampleRate;
        std::printf("%-26s %7lld %9.1f %9.1f %12.0f\n", qPrintable(name), qlonglong(notes),
                    audioSeconds, wallSeconds * 1e3, audioSeconds / wallSeconds);
        std::fflush(stdout);
    }
    return 0;
}
