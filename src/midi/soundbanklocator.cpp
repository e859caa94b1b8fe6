#include "soundbanklocator.h"

#include <QDir>
#include <QFileInfo>

QStringList SoundBankLocator::candidates(const QString &configured)
{
    const QDir system(systemFolder());
    const QStringList wanted{
        configured,
        qEnvironmentVariable("LUDRA_SOUNDFONT"),
        system.filePath(QStringLiteral("default-GM.sf2")),
        system.filePath(QStringLiteral("FluidR3_GM.sf2")),
        system.filePath(QStringLiteral("TimGM6mb.sf2")),
    };
    QStringList found;
    QStringList targets;
    for (const QString &name : wanted) {
        if (name.isEmpty())
            continue;
        const QFileInfo info(name);
        // default-GM.sf2 is a link to one of the others: each file once.
        const QString target = info.canonicalFilePath();
        if (!info.isFile() || targets.contains(target))
            continue;
        targets.append(target);
        found.append(info.filePath());
    }
    return found;
}

QString SoundBankLocator::locate(const QString &configured)
{
    return candidates(configured).value(0);
}
