#pragma once

#include "abstractview.h"

class SettingsController;

// A view of the application's settings: told of every value stored and
// every key removed, after the model has stored or removed it.
//
// Threads: as MvcBase.
class AbstractSettingsView : public AbstractView
{
public:
    // The controller as a settings controller; nullptr when not attached.
    SettingsController *settingsController() const;

protected:
    bool mvcEvent(QEvent *event) override;

    virtual void settingsValueChanged(const QString &key, const QVariant &value)
    {
        Q_UNUSED(key)
        Q_UNUSED(value)
    }
    virtual void settingsKeyRemoved(const QString &key) { Q_UNUSED(key) }

    // Asks the controller to store the value; the change comes back as
    // settingsValueChanged() once it is stored.
    void requestChangeValue(const QString &key, const QVariant &value) const;
};
