#include "playbackposdisplay.h"

#include "playbackclock.h"

#include <QPainter>

#include <algorithm>

namespace {

// A beat holds 24 MIDI clock pulses, as the MIDI clock counts them.
constexpr qint64 PulsesPerBeat = 24;
constexpr qint64 BeatTicksPerPulse = PlaybackClock::TicksPerBeat / PulsesPerBeat;

// The strips hold "," only, so the separator is the same in every locale.
QString withThousands(qint64 value)
{
    QString digits = QString::number(value);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3)
        digits.insert(at, u',');
    return digits;
}

// A part after the point is as wide as its largest value, so that the
// display does not jitter as it counts.
QString fraction(qint64 value, qint64 count)
{
    const int width = int(QString::number(std::max<qint64>(count - 1, 0)).size());
    return QStringLiteral("%1").arg(value, width, 10, QLatin1Char('0'));
}

} // namespace

const QString PlaybackPosDisplay::Characters = QStringLiteral("0123456789,.:");

QString PlaybackPosDisplay::timeText(qint64 ns)
{
    const qint64 ms = std::max<qint64>(ns, 0) / 1000000;
    return QStringLiteral("%1:%2:%3.%4")
        .arg(ms / 3600000)
        .arg(ms / 60000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms % 1000, 3, 10, QLatin1Char('0'));
}

QString PlaybackPosDisplay::principalsText(qint64 ticks, qint64 divisionsPerPrincipal)
{
    // A grid of 0 divisions draws and snaps as one of 1; so it counts.
    const qint64 divisions =
        std::clamp<qint64>(divisionsPerPrincipal, 1, PlaybackClock::TicksPerPrincipal);
    const qint64 position = std::max<qint64>(ticks, 0);
    const qint64 divisionTicks = PlaybackClock::TicksPerPrincipal / divisions;
    const qint64 within = position % PlaybackClock::TicksPerPrincipal;
    return withThousands(position / PlaybackClock::TicksPerPrincipal) + u'.' +
           fraction(std::min(within / divisionTicks, divisions - 1), divisions);
}

QString PlaybackPosDisplay::beatsText(qint64 beatTicks)
{
    const qint64 position = std::max<qint64>(beatTicks, 0);
    return withThousands(position / PlaybackClock::TicksPerBeat) + u'.' +
           fraction(position % PlaybackClock::TicksPerBeat / BeatTicksPerPulse, PulsesPerBeat);
}

int PlaybackPosDisplay::dimPrefixLength(const QString &text)
{
    qsizetype units = text.indexOf(u'.');
    units = units < 0 ? text.size() - 1 : units - 1;
    for (qsizetype i = 0; i < units; ++i) {
        if (text.at(i).isDigit() && text.at(i) != u'0')
            return int(i);
    }
    return int(std::max<qsizetype>(units, 0));
}

PlaybackPosDisplay::PlaybackPosDisplay(QWidget *parent) : QWidget(parent)
{
    const QPixmap solid(QStringLiteral(":/images/LCDSolidChars.png"));
    const QPixmap dim(QStringLiteral(":/images/LCDDimChars.png"));
    for (qsizetype i = 0; i < Characters.size(); ++i) {
        m_solid.append(solid.copy(int(i) * CellWidth, 0, CellWidth, CellHeight));
        m_dim.append(dim.copy(int(i) * CellWidth, 0, CellWidth, CellHeight));
    }
    if (!dim.isNull())
        m_background = dim.toImage().pixelColor(0, 0);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setText(timeText(0));
}

void PlaybackPosDisplay::setText(const QString &text)
{
    QString shown;
    for (const QChar c : text) {
        if (Characters.contains(c))
            shown.append(c);
    }
    if (shown == m_text)
        return;
    const bool resized = shown.size() != m_text.size();
    m_text = shown;
    if (resized)
        updateGeometry();
    update();
}

QSize PlaybackPosDisplay::sizeHint() const
{
    return {int(m_text.size()) * CellWidth + 2 * Margin, CellHeight + 2 * Margin};
}

void PlaybackPosDisplay::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    // The strips' own background, around the cells too.
    painter.fillRect(rect(), m_background);
    const int dim = dimPrefixLength(m_text);
    const int top = (height() - CellHeight) / 2;
    for (qsizetype i = 0; i < m_text.size(); ++i) {
        const qsizetype cell = Characters.indexOf(m_text.at(i));
        const QVector<QPixmap> &strip = i < dim ? m_dim : m_solid;
        painter.drawPixmap(Margin + int(i) * CellWidth, top, strip.value(cell));
    }
}
