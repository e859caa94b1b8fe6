#pragma once

#include "qmdglobal.h"

#include <QColor>
#include <QGraphicsPixmapItem>
#include <QObject>

class QTimeLine;

// One entry of a node's edge-usage list in the usage editor: a tile in the
// colour of its edge (the palette colour of the edge's identifier) showing
// how many times the edge is used. The user drags it along the row to
// reorder, double-clicks it (or presses Return) to edit its uses, and
// removes it with Delete or its context menu; the tile only reports these,
// the editor decides.
//
// GUI thread only.
class EdgeUsageTile : public QObject, public QGraphicsPixmapItem
{
    Q_OBJECT

public:
    // Distance between the left edges of neighbouring tiles.
    static constexpr int SlotWidth = 31;
    static constexpr int SlideMs = 150;

    EdgeUsageTile(QmdItemId edge, int uses, const QColor &color);

    QmdItemId edge() const { return m_edge; }
    int uses() const { return m_uses; }
    void setUses(int uses);
    QColor color() const { return m_color; }

    // Where the editor has put the tile among count tiles.
    int slot() const { return m_slot; }
    void setSlot(int slot, int count);
    // Moves to the slot's place at once, or sliding there.
    void placeAtSlot();
    void slideToSlot();

    static QSize tileSize();

Q_SIGNALS:
    void editTriggered(EdgeUsageTile *tile);
    void visualizeMove(EdgeUsageTile *tile, int to);
    void moveFinished(EdgeUsageTile *tile);
    void removeTriggered(EdgeUsageTile *tile);

protected:
    QVariant itemChange(GraphicsItemChange change, const QVariant &value) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseDoubleClickEvent(QGraphicsSceneMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QGraphicsSceneContextMenuEvent *event) override;
    void hoverEnterEvent(QGraphicsSceneHoverEvent *event) override;
    void hoverLeaveEvent(QGraphicsSceneHoverEvent *event) override;

private Q_SLOTS:
    void onTimeLineFrameChanged(int frame);
    void onTimeLineFinished();

private:
    void render();
    void placeAt(qreal x);

    const QmdItemId m_edge;
    int m_uses;
    const QColor m_color;
    int m_slot = 0;
    int m_slotCount = 1;
    bool m_hovered = false;
    QTimeLine *m_timeLine;
    // Off while the editor or the slide moves the tile: only the user's
    // drag is a move to report.
    bool m_trackPositionChanges = true;
};
