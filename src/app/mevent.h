#pragma once

#include "mvcbase.h"

// The events posted to a model.
class MEvent : public QEvent
{
protected:
    using QEvent::QEvent;
};

// The controller the model is to notify from now on.
class MChangeControllerEvent : public MEvent
{
    LUDRA_MVC_EVENT_TYPE
public:
    explicit MChangeControllerEvent(QObject *controller)
        : MEvent(staticType()), controller(controller)
    {
    }
    const QPointer<QObject> controller;
};

// The events a settings model handles.
class MSettingsEvent : public MEvent
{
protected:
    using MEvent::MEvent;
};

// Stores a value under a key.
class MSettingsChangeValueEvent : public MSettingsEvent, public KeyContainer, public ValueContainer
{
    LUDRA_MVC_EVENT_TYPE
public:
    MSettingsChangeValueEvent(const QString &key, const QVariant &value)
        : MSettingsEvent(staticType()), KeyContainer(key), ValueContainer(value)
    {
    }
};

// Removes a key and its value.
class MSettingsRemoveKeyEvent : public MSettingsEvent, public KeyContainer
{
    LUDRA_MVC_EVENT_TYPE
public:
    explicit MSettingsRemoveKeyEvent(const QString &key)
        : MSettingsEvent(staticType()), KeyContainer(key)
    {
    }
};
