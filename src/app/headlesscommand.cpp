#include "headlesscommand.h"

#include "qmdludracontroller.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTextStream>

#include <cmath>

int HeadlessCommand::run(const QStringList &arguments)
{
    // A failure is told in one line of the command's own. The document
    // framework's diagnostics say the same at length; QT_LOGGING_RULES
    // brings them back.
    QLoggingCategory::setFilterRules(QStringLiteral("ludra.model*.warning=false"));
    QCommandLineParser parser;
    parser.setApplicationDescription(summary());
    const QCommandLineOption help(
        {QStringLiteral("h"), QStringLiteral("help")},
        QCoreApplication::translate("HeadlessCommand", "Displays help on this command."));
    parser.addOption(help);
    addOptions(parser);
    if (!parser.parse(arguments))
        return fail(BadArguments, parser.errorText());
    if (parser.isSet(help)) {
        QTextStream(stdout) << helpText(parser);
        return Success;
    }
    return execute(parser);
}

void HeadlessCommand::report(const QString &message) const
{
    QTextStream(stderr) << "ludra " << name() << ": " << message << Qt::endl;
}

int HeadlessCommand::fail(ExitCode code, const QString &message) const
{
    report(message);
    return code;
}

std::optional<QString> HeadlessCommand::documentArgument(const QCommandLineParser &parser) const
{
    const QStringList files = parser.positionalArguments();
    if (files.size() == 1)
        return files.first();
    report(files.isEmpty()
               ? QCoreApplication::translate("HeadlessCommand", "no document given (see --help)")
               : QCoreApplication::translate("HeadlessCommand", "one document at a time, not %1")
                     .arg(files.size()));
    return std::nullopt;
}

bool HeadlessCommand::readLength(const QCommandLineParser &parser, const QString &option,
                                 std::optional<double> *value) const
{
    *value = std::nullopt;
    if (!parser.isSet(option))
        return true;
    const QString text = parser.value(option);
    bool ok = false;
    const double number = text.toDouble(&ok);
    if (!ok || !std::isfinite(number) || number <= 0 || number > MaxLength) {
        report(QCoreApplication::translate("HeadlessCommand",
                                           "--%1 needs a number above 0 and up to %2, not \"%3\"")
                   .arg(option)
                   .arg(MaxLength, 0, 'f', 0)
                   .arg(text));
        return false;
    }
    *value = number;
    return true;
}

bool HeadlessCommand::loadDocument(QmdLudraController &controller, const QString &fileName) const
{
    controller.requestLoad(fileName);
    const QString reason = controller.lastFileErrorString();
    if (reason.isEmpty())
        return true;
    report(QCoreApplication::translate("HeadlessCommand", "cannot read %1: %2")
               .arg(QFileInfo(fileName).filePath(), reason.simplified()));
    return false;
}

// The parser's own usage line names the program as it was started; a
// command names itself.
QString HeadlessCommand::helpText(const QCommandLineParser &parser) const
{
    QString text = parser.helpText();
    const qsizetype endOfUsage = text.indexOf(u'\n');
    text.replace(0, endOfUsage, QStringLiteral("Usage: ludra %1 %2").arg(name(), synopsis()));
    return text + u'\n' + helpEpilogue();
}
