#pragma once

#include "abstractmodel.h"

#include <QSettings>

#include <memory>

// The application's settings, kept by QSettings: the organisation's and
// application's names choose the file (~/.config/Ludra/Ludra.conf, or
// under $XDG_CONFIG_HOME). Reads are immediate; changes arrive as posted
// requests (MSettingsChangeValueEvent, MSettingsRemoveKeyEvent), are stored
// one by one, and each is then reported to the controller, also when the
// value stored is the one there was.
//
// Threads: as MvcBase.
class SettingsModel : public AbstractModel
{
public:
    // The keys, and what they hold.
    // A document file that new documents start from; empty for none.
    static inline const QString TemplateFileKey = QStringLiteral("TemplateFile");
    // bool (true): the application's MIDI input listens on its port.
    static inline const QString MidiInputEnabledKey = QStringLiteral("MidiInputEnabled");
    static inline const QString MidiInputPortKey = QStringLiteral("MidiInputPort");
    // bool (true): what the MIDI input receives is echoed on the thru port.
    static inline const QString MidiThruEnabledKey = QStringLiteral("MidiThruEnabled");
    static inline const QString MidiThruPortKey = QStringLiteral("MidiThruPort");
    // real (0.75): the zoom of a new window.
    static inline const QString DefaultZoomKey = QStringLiteral("Windows: Default Zoom");
    // An array of "Path" entries, the most recent first.
    static inline const QString RecentFilesKey = QStringLiteral("RecentFiles");
    static inline const QString RecentFilesPathKey = QStringLiteral("Path");
    // The saved states and geometries of dialogs (byte arrays).
    static inline const QString OpenDialogStateKey = QStringLiteral("OpenDialogState");
    static inline const QString OpenDialogGeometryKey = QStringLiteral("OpenDialogGeometry");
    static inline const QString SaveAsDialogStateKey = QStringLiteral("SaveAsDialogState");
    static inline const QString SaveAsDialogGeometryKey = QStringLiteral("SaveAsDialogGeometry");
    static inline const QString MidiSynthDialogGeometryKey =
        QStringLiteral("MidiSynthDialogGeometry");
    // The built-in synthesizer's sound bank: SoundBankLocator::settingKey().

    // The value a key holds when it has none of its own; invalid for keys
    // without a default.
    static QVariant defaultValue(const QString &key);

    // The application's settings.
    SettingsModel();
    // Settings in an INI file of their own.
    explicit SettingsModel(const QString &fileName);
    ~SettingsModel() override;

    // The stored value, or defaultValue when the key holds none.
    QVariant value(const QString &key, const QVariant &defaultValue = QVariant()) const;
    // The stored value, or the key's defaultValue().
    QVariant valueOrDefault(const QString &key) const { return value(key, defaultValue(key)); }
    bool contains(const QString &key) const;

    // The store itself, for reading arrays.
    const QSettings &settings() const { return *m_settings; }

protected:
    bool mvcEvent(QEvent *event) override;

private:
    std::unique_ptr<QSettings> m_settings;
};
