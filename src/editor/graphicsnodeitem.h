#pragma once

#include "elementitem.h"

#include <QColor>
#include <QGraphicsEllipseItem>
#include <QMap>

class QGraphicsSimpleTextItem;

// A node: a circle of radius 10 points at its "TickPos", dashed when it plays
// no note, with a mark for its signalling method (two strokes for parallel, a
// cross for random) and its hit count at its upper right. While voices fire
// it, it is filled with one pie slice per flashing colour.
//
// GUI thread only.
class GraphicsNodeItem : public GraphicsElementItem<QGraphicsEllipseItem>
{
public:
    // A voice: its voice group's id in the high word, its own id in the low.
    using VoiceKey = quint64;
    static constexpr double Radius = 10.0;

    GraphicsNodeItem(QmdItemId id, NetworkScene *scene);

    int type() const override { return NodeType; }
    QRectF boundingRect() const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

    void elementDataChanged(QmdItemId id, const QStringList &keys, QmdRequestId rid) override;

    quint32 hitCount() const { return m_hitCount; }
    void setHitCount(quint32 count);
    void setCountersVisible(bool visible);
    void flashOn(VoiceKey voice, const QColor &color, bool deferRepaint = false);
    void flashOff(VoiceKey voice, bool deferRepaint = false);
    void clearFlashes(bool deferRepaint = false);
    void removeVoiceFlashes(VoiceKey voice, bool deferRepaint = false);
    int flashCount() const { return m_flashCount; }
    void setNodesColor(const QColor &color);
    void setAnnotationColor(const QColor &color);

    // A pitch list broken into lines of at least 30 characters, each ending
    // after a comma.
    static QString toolTipFor(const QString &pitchList);

private:
    void recount(bool deferRepaint);
    void paintSignallingMark(QPainter *painter) const;

    QGraphicsSimpleTextItem *m_counter;
    quint32 m_hitCount = 0;
    int m_signalling = 0;
    bool m_dontPlay = false;
    QMap<VoiceKey, QList<QColor>> m_flashes;
    int m_flashCount = 0;
};
