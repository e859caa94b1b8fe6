#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class SettingsController;

// The documents the user saved or opened last, most recent first, kept in
// the application settings as the array "RecentFiles" of "Path" entries so
// that they outlive the session. The list is read once; every change is
// written back through the settings controller.
//
// GUI thread only.
class RecentFiles : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxCount = 10;

    // An entry of the "Open Recent" menu.
    struct Entry
    {
        QString title;
        QString path;
    };

    explicit RecentFiles(SettingsController *settings, QObject *parent = nullptr);

    QStringList paths() const { return m_paths; }
    // Puts the file first, dropping an entry of the same path and what goes
    // beyond MaxCount.
    void add(const QString &fileName);
    void clear();

    // The entries whose files still exist, titled by base name; files that
    // share a base name are told apart by their folder's name.
    QList<Entry> menuEntries() const;

Q_SIGNALS:
    void changed();

private:
    void store();

    SettingsController *const m_settings;
    QStringList m_paths;
};
