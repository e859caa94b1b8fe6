#pragma once

#include "elementitem.h"

#include <QColor>
#include <QGraphicsPathItem>

class QGraphicsPolygonItem;

// An edge: a path from the rim of its from-node to an arrow head touching
// the rim of its to-node. City-block edges run horizontally first (or, when
// flipped, vertically first) and turn once; direct edges run straight. A
// wormhole is dashed. While its from-node alone is selected, the edge shows
// the colour of its identifier, so that the node's outgoing edges can be
// told apart.
//
// GUI thread only.
class GraphicsEdgeItem : public GraphicsElementItem<QGraphicsPathItem>
{
public:
    GraphicsEdgeItem(QmdItemId id, NetworkScene *scene);

    int type() const override { return EdgeType; }
    QPainterPath shape() const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

    void elementDataChanged(QmdItemId id, const QStringList &keys, QmdRequestId rid) override;
    void updateSelection() override;
    void setEdgesColor(const QColor &color);
    // For an edge that follows no element (the view's ghost while an edge
    // is being drawn): its ends and path kind as given.
    void setGeometry(const QPointF &start, const QPointF &end, int pathKind);
    int pathKind() const { return m_pathKind; }

    QmdItemId fromNode() const { return m_fromNode; }
    QmdItemId toNode() const { return m_toNode; }
    QColor currentColor() const { return m_currentColor; }
    // The arrow head's direction in degrees, 0 pointing along +x.
    double arrowAngle() const { return m_arrowAngle; }
    QGraphicsPolygonItem *arrowHead() const { return m_arrow; }

protected:
    QVariant itemChange(GraphicsItemChange change, const QVariant &value) override;

private:
    void rebuildPath();
    void refreshPen();
    void setCurrentColor(const QColor &color);

    QmdItemId m_fromNode = 0;
    QmdItemId m_toNode = 0;
    QPointF m_start;
    QPointF m_end;
    int m_pathKind = 0;
    bool m_wormhole = false;
    QColor m_baseColor;
    QColor m_currentColor;
    QGraphicsPolygonItem *m_arrow;
    double m_arrowAngle = 0;
    QPointF m_cachedDelta;
    int m_cachedKind = -1;
};
