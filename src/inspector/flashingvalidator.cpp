#include "flashingvalidator.h"

#include <QLineEdit>
#include <QTimeLine>

FlashingValidator::FlashingValidator(const QString &pattern, QLineEdit *edit)
    : QRegularExpressionValidator(QRegularExpression(pattern), edit), m_edit(edit),
      m_timeLine(new QTimeLine(FlashMs, this))
{
    m_timeLine->setEasingCurve(QEasingCurve::SineCurve);
    m_timeLine->setUpdateInterval(16);
    connect(m_timeLine, &QTimeLine::valueChanged, this, &FlashingValidator::onValueChanged);
    connect(m_timeLine, &QTimeLine::finished, this, &FlashingValidator::onFinished);
}

QValidator::State FlashingValidator::validate(QString &text, int &pos) const
{
    const State state = QRegularExpressionValidator::validate(text, pos);
    if (state == Invalid)
        flash();
    return state;
}

void FlashingValidator::fixup(QString &text) const
{
    if (text.endsWith(QLatin1Char(',')))
        text.chop(1);
}

void FlashingValidator::flash() const
{
    if (!m_edit)
        return;
    if (m_timeLine->state() == QTimeLine::Running)
        m_timeLine->stop();
    else
        m_restingPalette = m_edit->palette();
    m_timeLine->start();
}

bool FlashingValidator::isFlashing() const
{
    return m_timeLine->state() == QTimeLine::Running;
}

void FlashingValidator::onValueChanged(qreal value)
{
    if (!m_edit)
        return;
    QPalette palette = m_restingPalette;
    palette.setColor(QPalette::Base,
                     QColor::fromRgbF(1.0f, float(1.0 - value / 2), float(1.0 - value / 2), 1.0f));
    m_edit->setPalette(palette);
}

void FlashingValidator::onFinished()
{
    // Back to the edit's own colour, which is white only in a light theme.
    if (m_edit)
        m_edit->setPalette(m_restingPalette);
}
