#pragma once

#include "qmdglobal.h"
#include "qmdindex.h"
#include "qmdludra.h"
#include "qmdobserver.h"

#include <QGraphicsView>
#include <QHash>
#include <QPointer>

#include <memory>

class AbstractInstrument;
class AbstractSync;
class ElementItem;
class GraphicsEdgeItem;
class GraphicsNodeItem;
class GraphicsTextBoxItem;
class GraphicsVoiceGroupItem;
class NetworkScene;
class QAction;
class QGraphicsObject;
class QMenu;
class QmdLudraController;
class ToolActions;
class ZoomComboBox;

// The view of a network scene in a document window, and the tools that edit
// the network with the mouse: selecting and moving, zooming, drawing nodes
// with edges between them, placing voice groups and text boxes. Gestures
// become controller requests, one undo step each; while an element is being
// drawn, a translucent ghost of it follows the mouse, and the document
// changes only when the button is released. Positions snap to the grid's
// divisions when the document says so. The tool and the zoom are values of
// the document, so they are saved and undone with it.
//
// The edit commands of the context menu and the delete keys are the
// window's: the view asks for them by its signals.
//
// GUI thread only.
class NetworkView : public QGraphicsView, public QmdObserver<QmdLudraController>
{
    Q_OBJECT
    Q_PROPERTY(int contextMenuNodeSigMethod READ contextMenuNodeSigMethod WRITE
                   setContextMenuNodeSigMethod NOTIFY contextMenuNodeSigMethodChanged)
    Q_PROPERTY(int contextMenuEdgePath READ contextMenuEdgePath WRITE setContextMenuEdgePath NOTIFY
                   contextMenuEdgePathChanged)

public:
    // What a click of the zoom tool does now.
    enum ZoomMode { ZoomIn = 0, ZoomOut = 1, ZoomNone = 2 };
    static constexpr double MinZoom = 0.25;
    static constexpr double MaxZoom = 8.0;
    static const QString ElementsMimeType;

    explicit NetworkView(NetworkScene *scene, QWidget *parent = nullptr);
    ~NetworkView() override;

    void setController(QmdLudraController *controller) override;

    NetworkScene *networkScene() const { return m_scene; }
    // The tools, for the window's tool bar and menu; they show and set the
    // document's tool.
    ToolActions *toolActions() const { return m_tools; }
    ZoomComboBox *zoomComboBox() const { return m_zoomCombo; }
    int tool() const { return m_tool; }
    ZoomMode zoomMode() const { return m_zoomMode; }

    // The position on the nearest division of the grid while the document
    // snaps, else as it is.
    QmdLudra::TickPos snapped(const QmdLudra::TickPos &pos) const;
    // The multiple of step nearest to value, halves away from zero; value
    // itself for a step below 2. Where the nearest multiple lies beyond 64
    // bits, the one towards zero.
    static qint64 roundToMultiple(qint64 value, qint64 step);

    // Where Alt-clicking a node plays its pitch list: an instrument, and
    // the timing source whose position is "now" for it. Neither is owned;
    // either may go away.
    void setAuditionOutput(AbstractInstrument *instrument, AbstractSync *timing);

    // The context menu for a click at a point of the viewport, bound to the
    // selection (the element under the point is selected first). Its node
    // and edge entries write to the document until it is destroyed.
    std::unique_ptr<QMenu> createContextMenu(const QPoint &viewPos);

    int contextMenuNodeSigMethod() const { return m_contextMenuNodeSigMethod; }
    void setContextMenuNodeSigMethod(int method);
    int contextMenuEdgePath() const { return m_contextMenuEdgePath; }
    void setContextMenuEdgePath(int path);

Q_SIGNALS:
    void contextMenuNodeSigMethodChanged();
    void contextMenuEdgePathChanged();
    // The user chose an edit command of the window.
    void cutRequested();
    void copyRequested();
    void pasteRequested();
    void deleteRequested();
    void selectAllRequested();

public Q_SLOTS:
    void reset();
    void shrinkOrGrowSceneRect();
    void smartUpdateSceneRect();
    void onElementsAdded(const QmdItemIdList &idList, QmdRequestId rid);
    void onElementsRemoved(const QmdItemIdList &idList, QmdRequestId rid);
    void onItemsChanged(const QmdIndex &parent, const QStringList &keys, QmdRequestId rid = 0);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    enum class Drag { None, Selection, Ghost };

    bool isEditing() const;
    double zoomScale() const;
    void applyZoom();
    void applyTool();
    void evaluateZoomMode();
    void refreshCursor();
    QRectF fittedSceneRect() const;
    void revealNetwork();

    ElementItem *elementAt(const QPoint &viewPos) const;
    GraphicsNodeItem *nodeAt(const QPoint &viewPos) const;
    QmdIndex elementIndex(QmdItemId id) const;
    QVariant elementValue(QmdItemId id, const QString &key) const;
    QmdLudra::TickPos tickPosOf(QmdItemId id) const;

    void pressSelection(ElementItem *element, QMouseEvent *event, const QmdLudra::TickPos &cursor);
    void pressNodeAndEdge(GraphicsNodeItem *node, const QmdLudra::TickPos &at, bool flipped);
    void pressTextBox(ElementItem *element, const QPointF &scenePos);
    void dragTo(const QPoint &viewPos, Qt::KeyboardModifiers modifiers);
    void collectDragOffsets();
    void moveSelection(const QmdLudra::TickPos &to);
    void trackTarget(const QPoint &viewPos, int pathKind);
    void finishCreation(const QPoint &viewPos);
    void finishClick(const QPoint &viewPos);
    void endDrag();
    void audition(QmdItemId node);

    QGraphicsItem *ghostLayer();
    void forgetDeadGhosts();
    void deleteGhosts();
    void cancelCreation();
    void setGhostPathKind(int kind);
    void onRequestFinished(QmdRequestId rid);

    QHash<QmdIndex, QSet<QString>> selectedTargets(uint type, const QString &key) const;
    void unbindContextMenu();

    QPointer<NetworkScene> m_scene;
    ToolActions *m_tools;
    ZoomComboBox *m_zoomCombo;
    int m_tool;
    ZoomMode m_zoomMode = ZoomIn;
    bool m_altHeld = false;
    QmdRequestId m_zoomRequestId = 0;
    // The scene point a zoom click aimed at; centred once the zoom applies.
    QPointF m_zoomTarget;
    // A document's network is brought into sight, as often as the window
    // changes size, until the user first moves about in it.
    bool m_revealPending = false;

    Drag m_drag = Drag::None;
    // The element grabbed by a selection drag, by id: it may be deleted
    // while the button is held.
    QmdItemId m_dragElement = 0;
    QGraphicsItem *m_dragGhost = nullptr;
    bool m_pressedSelected = false;
    QmdRequestId m_moveRequestId = 0;
    QmdLudra::TickPos m_dragLastPos;
    QmdLudra::TickPos m_grabOffset;
    QHash<QmdItemId, QmdLudra::TickPos> m_dragOffsets;
    bool m_dragStarting = false;

    // Ghosts are children of one layer item, which the scene deletes with
    // everything else when it resets; the guard tells the view.
    QPointer<QGraphicsObject> m_ghostLayer;
    GraphicsEdgeItem *m_ghostEdge = nullptr;
    GraphicsNodeItem *m_ghostNode = nullptr;
    GraphicsVoiceGroupItem *m_ghostVoiceGroup = nullptr;
    GraphicsTextBoxItem *m_ghostTextBox = nullptr;
    QPointF m_ghostEdgeStart;
    QPointF m_ghostEdgeEnd;
    QmdItemId m_startNode = 0;
    QmdItemId m_targetNode = 0;
    QmdRequestId m_pendingNodeRequestId = 0;
    int m_pendingPathKind = 0;

    QPointer<AbstractInstrument> m_auditionInstrument;
    QPointer<AbstractSync> m_auditionTiming;

    int m_contextMenuNodeSigMethod = -1;
    int m_contextMenuEdgePath = -1;
    QMenu *m_contextMenu = nullptr;
    QMetaObject::Connection m_contextMenuGone;
    QList<QPointer<QAction>> m_sigMethodActions;
    QList<QPointer<QAction>> m_edgePathActions;
};
