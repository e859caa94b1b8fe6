#pragma once

#include <QLineEdit>
#include <QVariant>

// A line edit whose "value" is bound to a document key. It reports an edit
// (valueEdited()) only when an editing session in which the user changed
// the text ends, so that focusing a field and leaving it, or a refresh from
// the document, writes nothing. Given a MixedValue it shows "mixed" and
// keeps reporting the MixedValue until the user types.
//
// GUI thread only.
class BoundLineEdit : public QLineEdit
{
    Q_OBJECT
    Q_PROPERTY(QVariant value READ value WRITE setValue)

public:
    explicit BoundLineEdit(QWidget *parent = nullptr);

    QVariant value() const;
    void setValue(const QVariant &value);
    bool isMixed() const { return m_mixed; }

    // Shown while the field is empty and not mixed.
    void setHint(const QString &hint);

Q_SIGNALS:
    void valueEdited();

private:
    void onEditingFinished();

    QString m_hint;
    bool m_mixed = false;
    // The user changed the text since it was last set or reported.
    bool m_edited = false;
};
