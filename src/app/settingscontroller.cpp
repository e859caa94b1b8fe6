#include "settingscontroller.h"

#include "cevent.h"
#include "mevent.h"
#include "settingsmodel.h"
#include "vevent.h"

#include <QSignalBlocker>

#include <algorithm>

SettingsController::SettingsController(SettingsModel *model, QObject *parent)
    : QObject(parent), AbstractController(model)
{
}

SettingsModel *SettingsController::settingsModel() const
{
    return dynamic_cast<SettingsModel *>(model());
}

QVariant SettingsController::value(const QString &key, const QVariant &defaultValue) const
{
    const SettingsModel *m = settingsModel();
    return m ? m->value(key, defaultValue) : defaultValue;
}

void SettingsController::requestChangeValue(const QString &key, const QVariant &value) const
{
    postToModel(new MSettingsChangeValueEvent(key, value));
}

void SettingsController::requestRemoveKey(const QString &key) const
{
    postToModel(new MSettingsRemoveKeyEvent(key));
}

void SettingsController::bind(QObject *object, const char *property, const char *changeSignal,
                              const QString &settingsKey)
{
    if (!object)
        return;
    // A signal connected twice would store every change twice.
    disconnect(object, changeSignal, this, SLOT(onBoundObjectSignalled()));
    unbind(object, settingsKey);
    const Binding binding{object, property, changeSignal, settingsKey};
    m_bindings.append(binding);
    setBoundProperty(binding, value(settingsKey));
    connect(object, &QObject::destroyed, this, qOverload<QObject *>(&SettingsController::unbind),
            Qt::UniqueConnection);
    connect(object, changeSignal, this, SLOT(onBoundObjectSignalled()));
}

bool SettingsController::isBound(const QObject *object) const
{
    return std::any_of(m_bindings.cbegin(), m_bindings.cend(),
                       [object](const Binding &b) { return b.object == object; });
}

void SettingsController::unbind(QObject *object)
{
    if (!m_bindings.removeIf([object](const Binding &b) { return b.object == object; }))
        return;
    // The object may be half destroyed: only its connections are touched.
    disconnect(object, nullptr, this, nullptr);
}

void SettingsController::unbind(QObject *object, const QString &settingsKey)
{
    QList<QByteArray> signalsLeft;
    m_bindings.removeIf([&](const Binding &b) {
        if (b.object != object || b.key != settingsKey)
            return false;
        signalsLeft.append(b.changeSignal);
        return true;
    });
    for (const QByteArray &signal : std::as_const(signalsLeft))
        disconnectUnused(object, signal);
    if (!isBound(object))
        disconnect(object, &QObject::destroyed, this,
                   qOverload<QObject *>(&SettingsController::unbind));
}

void SettingsController::disconnectUnused(QObject *object, const QByteArray &changeSignal)
{
    for (const Binding &b : std::as_const(m_bindings)) {
        if (b.object == object && b.changeSignal == changeSignal)
            return;
    }
    disconnect(object, changeSignal.constData(), this, SLOT(onBoundObjectSignalled()));
}

void SettingsController::onBoundObjectSignalled()
{
    const QObject *object = sender();
    for (const Binding &b : std::as_const(m_bindings)) {
        if (b.object == object)
            requestChangeValue(b.key, object->property(b.property.constData()));
    }
}

void SettingsController::setBoundProperty(const Binding &binding, const QVariant &value) const
{
    const QSignalBlocker blocker(binding.object);
    binding.object->setProperty(binding.property.constData(), value);
}

bool SettingsController::mvcEvent(QEvent *event)
{
    if (event->type() == CSettingsChangeValueEvent::staticType()) {
        const auto *change = static_cast<CSettingsChangeValueEvent *>(event);
        requestChangeValue(change->key(), change->value());
        return true;
    }
    if (event->type() == VSettingsValueChangedEvent::staticType()) {
        const auto *changed = static_cast<VSettingsValueChangedEvent *>(event);
        // A binding may go while another object is set: iterate over a copy.
        const QList<Binding> bindings = m_bindings;
        for (const Binding &b : bindings) {
            if (b.key == changed->key())
                setBoundProperty(b, changed->value());
        }
        postToViews(
            [changed] { return new VSettingsValueChangedEvent(changed->key(), changed->value()); });
        return true;
    }
    if (event->type() == VSettingsKeyRemovedEvent::staticType()) {
        const QString key = static_cast<VSettingsKeyRemovedEvent *>(event)->key();
        const QList<Binding> bindings = m_bindings;
        for (const Binding &b : bindings) {
            if (b.key == key)
                setBoundProperty(b, QVariant());
        }
        postToViews([key] { return new VSettingsKeyRemovedEvent(key); });
        return true;
    }
    return AbstractController::mvcEvent(event);
}

void SettingsController::modelChanged()
{
    const QList<Binding> bindings = m_bindings;
    for (const Binding &b : bindings)
        setBoundProperty(b, value(b.key));
}
