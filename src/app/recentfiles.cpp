#include "recentfiles.h"

#include "settingscontroller.h"
#include "settingsmodel.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

namespace {

using Keys = SettingsModel;

// QSettings keeps an array as its size and its entries numbered from 1.
QString sizeKey()
{
    return Keys::RecentFilesKey + QStringLiteral("/size");
}

QString entryKey(qsizetype i)
{
    return QStringLiteral("%1/%2/%3")
        .arg(Keys::RecentFilesKey)
        .arg(i + 1)
        .arg(Keys::RecentFilesPathKey);
}

} // namespace

RecentFiles::RecentFiles(SettingsController *settings, QObject *parent)
    : QObject(parent), m_settings(settings)
{
    const int size = m_settings->value(sizeKey(), 0).toInt();
    for (int i = 0; i < size && m_paths.size() < MaxCount; ++i) {
        const QString path = m_settings->value(entryKey(i)).toString();
        if (!path.isEmpty() && !m_paths.contains(path))
            m_paths.append(path);
    }
}

void RecentFiles::add(const QString &fileName)
{
    const QString path = QFileInfo(fileName).absoluteFilePath();
    m_paths.removeAll(path);
    m_paths.prepend(path);
    while (m_paths.size() > MaxCount)
        m_paths.removeLast();
    store();
}

void RecentFiles::clear()
{
    m_paths.clear();
    store();
}

QList<RecentFiles::Entry> RecentFiles::menuEntries() const
{
    QList<Entry> entries;
    QHash<QString, int> baseNames;
    for (const QString &path : m_paths) {
        const QFileInfo file(path);
        if (!file.exists())
            continue;
        entries.append({file.completeBaseName(), path});
        ++baseNames[file.completeBaseName()];
    }
    for (Entry &entry : entries) {
        if (baseNames.value(entry.title) > 1)
            entry.title += QStringLiteral(" — ") + QFileInfo(entry.path).dir().dirName();
    }
    return entries;
}

void RecentFiles::store()
{
    m_settings->requestRemoveKey(Keys::RecentFilesKey);
    for (qsizetype i = 0; i < m_paths.size(); ++i)
        m_settings->requestChangeValue(entryKey(i), m_paths.at(i));
    m_settings->requestChangeValue(sizeKey(), int(m_paths.size()));
    Q_EMIT changed();
}
