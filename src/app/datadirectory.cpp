#include "datadirectory.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

QString existing(const QString &path)
{
    return QFileInfo::exists(path) ? QDir::cleanPath(path) : QString();
}

// The program runs from its build folder, not from an installation.
bool runsFromBuildTree()
{
    const QString build = QDir::cleanPath(QStringLiteral(LUDRA_BUILD_DIR)) + u'/';
    return QDir::cleanPath(QCoreApplication::applicationDirPath()).startsWith(build);
}

} // namespace

QString DataDirectory::path()
{
    static const QString found = [] {
        if (runsFromBuildTree())
            return existing(QStringLiteral(LUDRA_SOURCE_DIR "/resources"));
        const QString beside =
            existing(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/ludra"));
        if (!beside.isEmpty())
            return beside;
        return existing(QStringLiteral(LUDRA_INSTALL_DATA_DIR));
    }();
    return found;
}

QString DataDirectory::templateFile()
{
    const QString folder = path();
    return folder.isEmpty() ? QString() : existing(folder + QStringLiteral("/template.ldx"));
}

QString DataDirectory::examplesFolder()
{
    const QString folder = path();
    return folder.isEmpty() ? QString() : existing(folder + QStringLiteral("/examples"));
}

QString DataDirectory::readmeFile()
{
    if (runsFromBuildTree())
        return existing(QStringLiteral(LUDRA_SOURCE_DIR "/README.md"));
    const QString beside = existing(QCoreApplication::applicationDirPath() +
                                    QStringLiteral("/../share/doc/ludra/README.md"));
    if (!beside.isEmpty())
        return beside;
    return existing(QStringLiteral(LUDRA_INSTALL_DOC_DIR "/README.md"));
}
