#pragma once

#include "qmdglobal.h"
#include "qmdindex.h"
#include "qmdobserver.h"
#include "scenecontents.h"

#include <QColor>
#include <QGraphicsScene>
#include <QHash>
#include <QMultiMap>
#include <QSet>
#include <QTimer>

class ElementItem;
class GraphicsNodeItem;
class QmdLudraController;

// The graphics scene of one network document: one item per element, the
// time grid behind them, the rectangle the network covers, and the nodes
// flashing as voices fire them. It reads the document and never writes to it
// except through its items (a text box's text).
//
// GUI thread only. The voice-group threads reach it only through the
// document's counters and the controller's fired-node queue, which it drains
// every 16 ms.
class NetworkScene : public QGraphicsScene, public QmdObserver<QmdLudraController>
{
    Q_OBJECT
    Q_PROPERTY(QColor backgroundColor READ backgroundColor WRITE setBackgroundColor)
    Q_PROPERTY(QColor principalLinesColor READ principalLinesColor WRITE setPrincipalLinesColor)
    Q_PROPERTY(QColor principalPointsColor READ principalPointsColor WRITE setPrincipalPointsColor)
    Q_PROPERTY(QColor divisionLinesColor READ divisionLinesColor WRITE setDivisionLinesColor)
    Q_PROPERTY(QColor divisionPointsColor READ divisionPointsColor WRITE setDivisionPointsColor)
    Q_PROPERTY(QColor annotationColor READ annotationColor WRITE setAnnotationColor)
    Q_PROPERTY(QColor nodesColor READ nodesColor WRITE setNodesColor)
    Q_PROPERTY(QColor edgesColor READ edgesColor WRITE setEdgesColor)

public:
    // Fired-node records taken per frame: a burst of firings is shown over
    // a few frames rather than stalling one.
    static constexpr int MaxRecordsPerFrame = 32;
    static constexpr int FrameMs = 16;
    // The request id of the items a reset makes: they come from the
    // document, not from an edit, so none becomes selected.
    static constexpr QmdRequestId LoadRequestId = QmdRequestId(-1);

    explicit NetworkScene(QObject *parent = nullptr);
    ~NetworkScene() override;

    void setController(QmdLudraController *controller) override;

    ElementItem *itemForId(QmdItemId id) const { return m_items.value(id); }
    int elementItemCount() const { return int(m_items.size()); }
    QmdItemIdSet selectedIds();
    bool snapToGrid() const { return m_snapToGrid; }
    qint64 divisionTicks() const { return m_divisionTicks; }
    bool showNodeCounters() const { return m_showNodeCounters; }
    QRectF contentsRect() const { return m_contents.rect(); }

    QColor backgroundColor() const { return m_backgroundColor; }
    QColor principalLinesColor() const { return m_principalLinesColor; }
    QColor principalPointsColor() const { return m_principalPointsColor; }
    QColor divisionLinesColor() const { return m_divisionLinesColor; }
    QColor divisionPointsColor() const { return m_divisionPointsColor; }
    QColor annotationColor() const { return m_annotationColor; }
    QColor nodesColor() const { return m_nodesColor; }
    QColor edgesColor() const { return m_edgesColor; }
    void setBackgroundColor(const QColor &color);
    void setPrincipalLinesColor(const QColor &color);
    void setPrincipalPointsColor(const QColor &color);
    void setDivisionLinesColor(const QColor &color);
    void setDivisionPointsColor(const QColor &color);
    void setAnnotationColor(const QColor &color);
    void setNodesColor(const QColor &color);
    void setEdgesColor(const QColor &color);

Q_SIGNALS:
    void sceneContentsRectChanged(const QRectF &rect);

public Q_SLOTS:
    void reset();
    void setSceneContentsRect(const QRectF &rect);
    void onSelectionChanged();
    void onElementsAdded(const QmdItemIdList &idList, QmdRequestId rid);
    void onElementsRemoved(const QmdItemIdList &idList, QmdRequestId rid);
    void onElementDataChangedOrRemoved(QmdItemId id, const QStringList &keys, QmdRequestId rid);
    void onInstrumentDataChangedOrRemoved(QmdItemId id, const QStringList &keys, QmdRequestId rid);
    void onItemsChanged(const QmdIndex &parent, const QStringList &keys);
    // One frame of playback feedback: flashes whose time is over go out,
    // and up to MaxRecordsPerFrame new firings light up.
    void checkFeedbackPipe();

protected:
    void drawBackground(QPainter *painter, const QRectF &exposed) override;

private:
    using VoiceKey = quint64;
    struct Flash
    {
        GraphicsNodeItem *node;
        VoiceKey voice;
    };

    void createItem(QmdItemId id, QmdRequestId rid);
    void trackContents(ElementItem *item);
    void resetBackgroundCache();
    void loadGridSettings(const QStringList &keys);
    void showHitCount(QmdItemId element);
    QList<GraphicsNodeItem *> nodeItems() const;
    void bindColors();

    QHash<QmdItemId, ElementItem *> m_items;
    // When each flash goes out, in ticks of the timing source.
    QMultiMap<qint64, Flash> m_pendingUnflash;
    QTimer m_feedbackTimer;
    SceneContents m_contents;
    QmdRequestId m_lastRequestId = 0;
    bool m_selectionDirty = true;
    QmdItemIdSet m_selectedIds;
    bool m_snapToGrid = true;
    qint64 m_divisionTicks;
    bool m_showNodeCounters = false;

    QColor m_backgroundColor;
    QColor m_principalLinesColor;
    QColor m_principalPointsColor;
    QColor m_divisionLinesColor;
    QColor m_divisionPointsColor;
    QColor m_annotationColor;
    QColor m_nodesColor;
    QColor m_edgesColor;
};
