#pragma once

#include <QRectF>
#include <QSet>

class QGraphicsItem;

// The rectangle the network covers: what the view scrolls over. Each side is
// held by the item that reaches furthest out there, so that moving or
// removing any other item costs nothing; only when a holder moves inward or
// goes away are the counted items searched again.
//
// GUI thread only.
class SceneContents
{
public:
    // Forgets every item and the rectangle.
    void clear();
    // Counts the item at its present extent; true when the rectangle changed.
    bool track(QGraphicsItem *item);
    // The item is going away; its sides stay where they are until rescan()
    // finds who holds them now.
    void forget(QGraphicsItem *item);
    bool isComplete() const;
    // Counts every remaining item again, so that empty sides are taken.
    bool rescan();

    QRectF rect() const;
    bool isNull() const { return !m_sideSet[0]; }

private:
    enum Side { Left, Right, Top, Bottom, SideCount };
    static QRectF extentOf(const QGraphicsItem *item);
    static double sideOf(const QRectF &rect, int side);
    // Whether a lies further out than b on the side.
    static bool isBeyond(double a, double b, int side);
    bool trackSide(QGraphicsItem *item, const QRectF &extent, int side);

    QSet<QGraphicsItem *> m_items;
    QGraphicsItem *m_holders[SideCount] = {};
    double m_sides[SideCount] = {};
    bool m_sideSet[SideCount] = {};
};
