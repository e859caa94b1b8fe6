#include "editspinbox.h"

EditSpinBox::EditSpinBox(int minimum, int maximum, const QString &objectName, QWidget *parent)
    : QSpinBox(parent)
{
    setRange(minimum, maximum);
    setValue(minimum);
    setKeyboardTracking(false);
    setObjectName(objectName);
}
