#pragma once

#include <QCheckBox>
#include <QVariant>

// A check box whose "value" (a bool) is bound to a document key. Given a
// MixedValue it shows the partial check mark; the user's click then checks
// it, and from there it toggles between checked and unchecked as usual.
// Only the user's click emits valueEdited().
//
// GUI thread only.
class MixedCheckBox : public QCheckBox
{
    Q_OBJECT
    Q_PROPERTY(QVariant value READ value WRITE setValue)

public:
    explicit MixedCheckBox(const QString &text, QWidget *parent = nullptr);

    QVariant value() const;
    void setValue(const QVariant &value);

Q_SIGNALS:
    void valueEdited();

protected:
    void nextCheckState() override;
};
