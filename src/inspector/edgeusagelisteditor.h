#pragma once

#include "qmdindex.h"
#include "qmdobserver.h"

#include <QGraphicsView>
#include <QList>
#include <QMetaObject>
#include <QPointer>

class EdgeUsageTile;
class QAction;
class QMenu;
class QSpinBox;
class QmdLudraController;

// A node's edge-usage list ("ArcUsageList") as a row of tiles, one per
// entry in order. The user drags tiles into a new order (the others slide
// aside at once), edits a tile's uses (0 to 99) in a spin box over it,
// removes tiles and adds the node's outgoing edges from a menu. Each
// finished gesture rewrites the whole list as one request, "Edge Usage";
// a gesture that leaves the list as it was writes nothing. The rewritten
// list has no empty entries.
//
// GUI thread only.
class EdgeUsageListEditor : public QGraphicsView, public QmdObserver<QmdLudraController>
{
    Q_OBJECT

public:
    explicit EdgeUsageListEditor(QWidget *parent = nullptr);
    ~EdgeUsageListEditor() override;

    void setController(QmdLudraController *controller) override;
    // The node whose list is shown; an invalid index shows none.
    void setNode(const QmdIndex &node);
    QmdIndex node() const { return m_node; }

    const QList<EdgeUsageTile *> &tiles() const { return m_tiles; }
    // The list as the tiles show it.
    QString usageText() const;
    QSpinBox *usesSpinBox() const { return m_spinBox; }

    // One action per outgoing edge of the node, or the disabled "(no
    // edges)"; triggering one adds the edge with one use.
    void fillAddMenu(QMenu *menu);

    QSize sizeHint() const override;

public Q_SLOTS:
    void onAddActionTriggered(QAction *action);
    void onEditingFinished();
    void onItemsChangedOrRemoved(const QmdIndex &parent);
    void onEditTriggered(EdgeUsageTile *tile);
    void onVisualizeTileMove(EdgeUsageTile *tile, int to);
    void onTileMoveFinished(EdgeUsageTile *tile);
    void onRemoveTriggered(EdgeUsageTile *tile);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void drawBackground(QPainter *painter, const QRectF &rect) override;

private:
    QString documentText() const;
    void load();
    void clearTiles();
    void layoutTiles();
    void write(const QString &text);

    QmdIndex m_node;
    QList<EdgeUsageTile *> m_tiles;
    QSpinBox *m_spinBox;
    QPointer<EdgeUsageTile> m_editedTile;
    QList<QMetaObject::Connection> m_connections;
};
