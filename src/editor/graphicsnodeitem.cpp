#include "graphicsnodeitem.h"

#include <QFont>
#include <QFontMetricsF>
#include <QGraphicsSimpleTextItem>
#include <QPainter>
#include <QStyleOptionGraphicsItem>

#include <cmath>

GraphicsNodeItem::GraphicsNodeItem(QmdItemId id, NetworkScene *scene)
    : GraphicsElementItem(id, scene), m_counter(new QGraphicsSimpleTextItem(this))
{
    const double rx = Radius * DisplayScale::x();
    const double ry = Radius * DisplayScale::y();
    setRect(-rx, -ry, 2 * rx, 2 * ry);
    QFont font = m_counter->font();
    font.setPointSizeF(10);
    m_counter->setFont(font);
    m_counter->setPos(std::cos(M_PI / 4) * rx,
                      -QFontMetricsF(font).height() - std::sin(M_PI / 4) * ry);
    m_counter->setCacheMode(QGraphicsItem::DeviceCoordinateCache);
    m_counter->setVisible(false);
    setHandlesChildEvents(true);
    setHitCount(0);
}

QRectF GraphicsNodeItem::boundingRect() const
{
    // Room for the wide pen on the upper left and the signalling mark on the
    // lower right.
    const QRectF circle = rect();
    const double grow = 1.5 * DisplayScale::x();
    return circle.adjusted(-grow, -grow, circle.width() / 4, circle.height() / 4);
}

void GraphicsNodeItem::elementDataChanged(QmdItemId id, const QStringList &keys, QmdRequestId rid)
{
    GraphicsElementItem::elementDataChanged(id, keys, rid);
    if (id != elementId())
        return;
    if (keys.contains(QStringLiteral("DontPlayNote"))) {
        m_dontPlay = value(QStringLiteral("DontPlayNote")).toBool();
        update();
    }
    if (keys.contains(QStringLiteral("PitchList")))
        setToolTip(toolTipFor(value(QStringLiteral("PitchList")).toString()));
    if (keys.contains(QStringLiteral("SignallingMethod"))) {
        m_signalling = value(QStringLiteral("SignallingMethod")).toInt();
        update();
    }
}

QString GraphicsNodeItem::toolTipFor(const QString &pitchList)
{
    constexpr qsizetype LineLength = 30;
    QString text = pitchList;
    QString tip;
    while (!text.isEmpty()) {
        if (text.size() <= LineLength) {
            tip += text;
            break;
        }
        const qsizetype comma = text.indexOf(QLatin1Char(','), LineLength);
        if (comma < 0) {
            tip += text;
            break;
        }
        tip += text.left(comma + 1) + QLatin1Char('\n');
        text = text.mid(comma + 1);
    }
    return tip;
}

void GraphicsNodeItem::setHitCount(quint32 count)
{
    m_hitCount = count;
    m_counter->setText(QString::number(count));
}

void GraphicsNodeItem::setCountersVisible(bool visible)
{
    m_counter->setVisible(visible);
}

void GraphicsNodeItem::flashOn(VoiceKey voice, const QColor &color, bool deferRepaint)
{
    m_flashes[voice].append(color);
    recount(deferRepaint);
}

void GraphicsNodeItem::flashOff(VoiceKey voice, bool deferRepaint)
{
    const auto it = m_flashes.find(voice);
    if (it == m_flashes.end())
        return;
    it->removeFirst();
    if (it->isEmpty())
        m_flashes.erase(it);
    recount(deferRepaint);
}

void GraphicsNodeItem::clearFlashes(bool deferRepaint)
{
    m_flashes.clear();
    recount(deferRepaint);
}

void GraphicsNodeItem::removeVoiceFlashes(VoiceKey voice, bool deferRepaint)
{
    m_flashes.remove(voice);
    recount(deferRepaint);
}

void GraphicsNodeItem::recount(bool deferRepaint)
{
    m_flashCount = 0;
    for (const QList<QColor> &colors : std::as_const(m_flashes))
        m_flashCount += int(colors.size());
    if (!deferRepaint)
        update();
}

void GraphicsNodeItem::setNodesColor(const QColor &color)
{
    setPen(QPen(color));
    QColor fill = color;
    fill.setAlpha(40);
    setBrush(fill);
}

void GraphicsNodeItem::setAnnotationColor(const QColor &color)
{
    m_counter->setBrush(color);
}

void GraphicsNodeItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    const double s = DisplayScale::x();
    QPen outline = pen();
    outline.setCapStyle(Qt::RoundCap);
    outline.setWidthF(isSelected() ? s * 3 : s);
    if (m_dontPlay)
        outline.setDashPattern({4 / outline.widthF(), 4 / outline.widthF()});
    painter->setOpacity(opacity());
    painter->setPen(outline);
    if (m_flashCount == 0) {
        painter->setBrush(brush());
        painter->drawEllipse(rect());
    } else if (m_flashCount == 1) {
        painter->setBrush(m_flashes.first().first());
        painter->drawEllipse(rect());
    } else {
        // Halves and quarters stand on their corners, thirds on a side.
        const int span = 5760 / m_flashCount;
        int start = m_flashCount == 2 || m_flashCount == 4 ? 720 : 0;
        for (const QList<QColor> &colors : std::as_const(m_flashes)) {
            for (const QColor &color : colors) {
                painter->setBrush(color);
                painter->drawPie(rect(), start, span);
                start += span;
            }
        }
    }
    paintSignallingMark(painter);
}

void GraphicsNodeItem::paintSignallingMark(QPainter *painter) const
{
    const double w = rect().width() / 4;
    painter->save();
    if (m_signalling == 1) {
        painter->rotate(45);
        painter->drawLine(QPointF(w, -w / 3), QPointF(3 * w, -w / 3));
        painter->drawLine(QPointF(w, w / 3), QPointF(3 * w, w / 3));
    } else if (m_signalling == 2) {
        painter->rotate(45);
        painter->translate(2 * w, 0);
        painter->rotate(30);
        painter->drawLine(QPointF(-w, 0), QPointF(w, 0));
        painter->rotate(115);
        painter->drawLine(QPointF(-w, 0), QPointF(w, 0));
    }
    painter->restore();
}
