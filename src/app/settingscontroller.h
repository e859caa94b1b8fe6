#pragma once

#include "abstractcontroller.h"

#include <QByteArray>
#include <QList>
#include <QObject>

class SettingsModel;

// The controller of the application's settings. Besides passing the model's
// changes on to its views, it binds properties of ordinary objects (the
// widgets of dialogs) to keys: a bound property shows the key's value and
// follows its changes, and the object's change signal, emitted when the
// user changes it, stores the property's value under the key. The model's
// answer sets every object bound to the key with its signals blocked, so
// nothing is stored twice: a bound widget writes only on a user change.
//
// Threads: as MvcBase; the bound objects live on the same thread.
class SettingsController : public QObject, public AbstractController
{
    Q_OBJECT

public:
    explicit SettingsController(SettingsModel *model, QObject *parent = nullptr);

    SettingsModel *settingsModel() const;

    // The model's value; defaultValue without a model or a value.
    QVariant value(const QString &key, const QVariant &defaultValue = QVariant()) const;
    // Asks the model to store the value, or to remove the key.
    void requestChangeValue(const QString &key, const QVariant &value) const;
    void requestRemoveKey(const QString &key) const;

    // Binds the object's property to the key: sets it to the key's value now
    // (an invalid value when the key holds none), and stores the property's
    // value whenever the object emits changeSignal (made with SIGNAL()). A
    // binding goes with its object.
    void bind(QObject *object, const char *property, const char *changeSignal,
              const QString &settingsKey);
    bool isBound(const QObject *object) const;

public Q_SLOTS:
    // Drops every binding of the object, or those to one key.
    void unbind(QObject *object);
    void unbind(QObject *object, const QString &settingsKey);

private Q_SLOTS:
    void onBoundObjectSignalled();

protected:
    bool mvcEvent(QEvent *event) override;
    void modelChanged() override;

private:
    struct Binding
    {
        QObject *object = nullptr;
        QByteArray property;
        QByteArray changeSignal;
        QString key;
    };

    void setBoundProperty(const Binding &binding, const QVariant &value) const;
    // Leaves the change signal unconnected once no binding of the object
    // listens to it.
    void disconnectUnused(QObject *object, const QByteArray &changeSignal);

    QList<Binding> m_bindings;
};
