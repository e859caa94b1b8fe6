#pragma once

#include "elementitem.h"

#include <QGraphicsPolygonItem>

// A voice group: a triangle whose tip touches the left rim of the node its
// voices start from, coloured like its first instrument and named by it in
// its tool tip.
//
// GUI thread only.
class GraphicsVoiceGroupItem : public GraphicsElementItem<QGraphicsPolygonItem>
{
public:
    GraphicsVoiceGroupItem(QmdItemId id, NetworkScene *scene);

    int type() const override { return VoiceGroupType; }
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

    void elementDataChanged(QmdItemId id, const QStringList &keys, QmdRequestId rid) override;
    void instrumentDataChanged(QmdItemId id, const QStringList &keys, QmdRequestId rid) override;

    QmdItemId node() const { return m_node; }
    QmdItemId instrument() const { return m_instrument; }

protected:
    QVariant itemChange(GraphicsItemChange change, const QVariant &value) override;

private:
    void recolor();
    void setPenWidth();

    QmdItemId m_node = 0;
    QmdItemId m_instrument = 0;
};
