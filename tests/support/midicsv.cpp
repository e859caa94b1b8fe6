#include "midicsv.h"

#include <QProcess>

QStringList readWithMidicsv(const QString &fileName)
{
    QProcess process;
    process.start(QStringLiteral("midicsv"), {fileName});
    if (!process.waitForFinished(60000))
        return {QStringLiteral("midicsv did not run (scripts/install-deps installs it)")};
    QStringList lines = QString::fromUtf8(process.readAllStandardOutput()).split(u'\n');
    lines.removeAll(QString());
    const QString errors = QString::fromUtf8(process.readAllStandardError()).trimmed();
    if (!errors.isEmpty() || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        lines.append(QStringLiteral("midicsv failed: ") + errors);
    return lines;
}
