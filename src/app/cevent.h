#pragma once

#include "mvcbase.h"

// The events posted to a controller.
class CEvent : public QEvent
{
protected:
    using QEvent::QEvent;
};

// A view asks to be told of its controller's changes.
class CViewAttachEvent : public CEvent
{
    LUDRA_MVC_EVENT_TYPE
public:
    explicit CViewAttachEvent(QObject *view) : CEvent(staticType()), view(view) {}
    const QPointer<QObject> view;
};

// A view no longer wants to be told.
class CViewDetachEvent : public CEvent
{
    LUDRA_MVC_EVENT_TYPE
public:
    explicit CViewDetachEvent(QObject *view) : CEvent(staticType()), view(view) {}
    const QPointer<QObject> view;
};

// The controller is to use another model.
class CChangeModelEvent : public CEvent
{
    LUDRA_MVC_EVENT_TYPE
public:
    explicit CChangeModelEvent(QObject *model) : CEvent(staticType()), model(model) {}
    const QPointer<QObject> model;
};

// The events a settings controller handles beyond those of every
// controller.
class CSettingsEvent : public CEvent
{
protected:
    using CEvent::CEvent;
};

// A view asks for a value to be stored under a key.
class CSettingsChangeValueEvent : public CSettingsEvent, public KeyContainer, public ValueContainer
{
    LUDRA_MVC_EVENT_TYPE
public:
    CSettingsChangeValueEvent(const QString &key, const QVariant &value)
        : CSettingsEvent(staticType()), KeyContainer(key), ValueContainer(value)
    {
    }
};
