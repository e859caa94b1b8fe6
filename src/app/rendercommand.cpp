#include "rendercommand.h"

#include "qmdludracontroller.h"
#include "qmdludrarenderer.h"
#include "qmdmemmodel.h"
#include "soundbanklocator.h"
#include "standardmidifile.h"
#include "waverenderer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSaveFile>
#include <QSettings>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("RenderCommand", text);
}

const QString OutputOption = QStringLiteral("output");
const QString PrincipalsOption = QStringLiteral("principals");
const QString SecondsOption = QStringLiteral("seconds");
const QString SeedOption = QStringLiteral("seed");
const QString SoundFontOption = QStringLiteral("soundfont");
const QString SampleRateOption = QStringLiteral("sample-rate");

// An audio render spends most of its time making sound; the notes come
// first and take a fifth of the progress shown, so that it never goes back.
constexpr double NotesShare = 0.2;

bool isWave(const QString &fileName)
{
    return fileName.endsWith(QLatin1String(".wav"), Qt::CaseInsensitive);
}

} // namespace

QString RenderCommand::name() const
{
    return QStringLiteral("render");
}

QString RenderCommand::summary() const
{
    return tr("Renders a document into a Standard MIDI File or a WAV file, faster than real "
              "time.");
}

QString RenderCommand::synopsis() const
{
    return QStringLiteral("FILE.ldx -o OUT.mid|OUT.wav [--principals P | --seconds S] [--seed N] "
                          "[--soundfont SF2] [--sample-rate N]");
}

QString RenderCommand::helpEpilogue() const
{
    return tr("The render is 64 principals long unless --principals or --seconds says\n"
              "otherwise, and ends early when no voice is left. An output ending in .wav is\n"
              "audio from the built-in synthesizer (16-bit stereo, with 2 s for the last\n"
              "notes to fade); any other is a MIDI file. Without --soundfont the sound bank\n"
              "is the first of: the SynthSoundBank setting, $LUDRA_SOUNDFONT,\n"
              "/usr/share/sounds/sf2/default-GM.sf2, FluidR3_GM.sf2, TimGM6mb.sf2. The same\n"
              "document, seed (and sound bank) always give the same file.\n"
              "\n"
              "Exit codes:\n"
              "  0  the file was written\n"
              "  2  bad arguments\n"
              "  3  the document cannot be read\n"
              "  4  the output file cannot be written (it is then left as it was)\n"
              "  5  (.wav) no sound bank can be loaded; nothing is written\n");
}

void RenderCommand::addOptions(QCommandLineParser &parser) const
{
    parser.addOption({{QStringLiteral("o"), OutputOption},
                      tr("Writes the MIDI file OUT.mid, or audio when it ends in .wav "
                         "(required)."),
                      QStringLiteral("OUT.mid")});
    parser.addOption(
        {PrincipalsOption, tr("Renders P principals (default 64)."), QStringLiteral("P")});
    parser.addOption({SecondsOption, tr("Renders S seconds at the document's tempo instead."),
                      QStringLiteral("S")});
    parser.addOption(
        {SeedOption, tr("Seeds the random choices with N (default 1)."), QStringLiteral("N")});
    parser.addOption({SoundFontOption, tr("Plays the .wav on the sound bank SF2 (.sf2, .sf3)."),
                      QStringLiteral("SF2")});
    parser.addOption({SampleRateOption,
                      tr("Renders the .wav at N samples a second, 8000 to 96000 (default "
                         "44100)."),
                      QStringLiteral("N")});
    parser.addPositionalArgument(QStringLiteral("FILE.ldx"), tr("The document to render."));
}

int RenderCommand::execute(const QCommandLineParser &parser)
{
    const std::optional<QString> fileName = documentArgument(parser);
    if (!fileName)
        return BadArguments;
    const QString outputName = parser.value(OutputOption);
    if (outputName.isEmpty())
        return fail(BadArguments, tr("no output file given (-o OUT.mid)"));
    if (parser.isSet(PrincipalsOption) && parser.isSet(SecondsOption))
        return fail(BadArguments, tr("give --principals or --seconds, not both"));
    std::optional<double> principals;
    std::optional<double> seconds;
    if (!readLength(parser, PrincipalsOption, &principals) ||
        !readLength(parser, SecondsOption, &seconds))
        return BadArguments;
    quint32 seed = 1;
    if (parser.isSet(SeedOption)) {
        bool ok = false;
        seed = parser.value(SeedOption).toUInt(&ok);
        if (!ok) {
            return fail(BadArguments,
                        tr("--seed needs a whole number from 0 to 4294967295, not \"%1\"")
                            .arg(parser.value(SeedOption)));
        }
    }

    const bool audio = isWave(outputName);
    int sampleRate = SynthEngine::DefaultSampleRate;
    if (!audio && (parser.isSet(SoundFontOption) || parser.isSet(SampleRateOption)))
        return fail(BadArguments, tr("--soundfont and --sample-rate are for a .wav output"));
    if (parser.isSet(SampleRateOption)) {
        bool ok = false;
        sampleRate = parser.value(SampleRateOption).toInt(&ok);
        if (!ok || sampleRate < SynthEngine::MinSampleRate ||
            sampleRate > SynthEngine::MaxSampleRate) {
            return fail(BadArguments,
                        tr("--sample-rate needs a whole number from %1 to %2, not \"%3\"")
                            .arg(SynthEngine::MinSampleRate)
                            .arg(SynthEngine::MaxSampleRate)
                            .arg(parser.value(SampleRateOption)));
        }
    }

    QmdMemModel model;
    QmdLudraController controller;
    controller.setModel(&model);
    if (!loadDocument(controller, *fileName))
        return UnreadableDocument;

    std::optional<WaveRenderer> wave;
    if (audio) {
        wave.emplace(sampleRate);
        const QString reason = loadSoundBank(parser, &*wave);
        if (!reason.isEmpty())
            return fail(NoSoundBank, reason);
    }

    // Opened before the render, so that a render is not wasted on a place
    // that cannot take its file; nothing appears there before commit().
    QSaveFile output(outputName);
    if (!output.open(QIODevice::WriteOnly)) {
        return fail(UnwritableOutput,
                    tr("cannot write %1: %2").arg(outputName, output.errorString()));
    }

    QmdLudraRenderer renderer(&controller);
    renderer.setEndTick(seconds ? renderer.endTickForSeconds(*seconds)
                                : renderer.endTickForPrincipals(
                                      principals.value_or(QmdLudraRenderer::DefaultPrincipals)));
    renderer.setSeed(seed);
    QElapsedTimer elapsed;
    elapsed.start();
    qint64 nextReportMs = QuietMs;
    const auto progress = [&](double done) {
        if (elapsed.elapsed() < nextReportMs)
            return;
        nextReportMs = elapsed.elapsed() + QuietMs;
        report(tr("%1% rendered").arg(int(done * 100)));
    };
    const double notesShare = audio ? NotesShare : 1.0;
    renderer.setProgressCallback([&](qint64 tick, qint64 endTick) {
        if (endTick > 0)
            progress(notesShare * double(tick) / double(endTick));
    });
    const StandardMidiFile midiFile = renderer.render();

    if (renderer.skippedUserMessages() > 0) {
        report(tr("warning: %1 user message(s) left out; a MIDI file holds only channel "
                  "messages")
                   .arg(renderer.skippedUserMessages()));
    }
    if (audio) {
        wave->setProgressCallback([&](qint64 frame, qint64 frames) {
            progress(notesShare + (1 - notesShare) * double(frame) / double(frames));
        });
        QString reason;
        if (!wave->render(midiFile, &output, &reason)) {
            output.cancelWriting();
            return fail(UnwritableOutput, tr("cannot write %1: %2").arg(outputName, reason));
        }
    } else {
        const QByteArray bytes = midiFile.toByteArray();
        if (output.write(bytes) != bytes.size()) {
            output.cancelWriting();
            return fail(UnwritableOutput,
                        tr("cannot write %1: %2").arg(outputName, output.errorString()));
        }
    }
    if (!output.commit()) {
        return fail(UnwritableOutput,
                    tr("cannot write %1: %2").arg(outputName, output.errorString()));
    }
    return Success;
}

QString RenderCommand::loadSoundBank(const QCommandLineParser &parser, WaveRenderer *wave) const
{
    QString error;
    if (parser.isSet(SoundFontOption)) {
        const QString fileName = parser.value(SoundFontOption);
        return wave->loadSoundBank(fileName, &error) ? QString()
                                                     : tr("no sound bank: %1").arg(error);
    }
    const QStringList candidates =
        SoundBankLocator::candidates(QSettings().value(SoundBankLocator::settingKey()).toString());
    for (const QString &fileName : candidates) {
        if (wave->loadSoundBank(fileName, &error))
            return QString();
    }
    return candidates.isEmpty()
               ? tr("no sound bank found; install timgm6mb-soundfont or give --soundfont")
               : tr("no sound bank: %1").arg(error);
}
