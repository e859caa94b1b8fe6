#pragma once

#include <QSpinBox>

// A spin box for a document value: it reports a value once an edit is
// finished (Return, leaving the box, an arrow step), not at every digit
// typed, so that each change the user makes is one undoable request.
//
// GUI thread only.
class EditSpinBox : public QSpinBox
{
    Q_OBJECT

public:
    // Starts at the minimum.
    EditSpinBox(int minimum, int maximum, const QString &objectName, QWidget *parent = nullptr);
};
