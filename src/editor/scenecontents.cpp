#include "scenecontents.h"

#include <QGraphicsItem>

void SceneContents::clear()
{
    m_items.clear();
    for (int side = 0; side < SideCount; ++side) {
        m_holders[side] = nullptr;
        m_sideSet[side] = false;
    }
}

bool SceneContents::track(QGraphicsItem *item)
{
    m_items.insert(item);
    const QRectF extent = extentOf(item);
    bool changed = false;
    for (int side = 0; side < SideCount; ++side)
        changed |= trackSide(item, extent, side);
    return changed;
}

bool SceneContents::trackSide(QGraphicsItem *item, const QRectF &extent, int side)
{
    const double reach = sideOf(extent, side);
    if (!m_holders[side] || isBeyond(reach, m_sides[side], side)) {
        const bool moved = !m_sideSet[side] || reach != m_sides[side];
        m_holders[side] = item;
        m_sides[side] = reach;
        m_sideSet[side] = true;
        return moved;
    }
    if (m_holders[side] != item || reach == m_sides[side])
        return false;
    // The holder moved inward: the side follows it, and whoever now reaches
    // further takes over.
    m_sides[side] = reach;
    for (QGraphicsItem *other : std::as_const(m_items)) {
        const double otherReach = sideOf(extentOf(other), side);
        if (isBeyond(otherReach, m_sides[side], side)) {
            m_holders[side] = other;
            m_sides[side] = otherReach;
        }
    }
    return true;
}

void SceneContents::forget(QGraphicsItem *item)
{
    m_items.remove(item);
    for (int side = 0; side < SideCount; ++side) {
        if (m_holders[side] == item)
            m_holders[side] = nullptr;
    }
}

bool SceneContents::isComplete() const
{
    for (QGraphicsItem *holder : m_holders) {
        if (!holder)
            return false;
    }
    return true;
}

bool SceneContents::rescan()
{
    bool changed = false;
    const QSet<QGraphicsItem *> items = m_items;
    for (QGraphicsItem *item : items)
        changed |= track(item);
    return changed;
}

QRectF SceneContents::rect() const
{
    if (isNull())
        return QRectF();
    return QRectF(QPointF(m_sides[Left], m_sides[Top]), QPointF(m_sides[Right], m_sides[Bottom]));
}

QRectF SceneContents::extentOf(const QGraphicsItem *item)
{
    return item->mapRectToScene(item->boundingRect() | item->childrenBoundingRect());
}

double SceneContents::sideOf(const QRectF &rect, int side)
{
    switch (side) {
    case Left:
        return rect.left();
    case Right:
        return rect.right();
    case Top:
        return rect.top();
    default:
        return rect.bottom();
    }
}

bool SceneContents::isBeyond(double a, double b, int side)
{
    return side == Left || side == Top ? a < b : a > b;
}
