#include "mixedcheckbox.h"

#include "mixedvalue.h"

MixedCheckBox::MixedCheckBox(const QString &text, QWidget *parent) : QCheckBox(text, parent)
{
    connect(this, &QCheckBox::clicked, this, &MixedCheckBox::valueEdited);
}

QVariant MixedCheckBox::value() const
{
    return checkState() == Qt::PartiallyChecked ? MixedValue::variant() : QVariant(isChecked());
}

void MixedCheckBox::setValue(const QVariant &value)
{
    if (MixedValue::is(value)) {
        setCheckState(Qt::PartiallyChecked);
    } else {
        setTristate(false);
        setCheckState(value.toBool() ? Qt::Checked : Qt::Unchecked);
    }
}

void MixedCheckBox::nextCheckState()
{
    if (checkState() == Qt::PartiallyChecked) {
        // The user cannot choose "mixed", only leave it.
        setTristate(false);
        setCheckState(Qt::Checked);
    } else {
        QCheckBox::nextCheckState();
    }
}
