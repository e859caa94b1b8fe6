#include "listedit.h"

#include "flashingvalidator.h"
#include "midievent.h"

#include <QKeyEvent>

ListEdit::ListEdit(ListSyntax::Kind kind, QWidget *parent)
    : BoundLineEdit(parent), m_kind(kind),
      m_validator(new FlashingValidator(ListSyntax::pattern(kind), this))
{
    setValidator(m_validator);
}

bool ListEdit::enterMidi(const QByteArray &message)
{
    const QString entry = ListSyntax::midiEntry(m_kind, message);
    if (entry.isEmpty())
        return false;
    if (!ListSyntax::isList(m_kind)) {
        selectAll();
        insert(entry);
        return true;
    }
    const int from = hasSelectedText() ? selectionStart() : cursorPosition();
    const int to = hasSelectedText() ? selectionEnd() : from;
    // Through the validator, as typing would be.
    insert(ListSyntax::separatedEntry(text(), from, to, entry));
    return true;
}

bool ListEdit::event(QEvent *event)
{
    if (event->type() == MidiEvent::staticType()) {
        if (isReadOnly() || !enterMidi(static_cast<MidiEvent *>(event)->bytes()))
            return false;
        event->accept();
        return true;
    }
    return BoundLineEdit::event(event);
}

void ListEdit::keyPressEvent(QKeyEvent *event)
{
    const ListSyntax::LetterCase letterCase = ListSyntax::letterCase(m_kind);
    const QString text = event->text();
    const QString converted = letterCase == ListSyntax::UpperCase   ? text.toUpper()
                              : letterCase == ListSyntax::LowerCase ? text.toLower()
                                                                    : text;
    const bool ends = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (converted != text) {
        QKeyEvent typed(event->type(), event->key(), event->modifiers(), converted,
                        event->isAutoRepeat(), ushort(event->count()));
        BoundLineEdit::keyPressEvent(&typed);
        event->setAccepted(typed.isAccepted());
    } else {
        BoundLineEdit::keyPressEvent(event);
    }
    // Return with a text that is not yet a list ends nothing: say so.
    if (ends && !hasAcceptableInput())
        m_validator->flash();
}

void ListEdit::focusOutEvent(QFocusEvent *event)
{
    BoundLineEdit::focusOutEvent(event);
    if (!hasAcceptableInput())
        m_validator->flash();
}
