#include "playcommand.h"
#include "rendercommand.h"

#ifdef LUDRA_WITH_GUI
#include "ludraapplication.h"
#include "singleinstance.h"
#endif

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <memory>
#include <vector>

namespace {

std::vector<std::unique_ptr<HeadlessCommand>> headlessCommands()
{
    std::vector<std::unique_ptr<HeadlessCommand>> commands;
    commands.push_back(std::make_unique<PlayCommand>());
    commands.push_back(std::make_unique<RenderCommand>());
    return commands;
}

QString description(const std::vector<std::unique_ptr<HeadlessCommand>> &commands)
{
    QString text =
        QCoreApplication::translate("main", "Ludra, a network score that plays itself.") + u'\n' +
        QCoreApplication::translate("main", "\nCommands (no window needed):\n");
    for (const auto &command : commands)
        text += QStringLiteral("  %1  %2\n").arg(command->name(), -7).arg(command->summary());
    return text + QCoreApplication::translate("main",
                                              "\nRun \"ludra COMMAND --help\" for a command's "
                                              "options.");
}

#ifdef LUDRA_WITH_GUI
// Qt aborts the process when its platform finds no display: a launch without
// one is told so instead.
bool displayAvailable()
{
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
           !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}
#endif

} // namespace

int main(int argc, char *argv[])
{
    QStringList files;
    bool playFiles = false;
    {
        // The commands and the options below need no display: a core
        // application runs over ssh and in scripts, and never looks for a
        // running instance.
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("Ludra"));
        QCoreApplication::setApplicationVersion(QStringLiteral(LUDRA_VERSION));
        QCoreApplication::setOrganizationName(QStringLiteral("Ludra"));

        const std::vector<std::unique_ptr<HeadlessCommand>> commands = headlessCommands();
        const QStringList arguments = QCoreApplication::arguments();
        if (arguments.size() > 1) {
            for (const auto &command : commands) {
                if (arguments.at(1) == command->name())
                    return command->run(arguments.mid(1));
            }
        }

        QCommandLineParser parser;
        parser.setApplicationDescription(description(commands));
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addPositionalArgument(
            QStringLiteral("files"),
            QCoreApplication::translate("main", "Documents (.ldx) to open, in windows of the "
                                                "running Ludra if there is one."),
            QStringLiteral("[files...]"));
        const QCommandLineOption play(
            QStringLiteral("play"),
            QCoreApplication::translate("main", "Starts playing the documents named as soon as "
                                                "their windows open."));
        parser.addOption(play);
        parser.process(app);
        files = parser.positionalArguments();
        playFiles = parser.isSet(play);

#ifdef LUDRA_WITH_GUI
        // A running Ludra takes the documents without this launch opening a
        // display of its own, so that it works from a terminal without one.
        SingleInstance running(LudraApplication::singleInstanceId());
        if (running.reachRunning())
            return LudraApplication::handOver(&running, files);
        if (!displayAvailable()) {
            QTextStream(stderr) << QCoreApplication::translate(
                                       "main", "ludra: no display to show a window on (DISPLAY "
                                               "is not set); play and render need none")
                                << Qt::endl;
            return 1;
        }
#endif
    }

#ifdef LUDRA_WITH_GUI
    // Only now, with a document window to show, is a display needed.
    LudraApplication app(argc, argv, files);
    if (app.handedOver())
        return app.handOverExitCode();
    app.setPlayFilesOnOpen(playFiles);
    return app.exec();
#else
    QTextStream(stderr) << QCoreApplication::translate(
                               "main", "This build of Ludra has no document windows; "
                                       "see --help for what it offers.")
                        << Qt::endl;
    return 1;
#endif
}
