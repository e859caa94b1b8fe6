#include "abstractsettingsview.h"

#include "cevent.h"
#include "settingscontroller.h"
#include "vevent.h"

SettingsController *AbstractSettingsView::settingsController() const
{
    return dynamic_cast<SettingsController *>(controller());
}

bool AbstractSettingsView::mvcEvent(QEvent *event)
{
    if (event->type() == VSettingsValueChangedEvent::staticType()) {
        const auto *changed = static_cast<VSettingsValueChangedEvent *>(event);
        settingsValueChanged(changed->key(), changed->value());
        return true;
    }
    if (event->type() == VSettingsKeyRemovedEvent::staticType()) {
        settingsKeyRemoved(static_cast<VSettingsKeyRemovedEvent *>(event)->key());
        return true;
    }
    return AbstractView::mvcEvent(event);
}

void AbstractSettingsView::requestChangeValue(const QString &key, const QVariant &value) const
{
    postToController(new CSettingsChangeValueEvent(key, value));
}
