#include "graphicsvoicegroupitem.h"

#include "qmdludra.h"

#include <QPainter>
#include <QStyleOptionGraphicsItem>

namespace {
const QString InitialInstrumentKey = QStringLiteral("InitialInstrument");
const QString ColorKey = QStringLiteral("Color");
const QString LabelKey = QStringLiteral("Label");

QPolygonF arrowShape()
{
    const double s = DisplayScale::x();
    const double sy = DisplayScale::y();
    QPolygonF polygon({QPointF(-17 * s, 0), QPointF(-17 * s, -12 * sy), QPointF(0, 0),
                       QPointF(-17 * s, 12 * sy)});
    // The tip touches the node's rim rather than its centre.
    polygon.translate(-10 * s, 0);
    return polygon;
}
} // namespace

GraphicsVoiceGroupItem::GraphicsVoiceGroupItem(QmdItemId id, NetworkScene *scene)
    : GraphicsElementItem(id, scene)
{
    setPolygon(arrowShape());
    setBrush(QColor(170, 200, 255, 127));
    QPen pen(QColor(44, 101, 169), DisplayScale::x());
    pen.setJoinStyle(Qt::MiterJoin);
    setPen(pen);
}

void GraphicsVoiceGroupItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *option,
                                   QWidget *widget)
{
    // Selection shows as a wider outline, not as Qt's dashed frame.
    QStyleOptionGraphicsItem plain(*option);
    plain.state &= ~QStyle::State_Selected;
    QGraphicsPolygonItem::paint(painter, &plain, widget);
}

void GraphicsVoiceGroupItem::elementDataChanged(QmdItemId id, const QStringList &keys,
                                                QmdRequestId rid)
{
    if (id == elementId()) {
        // "TickPos" of a voice group means nothing on screen: it stands at
        // its node.
        QStringList own = keys;
        own.removeAll(QmdLudra::TickPosKey);
        GraphicsElementItem::elementDataChanged(id, own, rid);
        if (keys.contains(QmdLudra::ToNodeKey)) {
            m_node = value(QmdLudra::ToNodeKey).toUInt();
            setPos(scenePosOf(m_node));
        }
        if (keys.contains(InitialInstrumentKey)) {
            m_instrument = value(InitialInstrumentKey).toUInt();
            recolor();
        }
    } else if (m_node && id == m_node && keys.contains(QmdLudra::TickPosKey)) {
        setPos(scenePosOf(m_node));
    }
}

void GraphicsVoiceGroupItem::instrumentDataChanged(QmdItemId id, const QStringList &keys,
                                                   QmdRequestId)
{
    if (id == m_instrument && (keys.contains(ColorKey) || keys.contains(LabelKey)))
        recolor();
}

void GraphicsVoiceGroupItem::recolor()
{
    const QColor color = instrumentValue(m_instrument, ColorKey).value<QColor>();
    if (color.isValid()) {
        QColor line = color;
        line.setAlphaF(1.0);
        QPen outline = pen();
        outline.setColor(line);
        setPen(outline);
        QColor fill = color;
        fill.setAlphaF(color.alphaF() / 2);
        setBrush(fill);
    }
    setToolTip(instrumentValue(m_instrument, LabelKey).toString());
}

void GraphicsVoiceGroupItem::setPenWidth()
{
    QPen outline = pen();
    outline.setWidthF(DisplayScale::x() * (isSelected() ? 3 : 1));
    setPen(outline);
}

QVariant GraphicsVoiceGroupItem::itemChange(GraphicsItemChange change, const QVariant &value)
{
    if (change == ItemSelectedHasChanged)
        setPenWidth();
    return GraphicsElementItem::itemChange(change, value);
}
