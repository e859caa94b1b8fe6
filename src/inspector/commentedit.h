#pragma once

#include <QPlainTextEdit>

// A plain text field whose "value" is bound to a document key. Like a line
// edit it reports the end of an edit (editingFinished()) when it loses focus
// after the user changed the text, and only then.
//
// GUI thread only.
class CommentEdit : public QPlainTextEdit
{
    Q_OBJECT
    Q_PROPERTY(QString value READ toPlainText WRITE setValue)

public:
    explicit CommentEdit(QWidget *parent = nullptr);

    void setValue(const QString &text);

Q_SIGNALS:
    void editingFinished();

protected:
    void focusOutEvent(QFocusEvent *event) override;
};
