#pragma once

#include "qmdindex.h"
#include "qmdludracontroller.h"

#include <QList>
#include <QPointer>
#include <QVariant>
#include <QWidget>

class QFormLayout;

// A page of the inspector: fields bound to the same keys of one or more
// records of one kind (selected elements, an instrument, the document
// root). A field edited by the user sends one request to all the records,
// described by the field's undo text; records that disagree show "mixed"
// (MixedValue, or the field's own mixed value).
//
// GUI thread only.
class InspectorPage : public QWidget
{
    Q_OBJECT

public:
    explicit InspectorPage(QWidget *parent = nullptr);
    ~InspectorPage() override;

    // Binds every field to the records, after dropping the earlier
    // bindings; with no records the page's fields are unbound and disabled.
    void bindTo(QmdLudraController *controller, const QList<QmdIndex> &records);
    void unbind();

    QmdLudraController *controller() const { return m_controller; }
    const QList<QmdIndex> &records() const { return m_records; }

protected:
    // Binds the fields with bindField() and bindReadOnly().
    virtual void bindFields() = 0;
    // The page has been unbound.
    virtual void fieldsUnbound() {}

    // property of field, written on its signal (a SIGNAL() string) as one
    // request with the undo text.
    void bindField(QObject *field, const char *property, const char *signal, const QString &key,
                   const QVariant &emptyValue, const QVariant &mixedValue, const QString &text);
    // property of field follows the key and is never written back.
    void bindReadOnly(QObject *field, const char *property, const QString &key,
                      const QVariant &emptyValue, const QVariant &mixedValue);

    // A form with the page's usual margins and spacing.
    static QFormLayout *newForm(QWidget *parent = nullptr);

private:
    QPointer<QmdLudraController> m_controller;
    QList<QmdIndex> m_records;
    QList<QPointer<QObject>> m_bound;
};
