#include "boundlineedit.h"

#include "mixedvalue.h"

BoundLineEdit::BoundLineEdit(QWidget *parent) : QLineEdit(parent)
{
    connect(this, &QLineEdit::textEdited, this, [this] { m_edited = true; });
    connect(this, &QLineEdit::editingFinished, this, &BoundLineEdit::onEditingFinished);
}

QVariant BoundLineEdit::value() const
{
    return m_mixed && !m_edited ? MixedValue::variant() : QVariant(text());
}

void BoundLineEdit::setValue(const QVariant &value)
{
    m_edited = false;
    m_mixed = MixedValue::is(value);
    setPlaceholderText(m_mixed ? tr("mixed") : m_hint);
    setText(m_mixed ? QString() : value.toString());
}

void BoundLineEdit::setHint(const QString &hint)
{
    m_hint = hint;
    if (!m_mixed)
        setPlaceholderText(hint);
}

void BoundLineEdit::onEditingFinished()
{
    // Return and the loss of focus both end an edit: the first reports it.
    if (!m_edited)
        return;
    Q_EMIT valueEdited();
    m_edited = false;
    m_mixed = false;
    setPlaceholderText(m_hint);
}
