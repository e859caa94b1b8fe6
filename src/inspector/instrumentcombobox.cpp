#include "instrumentcombobox.h"

#include "instrumentsmodel.h"
#include "mixedvalue.h"

#include <QSignalBlocker>

InstrumentComboBox::InstrumentComboBox(QWidget *parent) : QComboBox(parent)
{
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(10);
    // Before any other receiver of activated() reads the value.
    connect(this, &QComboBox::activated, this,
            [this](int row) { m_value = itemData(row, InstrumentsModel::IdRole).toUInt(); });
}

void InstrumentComboBox::setInstrumentsModel(InstrumentsModel *model)
{
    setModel(model);
    // Rows come and go with the document's instruments; the choice stays.
    connect(model, &QAbstractItemModel::modelReset, this, &InstrumentComboBox::showValue);
    connect(model, &QAbstractItemModel::rowsInserted, this, &InstrumentComboBox::showValue);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &InstrumentComboBox::showValue);
}

QVariant InstrumentComboBox::value() const
{
    return m_value;
}

void InstrumentComboBox::setValue(const QVariant &value)
{
    m_value = value;
    showValue();
}

void InstrumentComboBox::showValue()
{
    const QSignalBlocker blocker(this);
    const uint id = MixedValue::is(m_value) ? 0 : m_value.toUInt();
    setCurrentIndex(id ? findData(id, InstrumentsModel::IdRole) : -1);
}
