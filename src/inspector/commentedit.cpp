#include "commentedit.h"

CommentEdit::CommentEdit(QWidget *parent) : QPlainTextEdit(parent)
{
    setTabChangesFocus(true);
}

void CommentEdit::setValue(const QString &text)
{
    if (text == toPlainText())
        return;
    setPlainText(text);
    document()->setModified(false);
}

void CommentEdit::focusOutEvent(QFocusEvent *event)
{
    QPlainTextEdit::focusOutEvent(event);
    if (!document()->isModified())
        return;
    document()->setModified(false);
    Q_EMIT editingFinished();
}
