#pragma once

#include <QPalette>
#include <QPointer>
#include <QRegularExpressionValidator>

class QLineEdit;
class QTimeLine;

// A regular-expression validator that flashes its line edit pink whenever
// it refuses a keystroke: over 300 ms the background goes from the edit's
// own colour to (1.0, 0.5, 0.5) and back along a sine curve, so the user
// sees why nothing appeared. A trailing comma is dropped when an edit ends
// on one.
//
// GUI thread only.
class FlashingValidator : public QRegularExpressionValidator
{
    Q_OBJECT

public:
    static constexpr int FlashMs = 300;

    FlashingValidator(const QString &pattern, QLineEdit *edit);

    State validate(QString &text, int &pos) const override;
    void fixup(QString &text) const override;

    // Starts the flash again from the beginning.
    void flash() const;
    bool isFlashing() const;

private:
    void onValueChanged(qreal value);
    void onFinished();

    QPointer<QLineEdit> m_edit;
    QTimeLine *m_timeLine;
    // The palette the edit had before the flash began.
    mutable QPalette m_restingPalette;
};
