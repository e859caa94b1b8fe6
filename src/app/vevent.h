#pragma once

#include "mvcbase.h"

// The events posted to a view; a controller also receives the settings
// events below from its model, and passes them on to its views.
class VEvent : public QEvent
{
protected:
    using QEvent::QEvent;
};

// The view is attached to this controller (nullptr: to none).
class VChangeControllerEvent : public VEvent
{
    LUDRA_MVC_EVENT_TYPE
public:
    explicit VChangeControllerEvent(QObject *controller)
        : VEvent(staticType()), controller(controller)
    {
    }
    const QPointer<QObject> controller;
};

// The view's controller uses another model: everything may have changed.
class VModelChangedEvent : public VEvent
{
    LUDRA_MVC_EVENT_TYPE
public:
    VModelChangedEvent() : VEvent(staticType()) {}
};

// The notifications of a settings model.
class VSettingsEvent : public VEvent
{
protected:
    using VEvent::VEvent;
};

// A value was stored under a key.
class VSettingsValueChangedEvent : public VSettingsEvent, public KeyContainer, public ValueContainer
{
    LUDRA_MVC_EVENT_TYPE
public:
    VSettingsValueChangedEvent(const QString &key, const QVariant &value)
        : VSettingsEvent(staticType()), KeyContainer(key), ValueContainer(value)
    {
    }
};

// A key was removed with its value.
class VSettingsKeyRemovedEvent : public VSettingsEvent, public KeyContainer
{
    LUDRA_MVC_EVENT_TYPE
public:
    explicit VSettingsKeyRemovedEvent(const QString &key)
        : VSettingsEvent(staticType()), KeyContainer(key)
    {
    }
};
