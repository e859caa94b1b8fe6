#include "graphicsedgeitem.h"

#include "networkscene.h"
#include "qmdludra.h"
#include "qmdludracontroller.h"
#include "qmdludrapalette.h"

#include <QGraphicsPolygonItem>
#include <QPainter>
#include <QPainterPathStroker>
#include <QPen>

#include <cmath>

namespace {
const QString PathKey = QStringLiteral("Path");
const QString IsWormholeKey = QStringLiteral("IsWormhole");

QPolygonF arrowShape()
{
    const double s = DisplayScale::x();
    return QPolygonF({QPointF(0, -4.5 * s), QPointF(9 * s, 0), QPointF(0, 4.5 * s)});
}
} // namespace

GraphicsEdgeItem::GraphicsEdgeItem(QmdItemId id, NetworkScene *scene)
    : GraphicsElementItem(id, scene), m_arrow(new QGraphicsPolygonItem(arrowShape(), this))
{
    m_arrow->setPen(Qt::NoPen);
    m_arrow->setAcceptHoverEvents(true);
    m_arrow->setCacheMode(QGraphicsItem::DeviceCoordinateCache);
    setAcceptHoverEvents(true);
    setHandlesChildEvents(true);
    setZValue(1.0);
    refreshPen();
}

void GraphicsEdgeItem::elementDataChanged(QmdItemId id, const QStringList &keys, QmdRequestId rid)
{
    GraphicsElementItem::elementDataChanged(id, keys, rid);
    bool changed = false;
    bool fromChanged = false;
    bool toChanged = false;
    if (id == elementId()) {
        if (keys.contains(PathKey)) {
            m_pathKind = value(PathKey).toInt();
            changed = true;
        }
        if (keys.contains(QmdLudra::FromNodeKey)) {
            m_fromNode = value(QmdLudra::FromNodeKey).toUInt();
            if (!m_fromNode)
                m_start = QPointF();
            fromChanged = changed = true;
        }
        if (keys.contains(QmdLudra::ToNodeKey)) {
            m_toNode = value(QmdLudra::ToNodeKey).toUInt();
            if (!m_toNode)
                m_end = QPointF();
            toChanged = changed = true;
        }
        if (keys.contains(IsWormholeKey)) {
            m_wormhole = value(IsWormholeKey).toBool();
            refreshPen();
        }
    }
    const bool moved = keys.contains(QmdLudra::TickPosKey);
    if (m_fromNode && (fromChanged || (moved && id == m_fromNode))) {
        m_start = scenePosOf(m_fromNode);
        changed = true;
    }
    if (m_toNode && (toChanged || (moved && id == m_toNode))) {
        m_end = scenePosOf(m_toNode);
        changed = true;
    }
    if (changed)
        rebuildPath();
}

void GraphicsEdgeItem::setGeometry(const QPointF &start, const QPointF &end, int pathKind)
{
    m_start = start;
    m_end = end;
    m_pathKind = pathKind;
    rebuildPath();
}

void GraphicsEdgeItem::rebuildPath()
{
    const double s = DisplayScale::x();
    const double sy = DisplayScale::y();
    const double radius = 10 * s;
    // Node radius and arrow length: where the path ends.
    const double back = 19 * s;
    const QPointF start = m_start;
    const QPointF end = m_end;
    const QPointF d = end - start;
    setPos(start);
    if (!path().isEmpty() && d == m_cachedDelta && m_pathKind == m_cachedKind)
        return;
    m_cachedDelta = d;
    m_cachedKind = m_pathKind;

    const bool hasCorner =
        m_pathKind != QmdLudra::Direct && std::abs(d.x()) > 1e-6 && std::abs(d.y()) > 1e-6;
    QPointF corner;
    double a1 = std::atan2(d.y(), d.x());
    double a2 = a1;
    if (hasCorner) {
        corner = m_pathKind == QmdLudra::CityBlock ? QPointF(end.x(), start.y())
                                                   : QPointF(start.x(), end.y());
        a1 = std::atan2(corner.y() - start.y(), corner.x() - start.x());
        // A second leg shorter than the arrow would bend the arrow: the
        // corner steps back so that the arrow keeps the first leg's
        // direction after a short jog.
        if (m_pathKind == QmdLudra::CityBlock && std::abs(d.y()) > 1e-7 && std::abs(d.y()) < back) {
            corner.setX(d.x() > 0 ? end.x() - back : end.x() + back);
            a2 = std::atan2(0.0, end.x() - corner.x());
        } else if (m_pathKind == QmdLudra::CityBlockFlipped && std::abs(d.x()) > 1e-7 &&
                   std::abs(d.x()) < back) {
            corner.setY(d.y() > 0 ? end.y() - back : end.y() + back);
            a2 = std::atan2(end.y() - corner.y(), 0.0);
        } else {
            a2 = std::atan2(end.y() - corner.y(), end.x() - corner.x());
        }
    }

    QPainterPath route(QPointF(std::cos(a1) * radius, std::sin(a1) * 10 * sy));
    if (hasCorner)
        route.lineTo(corner - start);
    const QPointF tail(d.x() - std::cos(a2) * back, d.y() - std::sin(a2) * back);
    route.lineTo(tail);
    setPath(route);

    m_arrowAngle = a2 * 180.0 / M_PI;
    m_arrow->setPos(tail);
    m_arrow->setTransform(QTransform().rotate(m_arrowAngle));
    refreshPen();
}

void GraphicsEdgeItem::refreshPen()
{
    const double s = DisplayScale::x();
    const bool selected = isSelected();
    QPen pen(m_currentColor, selected ? s * 3 : s);
    pen.setJoinStyle(Qt::MiterJoin);
    if (m_wormhole) {
        const double dash = selected ? 8.0 / 3.0 * s : 8 * s;
        pen.setDashPattern({dash, dash});
    }
    setPen(pen);
    m_arrow->setBrush(m_currentColor);
    m_arrow->setScale(selected ? 1.3 : 1.0);
}

void GraphicsEdgeItem::setEdgesColor(const QColor &color)
{
    m_baseColor = color;
    updateSelection();
}

void GraphicsEdgeItem::updateSelection()
{
    NetworkScene *scene = networkScene();
    const QmdItemIdSet selected = scene ? scene->selectedIds() : QmdItemIdSet();
    if (m_controller && selected.size() == 1 && m_fromNode && selected.contains(m_fromNode)) {
        const QmdIndex identifiers =
            m_controller->index(QmdLudra::ArcIdentifiersKey,
                                m_controller->index(m_fromNode, m_controller->elementsIndex()));
        const int identifier =
            m_controller->data(m_controller->index(elementId(), identifiers)).toInt();
        setCurrentColor(QmdLudraPalette::color(identifier));
        setZValue(1.0);
    } else {
        setCurrentColor(m_baseColor);
        setZValue(0.0);
    }
}

void GraphicsEdgeItem::setCurrentColor(const QColor &color)
{
    if (color == m_currentColor)
        return;
    m_currentColor = color;
    refreshPen();
}

QVariant GraphicsEdgeItem::itemChange(GraphicsItemChange change, const QVariant &value)
{
    if (change == ItemSelectedHasChanged)
        refreshPen();
    return GraphicsElementItem::itemChange(change, value);
}

QPainterPath GraphicsEdgeItem::shape() const
{
    QPainterPathStroker stroker;
    stroker.setWidth(1.5);
    return stroker.createStroke(path());
}

void GraphicsEdgeItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    painter->setPen(pen());
    painter->setBrush(Qt::NoBrush);
    painter->drawPath(path());
}
