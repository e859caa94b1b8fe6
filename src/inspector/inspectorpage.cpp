#include "inspectorpage.h"

#include "qmdludracontroller.h"

#include <QFormLayout>

InspectorPage::InspectorPage(QWidget *parent) : QWidget(parent) {}

InspectorPage::~InspectorPage()
{
    unbind();
}

void InspectorPage::bindTo(QmdLudraController *controller, const QList<QmdIndex> &records)
{
    unbind();
    m_controller = controller;
    m_records = records;
    setEnabled(controller && !records.isEmpty());
    if (isEnabled())
        bindFields();
}

void InspectorPage::unbind()
{
    if (m_controller) {
        for (const QPointer<QObject> &field : std::as_const(m_bound)) {
            if (field)
                m_controller->unbind(field);
        }
    }
    m_bound.clear();
    m_records.clear();
    fieldsUnbound();
}

void InspectorPage::bindField(QObject *field, const char *property, const char *signal,
                              const QString &key, const QVariant &emptyValue,
                              const QVariant &mixedValue, const QString &text)
{
    QHash<QmdIndex, QSet<QString>> targets;
    for (const QmdIndex &record : std::as_const(m_records))
        targets.insert(record, {key});
    m_controller->bind(field, property, signal, targets, emptyValue, mixedValue, text);
    if (!m_bound.contains(field))
        m_bound.append(field);
}

void InspectorPage::bindReadOnly(QObject *field, const char *property, const QString &key,
                                 const QVariant &emptyValue, const QVariant &mixedValue)
{
    bindField(field, property, nullptr, key, emptyValue, mixedValue, QString());
}

QFormLayout *InspectorPage::newForm(QWidget *parent)
{
    auto *form = new QFormLayout(parent);
    form->setContentsMargins(8, 8, 8, 8);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->setRowWrapPolicy(QFormLayout::DontWrapRows);
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return form;
}
