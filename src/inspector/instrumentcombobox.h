#pragma once

#include <QComboBox>
#include <QVariant>

class InstrumentsModel;

// The instruments of a document to choose from, by label and colour. Its
// "value" is the chosen instrument's id (unsigned), which is what nodes and
// voice groups store; an id that names no instrument, and a MixedValue,
// show no current item and are reported back as given until the user
// chooses. Only the user's choice emits activated().
//
// GUI thread only.
class InstrumentComboBox : public QComboBox
{
    Q_OBJECT
    Q_PROPERTY(QVariant value READ value WRITE setValue)

public:
    explicit InstrumentComboBox(QWidget *parent = nullptr);

    void setInstrumentsModel(InstrumentsModel *model);

    QVariant value() const;
    void setValue(const QVariant &value);

private:
    void showValue();

    QVariant m_value;
};
