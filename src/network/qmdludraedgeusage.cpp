#include "qmdludraedgeusage.h"

#include <QSet>
#include <QStringList>

#include <limits>

namespace {

const QChar Separator = QLatin1Char(',');
const QChar Equals = QLatin1Char('=');

} // namespace

QmdItemId QmdLudraEdgeUsage::entryEdge(const QString &entry)
{
    bool ok = false;
    const QmdItemId id = entry.section(Equals, 0, 0).toUInt(&ok, 10);
    return ok ? id : 0;
}

QString QmdLudraEdgeUsage::withEdgeAppended(const QString &list, QmdItemId edge)
{
    QString result = list;
    if (!result.isEmpty())
        result += Separator;
    return result + QString::number(edge) + QStringLiteral("=1");
}

QString QmdLudraEdgeUsage::withoutEdge(const QString &list, QmdItemId edge)
{
    QStringList entries = list.split(Separator, Qt::KeepEmptyParts);
    entries.removeIf([edge](const QString &entry) { return entryEdge(entry) == edge; });
    return entries.join(Separator);
}

QString QmdLudraEdgeUsage::renumbered(const QString &list,
                                      const QHash<QmdItemId, QmdItemId> &newIds)
{
    QStringList kept;
    for (const QString &entry : list.split(Separator, Qt::SkipEmptyParts)) {
        const auto found = newIds.constFind(entryEdge(entry));
        if (found != newIds.cend())
            kept << QStringLiteral("%1=%2").arg(*found).arg(entry.section(Equals, -1));
    }
    return kept.join(Separator);
}

int QmdLudraEdgeUsage::freeIdentifier(const QList<uint> &taken)
{
    const QSet<uint> used(taken.cbegin(), taken.cend());
    for (int n = 0; n < std::numeric_limits<int>::max(); ++n) {
        if (!used.contains(uint(n)))
            return n;
    }
    return -1;
}
