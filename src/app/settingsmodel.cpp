#include "settingsmodel.h"

#include "mevent.h"
#include "vevent.h"

QVariant SettingsModel::defaultValue(const QString &key)
{
    if (key == MidiInputEnabledKey || key == MidiThruEnabledKey)
        return true;
    if (key == DefaultZoomKey)
        return 0.75;
    if (key == TemplateFileKey || key == MidiInputPortKey || key == MidiThruPortKey)
        return QString();
    return QVariant();
}

SettingsModel::SettingsModel() : m_settings(std::make_unique<QSettings>()) {}

SettingsModel::SettingsModel(const QString &fileName)
    : m_settings(std::make_unique<QSettings>(fileName, QSettings::IniFormat))
{
}

SettingsModel::~SettingsModel() = default;

QVariant SettingsModel::value(const QString &key, const QVariant &defaultValue) const
{
    return m_settings->value(key, defaultValue);
}

bool SettingsModel::contains(const QString &key) const
{
    return m_settings->contains(key);
}

bool SettingsModel::mvcEvent(QEvent *event)
{
    if (event->type() == MSettingsChangeValueEvent::staticType()) {
        const auto *change = static_cast<MSettingsChangeValueEvent *>(event);
        m_settings->setValue(change->key(), change->value());
        notifyController(new VSettingsValueChangedEvent(change->key(), change->value()));
        return true;
    }
    if (event->type() == MSettingsRemoveKeyEvent::staticType()) {
        const QString &key = static_cast<MSettingsRemoveKeyEvent *>(event)->key();
        m_settings->remove(key);
        notifyController(new VSettingsKeyRemovedEvent(key));
        return true;
    }
    return AbstractModel::mvcEvent(event);
}
