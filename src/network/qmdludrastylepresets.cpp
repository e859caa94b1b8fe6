#include "qmdludrastylepresets.h"

#include <QMutex>
#include <QMutexLocker>

namespace {

using Table = QHash<QString, QmdLudraStylePresets::Colors>;

QMutex &presetMutex()
{
    static QMutex mutex;
    return mutex;
}

// Only called with the preset mutex held.
const Table &table()
{
    static Table presets;
    if (presets.isEmpty()) {
        const QColor transparent(Qt::transparent);
        presets.insert(QStringLiteral("Dark"),
                       {{QStringLiteral("StyleBackgroundColor"), QColor(39, 39, 47, 255)},
                        {QStringLiteral("StylePrincipalLinesColor"), QColor(46, 46, 54, 255)},
                        {QStringLiteral("StylePrincipalPointsColor"), QColor(200, 200, 200, 255)},
                        {QStringLiteral("StyleDivisionLinesColor"), transparent},
                        {QStringLiteral("StyleDivisionPointsColor"), QColor(128, 128, 128, 255)},
                        {QStringLiteral("StyleAnnotationColor"), QColor(255, 255, 255, 128)},
                        {QStringLiteral("StyleNodesColor"), QColor(155, 158, 255, 255)},
                        {QStringLiteral("StyleEdgesColor"), QColor(113, 117, 137, 255)}});
        presets.insert(QStringLiteral("Light"),
                       {{QStringLiteral("StyleBackgroundColor"), QColor(255, 255, 255, 255)},
                        {QStringLiteral("StylePrincipalLinesColor"), QColor(180, 180, 180, 255)},
                        {QStringLiteral("StylePrincipalPointsColor"), transparent},
                        {QStringLiteral("StyleDivisionLinesColor"), QColor(220, 230, 240, 255)},
                        {QStringLiteral("StyleDivisionPointsColor"), transparent},
                        {QStringLiteral("StyleAnnotationColor"), QColor(0, 0, 0, 255)},
                        {QStringLiteral("StyleNodesColor"), QColor(44, 101, 169, 255)},
                        {QStringLiteral("StyleEdgesColor"), QColor(40, 40, 40, 255)}});
    }
    return presets;
}

} // namespace

QStringList QmdLudraStylePresets::names()
{
    QMutexLocker locker(&presetMutex());
    QStringList result = table().keys();
    result.sort();
    return result;
}

bool QmdLudraStylePresets::colors(const QString &presetName, Colors *colors)
{
    QMutexLocker locker(&presetMutex());
    const Table &presets = table();
    const auto it = presets.constFind(presetName);
    if (it == presets.cend())
        return false;
    *colors = it.value();
    return true;
}
