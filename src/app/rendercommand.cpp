#include "rendercommand.h"

#include "qmdludracontroller.h"
#include "qmdludrarenderer.h"
#include "qmdmemmodel.h"
#include "standardmidifile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSaveFile>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("RenderCommand", text);
}

const QString OutputOption = QStringLiteral("output");
const QString PrincipalsOption = QStringLiteral("principals");
const QString SecondsOption = QStringLiteral("seconds");
const QString SeedOption = QStringLiteral("seed");

} // namespace

QString RenderCommand::name() const
{
    return QStringLiteral("render");
}

QString RenderCommand::summary() const
{
    return tr("Renders a document into a Standard MIDI File, faster than real time.");
}

QString RenderCommand::synopsis() const
{
    return QStringLiteral("FILE.ldx -o OUT.mid [--principals P | --seconds S] [--seed N]");
}

QString RenderCommand::helpEpilogue() const
{
    return tr("The render is 64 principals long unless --principals or --seconds says\n"
              "otherwise, and ends early when no voice is left. The same document and seed\n"
              "always give the same file.\n"
              "\n"
              "Exit codes:\n"
              "  0  the file was written\n"
              "  2  bad arguments\n"
              "  3  the document cannot be read\n"
              "  4  the output file cannot be written (it is then left as it was)\n");
}

void RenderCommand::addOptions(QCommandLineParser &parser) const
{
    parser.addOption({{QStringLiteral("o"), OutputOption},
                      tr("Writes the MIDI file to OUT.mid (required)."),
                      QStringLiteral("OUT.mid")});
    parser.addOption(
        {PrincipalsOption, tr("Renders P principals (default 64)."), QStringLiteral("P")});
    parser.addOption({SecondsOption, tr("Renders S seconds at the document's tempo instead."),
                      QStringLiteral("S")});
    parser.addOption(
        {SeedOption, tr("Seeds the random choices with N (default 1)."), QStringLiteral("N")});
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

    QmdMemModel model;
    QmdLudraController controller;
    controller.setModel(&model);
    if (!loadDocument(controller, *fileName))
        return UnreadableDocument;

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
    renderer.setProgressCallback([&](qint64 tick, qint64 endTick) {
        if (elapsed.elapsed() < nextReportMs || endTick <= 0)
            return;
        nextReportMs = elapsed.elapsed() + QuietMs;
        report(tr("%1% rendered").arg(tick * 100 / endTick));
    });
    const QByteArray bytes = renderer.render().toByteArray();

    if (renderer.skippedUserMessages() > 0) {
        report(tr("warning: %1 user message(s) left out; a MIDI file holds only channel "
                  "messages")
                   .arg(renderer.skippedUserMessages()));
    }
    if (output.write(bytes) != bytes.size() || !output.commit()) {
        return fail(UnwritableOutput,
                    tr("cannot write %1: %2").arg(outputName, output.errorString()));
    }
    return Success;
}
