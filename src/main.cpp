#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Ludra"));
    QCoreApplication::setApplicationVersion(QStringLiteral(LUDRA_VERSION));
    QCoreApplication::setOrganizationName(QStringLiteral("Ludra"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QCoreApplication::translate("main", "Ludra, a network score that plays itself."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("files"),
                                 QCoreApplication::translate("main", "Documents (.ldx) to open."),
                                 QStringLiteral("[files...]"));
    parser.process(app);

    QTextStream err(stderr);
    err << QCoreApplication::translate("main", "Ludra's document windows are not built yet; "
                                               "see --help for what this build offers.")
        << Qt::endl;
    return 0;
}
