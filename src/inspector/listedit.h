#pragma once

#include "boundlineedit.h"
#include "listsyntax.h"

class FlashingValidator;

// A field of one list syntax: it refuses what the syntax cannot become
// (flashing), turns typed letters to the syntax's case, and takes notes
// played on a MIDI keyboard (MidiEvent) as typed entries. A text that is not
// yet acceptable when the edit ends is kept, flashed and not written.
//
// GUI thread only.
class ListEdit : public BoundLineEdit
{
    Q_OBJECT

public:
    explicit ListEdit(ListSyntax::Kind kind, QWidget *parent = nullptr);

    ListSyntax::Kind kind() const { return m_kind; }
    FlashingValidator *flashingValidator() const { return m_validator; }

    // Types the entry of a MIDI message at the cursor, or over the
    // selection, between commas; false when the field takes nothing from
    // the message.
    bool enterMidi(const QByteArray &message);

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    const ListSyntax::Kind m_kind;
    FlashingValidator *m_validator;
};
