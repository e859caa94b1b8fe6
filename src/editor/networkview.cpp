#include "networkview.h"

#include "abstractinstrument.h"
#include "abstractsync.h"
#include "displayscale.h"
#include "graphicsedgeitem.h"
#include "graphicsnodeitem.h"
#include "graphicstextboxedit.h"
#include "graphicstextboxitem.h"
#include "graphicsvoicegroupitem.h"
#include "networkscene.h"
#include "pitchaudition.h"
#include "qmdludracontroller.h"
#include "toolactions.h"
#include "zoomcombobox.h"

#include <QActionGroup>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

using QmdLudra::TickPos;

namespace {
const QString ZoomScaleKey = QStringLiteral("ZoomScale");
const QString ToolKey = QStringLiteral("Tool");
const QString PitchListKey = QStringLiteral("PitchList");
const QString DefaultTextBoxHtml = QStringLiteral("<html><body>Text</body></html>");

// Ghost node outlines: following the mouse, refusing (nothing would be
// made here) and accepting (an edge would end here).
const QColor GhostColor(155, 158, 255);
const QColor RefusedColor(255, 0, 0);
const QColor AcceptedColor(0, 255, 0);
constexpr double GhostOpacity = 0.7;
constexpr double SceneRectMargin = 20;

// Parent of the ghosts, above every element; it draws nothing itself, and
// is no element, so the ghosts under the mouse are never taken for one.
class GhostLayer : public QGraphicsObject
{
public:
    GhostLayer()
    {
        setFlag(ItemHasNoContents);
        setZValue(10);
        setOpacity(GhostOpacity);
    }
    QRectF boundingRect() const override { return {}; }
    void paint(QPainter *, const QStyleOptionGraphicsItem *, QWidget *) override {}
};

// Positions come from documents, which may hold anything: sums that do not
// fit in 64 bits are refused rather than wrapped.
bool add(const TickPos &a, const TickPos &b, TickPos *sum)
{
    return !__builtin_add_overflow(a.x, b.x, &sum->x) && !__builtin_add_overflow(a.y, b.y, &sum->y);
}

bool subtract(const TickPos &a, const TickPos &b, TickPos *difference)
{
    return !__builtin_sub_overflow(a.x, b.x, &difference->x) &&
           !__builtin_sub_overflow(a.y, b.y, &difference->y);
}

void prepareGhost(QGraphicsItem *ghost, QGraphicsItem *layer)
{
    ghost->setFlag(QGraphicsItem::ItemIsSelectable, false);
    ghost->setAcceptedMouseButtons(Qt::NoButton);
    ghost->setAcceptHoverEvents(false);
    ghost->setParentItem(layer);
}
} // namespace

const QString NetworkView::ElementsMimeType = QStringLiteral("text/ludra-elements");

NetworkView::NetworkView(NetworkScene *scene, QWidget *parent)
    : QGraphicsView(scene, parent), QmdObserver(nullptr), m_scene(scene),
      m_tools(new ToolActions(this)), m_zoomCombo(new ZoomComboBox(this)),
      m_tool(ToolActions::NodeAndEdge)
{
    setCacheMode(CacheBackground);
    setFocusPolicy(Qt::WheelFocus);
    setRenderHint(QPainter::Antialiasing);
    // The zoom combo box lives beside the horizontal scroll bar, which is
    // therefore always shown.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_zoomCombo->setFixedWidth(60);
    addScrollBarWidget(m_zoomCombo, Qt::AlignLeft);
    setDragMode(RubberBandDrag);
    for (QScrollBar *bar : {horizontalScrollBar(), verticalScrollBar()})
        connect(bar, &QAbstractSlider::actionTriggered, this, [this] { m_revealPending = false; });
    if (scene) {
        connect(scene, &NetworkScene::sceneContentsRectChanged, this,
                &NetworkView::smartUpdateSceneRect);
    }
    reset();
}

NetworkView::~NetworkView()
{
    disconnect(m_contextMenuGone);
    delete m_ghostLayer.data();
}

void NetworkView::setController(QmdLudraController *controller)
{
    if (m_controller) {
        m_controller->disconnect(this);
        m_controller->unbind(m_zoomCombo);
        m_controller->unbind(m_tools);
        unbindContextMenu();
    }
    QmdObserver::setController(controller);
    if (m_controller) {
        connect(m_controller, &QmdLudraController::elementsAdded, this,
                &NetworkView::onElementsAdded);
        connect(m_controller, &QmdLudraController::elementsRemoved, this,
                &NetworkView::onElementsRemoved);
        connect(m_controller,
                qOverload<const QmdIndex &, const QStringList &, QmdRequestId>(
                    &QmdLudraController::itemsChanged),
                this, &NetworkView::onItemsChanged);
        connect(m_controller, &QmdLudraController::modelReset, this, &NetworkView::reset);
        connect(m_controller, &QmdLudraController::requestFinished, this,
                &NetworkView::onRequestFinished);
        connect(m_controller, &QObject::destroyed, this, [this] {
            m_controller = nullptr;
            reset();
        });
        m_controller->bind(m_zoomCombo, "currentKey", SIGNAL(activated(int)), ZoomScaleKey,
                           QmdIndex(), 1.0, 1.0, tr("Zoom"));
        m_controller->bind(m_tools, "tool", SIGNAL(toolChanged(int)), ToolKey, QmdIndex(),
                           int(ToolActions::NodeAndEdge), int(ToolActions::NodeAndEdge),
                           tr("Tool"));
    }
    reset();
}

// --- Document values ----------------------------------------------------------

void NetworkView::reset()
{
    cancelCreation();
    endDrag();
    resetCachedContent();
    if (m_controller) {
        applyZoom();
        applyTool();
    }
    refreshCursor();
    m_revealPending = true;
    revealNetwork();
}

void NetworkView::onItemsChanged(const QmdIndex &parent, const QStringList &keys, QmdRequestId rid)
{
    if (!m_controller || parent.isValid())
        return;
    if (keys.contains(ZoomScaleKey)) {
        applyZoom();
        // A zoom click brings the point it aimed at to the middle.
        if (rid && rid == m_zoomRequestId)
            centerOn(m_zoomTarget);
    }
    if (keys.contains(ToolKey))
        applyTool();
}

double NetworkView::zoomScale() const
{
    const double scale =
        m_controller ? m_controller->data(m_controller->index(ZoomScaleKey)).toDouble() : 1.0;
    if (!(scale > 0) || !std::isfinite(scale))
        return 1.0;
    return std::clamp(scale, MinZoom, MaxZoom);
}

void NetworkView::applyZoom()
{
    const double scale = zoomScale();
    setTransformationAnchor(AnchorViewCenter);
    resetTransform();
    this->scale(scale, scale);
    setTransformationAnchor(AnchorUnderMouse);
    evaluateZoomMode();
    shrinkOrGrowSceneRect();
}

void NetworkView::applyTool()
{
    const int tool = m_controller->data(m_controller->index(ToolKey)).toInt();
    if (tool >= 0 && tool < ToolActions::ToolCount)
        m_tool = tool;
    refreshCursor();
}

void NetworkView::evaluateZoomMode()
{
    const double target = zoomScale() * (m_altHeld ? 0.5 : 2.0);
    if (target >= MinZoom && target <= MaxZoom)
        m_zoomMode = m_altHeld ? ZoomOut : ZoomIn;
    else
        m_zoomMode = ZoomNone;
    refreshCursor();
}

void NetworkView::refreshCursor()
{
    const auto drawn = [](const char *name) {
        return QCursor(QPixmap(QStringLiteral(":/images/Cursors/%1.png").arg(QLatin1String(name))),
                       7, 7);
    };
    static constexpr const char *ZoomCursors[] = {"ZoomIn", "ZoomOut", "ZoomNone"};
    switch (m_tool) {
    case ToolActions::Zoom:
        viewport()->setCursor(drawn(ZoomCursors[m_zoomMode]));
        break;
    case ToolActions::NodeAndEdge:
    case ToolActions::VoiceGroup:
        viewport()->setCursor(drawn("Crosshair"));
        break;
    case ToolActions::TextBox:
        viewport()->setCursor(Qt::IBeamCursor);
        break;
    default:
        viewport()->setCursor(Qt::ArrowCursor);
        break;
    }
}

// --- Scene rectangle ----------------------------------------------------------

// The window's worth of scene around the origin, and the network with a
// margin: an empty document opens centred on the origin, and every element
// can be scrolled to.
QRectF NetworkView::fittedSceneRect() const
{
    const QTransform matrix = transform();
    const QSizeF visible(viewport()->width() / matrix.m11(), viewport()->height() / matrix.m22());
    QRectF rect(QPointF(-visible.width() / 2, -visible.height() / 2), visible);
    if (m_scene && !m_scene->contentsRect().isNull()) {
        rect |= m_scene->contentsRect().adjusted(-SceneRectMargin, -SceneRectMargin,
                                                 SceneRectMargin, SceneRectMargin);
    }
    return rect;
}

void NetworkView::shrinkOrGrowSceneRect()
{
    const QRectF fitted = fittedSceneRect();
    if (fitted != sceneRect())
        setSceneRect(fitted);
}

// While an element is dragged the rectangle only grows: shrinking it would
// scroll the view under the mouse.
void NetworkView::smartUpdateSceneRect()
{
    const QRectF fitted = fittedSceneRect();
    const QRectF current = sceneRect();
    if ((current.isEmpty() || fitted.contains(current)) && fitted != current)
        setSceneRect(fitted);
}

void NetworkView::resizeEvent(QResizeEvent *event)
{
    QGraphicsView::resizeEvent(event);
    shrinkOrGrowSceneRect();
    revealNetwork();
}

// The whole network where it fits, else its top left, where a reader
// starts; an empty document shows the origin. A window usually takes its
// final size after its document has been read, hence the repeats.
void NetworkView::revealNetwork()
{
    if (!m_revealPending || !m_scene)
        return;
    const QRectF contents = m_scene->contentsRect();
    if (contents.isNull()) {
        centerOn(QPointF());
        return;
    }
    const QRectF network =
        contents.adjusted(-SceneRectMargin, -SceneRectMargin, SceneRectMargin, SceneRectMargin);
    const QRectF visible = mapToScene(viewport()->rect()).boundingRect();
    QPointF centre = network.center();
    if (network.width() > visible.width())
        centre.setX(network.left() + visible.width() / 2);
    if (network.height() > visible.height())
        centre.setY(network.top() + visible.height() / 2);
    centerOn(centre);
}

void NetworkView::onElementsAdded(const QmdItemIdList &idList, QmdRequestId rid)
{
    if (m_pendingNodeRequestId && rid == m_pendingNodeRequestId && !idList.isEmpty()) {
        // The node of a "Node && Edge" exists: its edge joins the same undo
        // step. A start node deleted meanwhile leaves the node alone.
        const QmdIndex from = elementIndex(m_startNode);
        const QmdIndex to = elementIndex(idList.first());
        if (m_controller->isValid(from) && m_controller->isValid(to)) {
            m_controller->requestAddEdge(from, to, QmdLudra::EdgePath(m_pendingPathKind), {},
                                         QmdRequestOptions(0, tr("Node && Edge"), rid));
        }
        m_pendingNodeRequestId = 0;
        cancelCreation();
    }
    shrinkOrGrowSceneRect();
}

void NetworkView::onElementsRemoved(const QmdItemIdList &, QmdRequestId) {}

void NetworkView::onRequestFinished(QmdRequestId rid)
{
    // A node request that ended without its node leaves no ghost behind.
    if (m_pendingNodeRequestId && rid == m_pendingNodeRequestId)
        cancelCreation();
}

// --- Looking at the scene -----------------------------------------------------

bool NetworkView::isEditing() const
{
    return m_scene && dynamic_cast<GraphicsTextBoxEdit *>(m_scene->focusItem());
}

// The element drawn topmost at the point; an arrow head or a counter counts
// as its edge or node.
ElementItem *NetworkView::elementAt(const QPoint &viewPos) const
{
    const QList<QGraphicsItem *> found = items(viewPos);
    for (QGraphicsItem *item : found) {
        if (ElementItem *element = ElementItem::fromGraphicsItem(item->topLevelItem()))
            return element;
    }
    return nullptr;
}

// The node at the point, even under an edge that passes over it.
GraphicsNodeItem *NetworkView::nodeAt(const QPoint &viewPos) const
{
    const QList<QGraphicsItem *> found = items(viewPos);
    for (QGraphicsItem *item : found) {
        QGraphicsItem *top = item->topLevelItem();
        if (top->type() == ElementItem::NodeType)
            return dynamic_cast<GraphicsNodeItem *>(top);
    }
    return nullptr;
}

QmdIndex NetworkView::elementIndex(QmdItemId id) const
{
    return m_controller->index(id, m_controller->elementsIndex());
}

QVariant NetworkView::elementValue(QmdItemId id, const QString &key) const
{
    return m_controller->data(m_controller->index(key, elementIndex(id)));
}

TickPos NetworkView::tickPosOf(QmdItemId id) const
{
    return elementValue(id, QmdLudra::TickPosKey).value<TickPos>();
}

// --- Snapping -----------------------------------------------------------------

qint64 NetworkView::roundToMultiple(qint64 value, qint64 step)
{
    if (step < 2)
        return value;
    // Division truncates towards zero, so the remainder takes the value's
    // sign; a remainder of at least half a step rounds away from zero.
    qint64 quotient = value / step;
    const qint64 remainder = value % step;
    if (remainder > 0 && remainder >= step - remainder)
        ++quotient;
    else if (remainder < 0 && -remainder >= step + remainder)
        --quotient;
    qint64 result = 0;
    if (__builtin_mul_overflow(quotient, step, &result))
        return (remainder > 0 ? quotient - 1 : quotient + 1) * step;
    return result;
}

TickPos NetworkView::snapped(const TickPos &pos) const
{
    if (!m_scene || !m_scene->snapToGrid())
        return pos;
    const qint64 step = m_scene->divisionTicks();
    return {roundToMultiple(pos.x, step), roundToMultiple(pos.y, step)};
}

// --- Mouse ----------------------------------------------------------------------

void NetworkView::mousePressEvent(QMouseEvent *event)
{
    m_revealPending = false;
    if (!m_scene || !m_controller || isEditing()) {
        QGraphicsView::mousePressEvent(event);
        return;
    }
    forgetDeadGhosts();
    ElementItem *element = elementAt(event->pos());
    if (event->button() == Qt::RightButton) {
        // The menu that follows acts on the selection: what was clicked
        // joins it, rather than the base view clearing it.
        if (element) {
            if (!element->graphicsItem()->isSelected()) {
                m_scene->clearSelection();
                element->graphicsItem()->setSelected(true);
            }
            event->accept();
        } else {
            QGraphicsView::mousePressEvent(event);
        }
        return;
    }
    if (event->button() != Qt::LeftButton) {
        QGraphicsView::mousePressEvent(event);
        return;
    }
    // A node waiting for its edge is there within a turn of the event loop.
    if (m_pendingNodeRequestId) {
        event->accept();
        return;
    }
    // A release that went elsewhere ended the last drag.
    if (m_drag != Drag::None) {
        cancelCreation();
        endDrag();
    }
    const QPointF scenePos = mapToScene(event->pos());
    TickPos cursor;
    if (!DisplayScale::scenePosToTickPos(scenePos, &cursor)) {
        event->accept();
        return;
    }
    // The document's zoom may have changed since the last look, and Alt
    // may have gone down while another window had the keyboard.
    m_altHeld = event->modifiers() & Qt::AltModifier;
    evaluateZoomMode();

    bool consumed = false;
    switch (m_tool) {
    case ToolActions::Selection:
        pressSelection(element, event, cursor);
        break;
    case ToolActions::Zoom:
        if (m_zoomMode != ZoomNone) {
            const double factor = m_zoomMode == ZoomIn ? 2.0 : 0.5;
            m_zoomTarget = scenePos;
            m_zoomRequestId = m_controller->requestSetData(ZoomScaleKey, zoomScale() * factor,
                                                           QmdIndex(), tr("Zoom"));
        }
        consumed = true;
        break;
    case ToolActions::NodeAndEdge:
        pressNodeAndEdge(nodeAt(event->pos()), snapped(cursor),
                         event->modifiers() & Qt::ShiftModifier);
        break;
    case ToolActions::VoiceGroup:
        if (GraphicsNodeItem *node = nodeAt(event->pos())) {
            m_ghostVoiceGroup = new GraphicsVoiceGroupItem(0, nullptr);
            prepareGhost(m_ghostVoiceGroup, ghostLayer());
            m_ghostVoiceGroup->setPos(node->pos());
            m_drag = Drag::Ghost;
            m_dragGhost = m_ghostVoiceGroup;
        }
        break;
    case ToolActions::TextBox:
        pressTextBox(element, scenePos);
        consumed = m_drag == Drag::None;
        break;
    }

    if (m_drag != Drag::None) {
        m_moveRequestId = 0;
        m_dragOffsets.clear();
        m_dragStarting = true;
        setDragMode(NoDrag);
        event->accept();
        return;
    }
    // The Control key extends a rubber band; other modifiers have meanings
    // of their own and do not start one.
    if (consumed || (event->modifiers() & ~Qt::ControlModifier)) {
        event->accept();
        return;
    }
    QGraphicsView::mousePressEvent(event);
}

void NetworkView::pressSelection(ElementItem *element, QMouseEvent *event, const TickPos &cursor)
{
    if (!element)
        return;
    QGraphicsItem *item = element->graphicsItem();
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    const int type = item->type();
    if (type != ElementItem::NodeType && type != ElementItem::TextBoxType) {
        // Edges and voice groups are selected, never dragged.
        if (shift)
            item->setSelected(!item->isSelected());
        return;
    }
    m_drag = Drag::Selection;
    m_dragElement = element->elementId();
    m_dragLastPos = tickPosOf(m_dragElement);
    if (!subtract(cursor, m_dragLastPos, &m_grabOffset))
        m_grabOffset = {};
    m_pressedSelected = item->isSelected();
    // The grabbed element is selected at once, so that it moves even when
    // the press is all the selecting the user did.
    if (shift) {
        item->setSelected(!item->isSelected());
    } else if (!item->isSelected()) {
        m_scene->clearSelection();
        item->setSelected(true);
    }
    if ((event->modifiers() & Qt::AltModifier) && type == ElementItem::NodeType)
        audition(m_dragElement);
}

void NetworkView::pressNodeAndEdge(GraphicsNodeItem *node, const TickPos &at, bool flipped)
{
    const QPointF position = DisplayScale::tickPosToScenePos(at);
    m_ghostNode = new GraphicsNodeItem(0, nullptr);
    prepareGhost(m_ghostNode, ghostLayer());
    m_ghostNode->setNodesColor(GhostColor);
    m_ghostNode->setPos(position);
    m_drag = Drag::Ghost;
    m_dragGhost = m_ghostNode;
    m_dragLastPos = at;
    m_grabOffset = {};
    m_targetNode = 0;
    if (!node)
        return;
    m_scene->clearSelection();
    m_startNode = node->elementId();
    m_ghostEdgeStart = node->pos();
    m_ghostEdgeEnd = position;
    m_ghostEdge = new GraphicsEdgeItem(0, nullptr);
    prepareGhost(m_ghostEdge, ghostLayer());
    m_ghostEdge->setEdgesColor(m_scene->edgesColor());
    m_ghostEdge->setGeometry(m_ghostEdgeStart, position,
                             flipped ? QmdLudra::CityBlockFlipped : QmdLudra::CityBlock);
}

void NetworkView::pressTextBox(ElementItem *element, const QPointF &scenePos)
{
    if (element && element->graphicsItem()->type() == ElementItem::TextBoxType) {
        auto *textBox = static_cast<GraphicsTextBoxItem *>(element->graphicsItem());
        textBox->openEditor(textBox->mapFromScene(scenePos));
        return;
    }
    m_ghostTextBox = new GraphicsTextBoxItem(0, nullptr);
    prepareGhost(m_ghostTextBox, ghostLayer());
    m_ghostTextBox->setHtml(DefaultTextBoxHtml);
    // The text's middle line sits on the click.
    TickPos at;
    TickPos cursor;
    if (!DisplayScale::scenePosToTickPos(
            scenePos - QPointF(0, m_ghostTextBox->boundingRect().height() / 2), &at) ||
        !DisplayScale::scenePosToTickPos(scenePos, &cursor)) {
        deleteGhosts();
        return;
    }
    at = snapped(at);
    m_ghostTextBox->setPos(DisplayScale::tickPosToScenePos(at));
    m_drag = Drag::Ghost;
    m_dragGhost = m_ghostTextBox;
    m_dragLastPos = at;
    if (!subtract(cursor, at, &m_grabOffset))
        m_grabOffset = {};
}

void NetworkView::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_scene || !m_controller || m_drag == Drag::None) {
        QGraphicsView::mouseMoveEvent(event);
        return;
    }
    dragTo(event->pos(), event->modifiers());
    event->accept();
}

// One step of a drag, for a move or for the release that ends it (which
// may come from another place than the last move).
void NetworkView::dragTo(const QPoint &viewPos, Qt::KeyboardModifiers modifiers)
{
    forgetDeadGhosts();
    if (m_drag == Drag::None)
        return;
    TickPos cursor;
    if (!DisplayScale::scenePosToTickPos(mapToScene(viewPos), &cursor))
        return;
    if (m_drag == Drag::Selection && m_dragStarting)
        collectDragOffsets();
    TickPos grabbed;
    if (subtract(cursor, m_grabOffset, &grabbed)) {
        const TickPos next = snapped(grabbed);
        if (next != m_dragLastPos) {
            if (m_drag == Drag::Selection)
                moveSelection(next);
            else if (m_dragGhost == m_ghostNode || m_dragGhost == m_ghostTextBox)
                m_dragGhost->setPos(DisplayScale::tickPosToScenePos(next));
            m_dragLastPos = next;
        }
    }
    // Shift held draws the edge vertically first.
    if (m_ghostNode || m_ghostEdge)
        trackTarget(viewPos, (modifiers & Qt::ShiftModifier) ? QmdLudra::CityBlockFlipped
                                                             : QmdLudra::CityBlock);
    if (m_ghostVoiceGroup) {
        if (GraphicsNodeItem *node = nodeAt(viewPos))
            m_ghostVoiceGroup->setPos(node->pos());
    }
}

void NetworkView::collectDragOffsets()
{
    m_dragStarting = false;
    const QmdItemIdSet selected = m_scene->selectedIds();
    for (QmdItemId id : selected) {
        const uint type = elementValue(id, QmdLudra::TypeKey).toUInt();
        if (type != QmdLudra::Node && type != QmdLudra::TextBox)
            continue;
        TickPos offset;
        if (subtract(tickPosOf(id), m_dragLastPos, &offset))
            m_dragOffsets.insert(id, offset);
    }
}

// Every step of one drag goes into the drag's first request, so that the
// whole drag undoes as one "Move".
void NetworkView::moveSelection(const TickPos &to)
{
    QHash<QmdIndex, QVariant> positions;
    for (auto it = m_dragOffsets.cbegin(); it != m_dragOffsets.cend(); ++it) {
        const QmdIndex position = m_controller->index(QmdLudra::TickPosKey, elementIndex(it.key()));
        TickPos moved;
        if (m_controller->isValid(position) && add(to, it.value(), &moved))
            positions.insert(position, QVariant::fromValue(moved));
    }
    if (positions.isEmpty())
        return;
    const QmdRequestId rid =
        m_controller->requestSetData(positions, QmdRequestOptions(0, tr("Move"), m_moveRequestId));
    if (!m_moveRequestId)
        m_moveRequestId = rid;
}

void NetworkView::trackTarget(const QPoint &viewPos, int pathKind)
{
    GraphicsNodeItem *node = nodeAt(viewPos);
    QPointF end = DisplayScale::tickPosToScenePos(m_dragLastPos);
    QColor outline = GhostColor;
    m_targetNode = 0;
    if (node) {
        m_targetNode = node->elementId();
        end = node->pos();
        // Only an edge to another node is made over a node; a drag that
        // never left its start node makes nothing.
        outline = m_ghostEdge && m_targetNode != m_startNode ? AcceptedColor : RefusedColor;
    }
    if (m_ghostNode) {
        m_ghostNode->setPos(end);
        m_ghostNode->setNodesColor(outline);
    }
    m_ghostEdgeEnd = end;
    if (m_ghostEdge)
        m_ghostEdge->setGeometry(m_ghostEdgeStart, end, pathKind);
}

void NetworkView::mouseReleaseEvent(QMouseEvent *event)
{
    if (!m_scene || !m_controller || event->button() != Qt::LeftButton || m_drag == Drag::None) {
        QGraphicsView::mouseReleaseEvent(event);
        if (event->button() == Qt::LeftButton)
            setDragMode(RubberBandDrag);
        return;
    }
    dragTo(event->pos(), event->modifiers());
    if (m_drag == Drag::Ghost)
        finishCreation(event->pos());
    else if (m_drag == Drag::Selection && !m_moveRequestId &&
             !(event->modifiers() & Qt::ShiftModifier))
        finishClick(event->pos());
    // A ghost edge waiting for its node stays until the node is there.
    if (!m_pendingNodeRequestId)
        deleteGhosts();
    endDrag();
    shrinkOrGrowSceneRect();
    m_scene->update();
    setDragMode(RubberBandDrag);
    refreshCursor();
    event->accept();
}

void NetworkView::finishCreation(const QPoint &viewPos)
{
    if (m_ghostEdge && m_targetNode) {
        if (m_targetNode != m_startNode) {
            m_controller->requestAddEdge(elementIndex(m_startNode), elementIndex(m_targetNode),
                                         QmdLudra::EdgePath(m_ghostEdge->pathKind()), {},
                                         tr("Edge"));
        }
    } else if (m_ghostNode && !m_targetNode) {
        if (m_ghostEdge) {
            m_pendingPathKind = m_ghostEdge->pathKind();
            m_pendingNodeRequestId =
                m_controller->requestAddNode(m_dragLastPos, {}, tr("Node && Edge"));
        } else {
            m_controller->requestAddNode(m_dragLastPos, {}, tr("Node"));
        }
    }
    m_targetNode = 0;
    if (m_ghostVoiceGroup) {
        if (GraphicsNodeItem *node = nodeAt(viewPos)) {
            m_controller->requestAddVoiceGroup(elementIndex(node->elementId()), {},
                                               tr("Voice Group"));
        }
    }
    if (m_ghostTextBox)
        m_controller->requestAddTextBox(m_dragLastPos, DefaultTextBoxHtml, {}, tr("Text Box"));
}

// A press and release in place on an element that was already selected: a
// text box opens for editing, and of several selected elements the clicked
// one alone stays selected.
void NetworkView::finishClick(const QPoint &viewPos)
{
    ElementItem *element = m_scene->itemForId(m_dragElement);
    if (!element || !m_pressedSelected)
        return;
    QGraphicsItem *item = element->graphicsItem();
    if (item->type() == ElementItem::TextBoxType) {
        auto *textBox = static_cast<GraphicsTextBoxItem *>(item);
        textBox->openEditor(textBox->mapFromScene(mapToScene(viewPos)));
    } else if (m_scene->selectedItems().size() > 1) {
        m_scene->clearSelection();
        item->setSelected(true);
    }
}

void NetworkView::endDrag()
{
    m_drag = Drag::None;
    m_dragElement = 0;
    m_dragGhost = nullptr;
    m_pressedSelected = false;
    m_dragLastPos = {};
    m_grabOffset = {};
    m_dragOffsets.clear();
    m_dragStarting = false;
}

void NetworkView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (!m_scene || !m_controller || isEditing()) {
        QGraphicsView::mouseDoubleClickEvent(event);
        return;
    }
    // The scene opens what is double-clicked; the other tools take the
    // second click of a quick pair as one click more.
    if (m_tool != ToolActions::Selection)
        mousePressEvent(event);
    else if (event->button() == Qt::LeftButton)
        QGraphicsView::mouseDoubleClickEvent(event);
    else
        event->accept();
}

// --- Ghosts ---------------------------------------------------------------------

QGraphicsItem *NetworkView::ghostLayer()
{
    if (!m_ghostLayer) {
        m_ghostLayer = new GhostLayer;
        m_scene->addItem(m_ghostLayer);
    }
    return m_ghostLayer;
}

void NetworkView::forgetDeadGhosts()
{
    if (m_ghostLayer || !(m_ghostEdge || m_ghostNode || m_ghostVoiceGroup || m_ghostTextBox))
        return;
    m_ghostEdge = nullptr;
    m_ghostNode = nullptr;
    m_ghostVoiceGroup = nullptr;
    m_ghostTextBox = nullptr;
    m_pendingNodeRequestId = 0;
    if (m_drag == Drag::Ghost)
        endDrag();
}

void NetworkView::deleteGhosts()
{
    // The layer takes its ghosts with it.
    delete m_ghostLayer.data();
    m_ghostEdge = nullptr;
    m_ghostNode = nullptr;
    m_ghostVoiceGroup = nullptr;
    m_ghostTextBox = nullptr;
}

void NetworkView::cancelCreation()
{
    deleteGhosts();
    m_startNode = 0;
    m_targetNode = 0;
    m_pendingNodeRequestId = 0;
    if (m_drag == Drag::Ghost)
        endDrag();
    if (m_scene)
        m_scene->update();
}

void NetworkView::setGhostPathKind(int kind)
{
    forgetDeadGhosts();
    // A ghost edge waiting for its node keeps the path it was released
    // with.
    if (m_ghostEdge && !m_pendingNodeRequestId)
        m_ghostEdge->setGeometry(m_ghostEdgeStart, m_ghostEdgeEnd, kind);
}

// --- Keys -------------------------------------------------------------------------

void NetworkView::keyPressEvent(QKeyEvent *event)
{
    m_revealPending = false;
    if (!m_scene || !m_controller || isEditing()) {
        QGraphicsView::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Escape:
        cancelCreation();
        event->accept();
        return;
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        Q_EMIT deleteRequested();
        event->accept();
        return;
    case Qt::Key_Shift:
        setGhostPathKind(QmdLudra::CityBlockFlipped);
        break;
    case Qt::Key_Alt:
        m_altHeld = true;
        evaluateZoomMode();
        break;
    default:
        break;
    }
    QGraphicsView::keyPressEvent(event);
}

void NetworkView::keyReleaseEvent(QKeyEvent *event)
{
    if (m_scene && m_controller && !isEditing()) {
        if (event->key() == Qt::Key_Shift) {
            setGhostPathKind(QmdLudra::CityBlock);
        } else if (event->key() == Qt::Key_Alt) {
            m_altHeld = false;
            evaluateZoomMode();
        }
    }
    QGraphicsView::keyReleaseEvent(event);
}

void NetworkView::wheelEvent(QWheelEvent *event)
{
    m_revealPending = false;
    QGraphicsView::wheelEvent(event);
}

// --- Audition ---------------------------------------------------------------------

void NetworkView::setAuditionOutput(AbstractInstrument *instrument, AbstractSync *timing)
{
    m_auditionInstrument = instrument;
    m_auditionTiming = timing;
}

void NetworkView::audition(QmdItemId node)
{
    if (!m_auditionInstrument || !m_auditionTiming)
        return;
    PitchAudition::play(elementValue(node, PitchListKey).toString(), m_auditionInstrument,
                        m_auditionTiming->tickPosition());
}

// --- Context menu -----------------------------------------------------------------

void NetworkView::contextMenuEvent(QContextMenuEvent *event)
{
    if (!m_scene || !m_controller || isEditing()) {
        QGraphicsView::contextMenuEvent(event);
        return;
    }
    const std::unique_ptr<QMenu> menu = createContextMenu(event->pos());
    menu->exec(event->globalPos());
    event->accept();
}

QHash<QmdIndex, QSet<QString>> NetworkView::selectedTargets(uint type, const QString &key) const
{
    QHash<QmdIndex, QSet<QString>> targets;
    const QmdItemIdSet selected = m_scene->selectedIds();
    for (QmdItemId id : selected) {
        if (elementValue(id, QmdLudra::TypeKey).toUInt() == type)
            targets.insert(elementIndex(id), {key});
    }
    return targets;
}

std::unique_ptr<QMenu> NetworkView::createContextMenu(const QPoint &viewPos)
{
    auto menu = std::make_unique<QMenu>();
    if (!m_scene || !m_controller)
        return menu;
    ElementItem *element = elementAt(viewPos);
    if (element && !element->graphicsItem()->isSelected()) {
        m_scene->clearSelection();
        element->graphicsItem()->setSelected(true);
    }

    const bool anySelected = !m_scene->selectedIds().isEmpty();
    const QMimeData *clipboard = QGuiApplication::clipboard()->mimeData();
    const auto addCommand = [&](const QString &text, void (NetworkView::*signal)(), bool enabled) {
        QAction *action = menu->addAction(text, this, signal);
        action->setEnabled(enabled);
    };
    addCommand(tr("Cu&t"), &NetworkView::cutRequested, anySelected);
    addCommand(tr("&Copy"), &NetworkView::copyRequested, anySelected);
    addCommand(tr("&Paste"), &NetworkView::pasteRequested,
               clipboard && clipboard->hasFormat(ElementsMimeType));
    addCommand(tr("&Delete"), &NetworkView::deleteRequested, anySelected);
    addCommand(tr("Select A&ll"), &NetworkView::selectAllRequested, true);

    // A group of radio entries carrying the values 0, 1, 2 of a property;
    // choosing one sets the property and says so, which the binding turns
    // into a request.
    const auto addRadioGroup = [&](const QStringList &texts, void (NetworkView::*set)(int),
                                   void (NetworkView::*changed)()) {
        QList<QPointer<QAction>> entries;
        auto *group = new QActionGroup(menu.get());
        group->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
        for (int value = 0; value < texts.size(); ++value) {
            QAction *action = menu->addAction(texts.at(value));
            action->setCheckable(true);
            action->setVisible(false);
            group->addAction(action);
            connect(action, &QAction::triggered, this, [this, value, set, changed] {
                (this->*set)(value);
                Q_EMIT(this->*changed)();
            });
            entries.append(action);
        }
        return entries;
    };
    const auto addCheck = [&](const QString &text) {
        QAction *action = menu->addAction(text);
        action->setCheckable(true);
        action->setVisible(false);
        return action;
    };
    QAction *nodeSeparator = menu->addSeparator();
    m_sigMethodActions = addRadioGroup({tr("&Sequential"), tr("Para&llel"), tr("&Random")},
                                       &NetworkView::setContextMenuNodeSigMethod,
                                       &NetworkView::contextMenuNodeSigMethodChanged);
    QAction *mute = addCheck(tr("&Mute"));
    QAction *edgeSeparator = menu->addSeparator();
    m_edgePathActions = addRadioGroup({tr("City &Block"), tr("City Block &Flipped"), tr("Direc&t")},
                                      &NetworkView::setContextMenuEdgePath,
                                      &NetworkView::contextMenuEdgePathChanged);
    QAction *wormhole = addCheck(tr("&Wormhole"));
    nodeSeparator->setVisible(false);
    edgeSeparator->setVisible(false);

    const int type = element ? element->graphicsItem()->type() : 0;
    if (type == ElementItem::EdgeType) {
        edgeSeparator->setVisible(true);
        for (QAction *action : std::as_const(m_edgePathActions))
            action->setVisible(true);
        wormhole->setVisible(true);
        m_controller->bind(this, "contextMenuEdgePath", SIGNAL(contextMenuEdgePathChanged()),
                           selectedTargets(QmdLudra::Edge, QStringLiteral("Path")), -1, -1,
                           tr("Path"));
        m_controller->bind(wormhole, "checked", SIGNAL(toggled(bool)),
                           selectedTargets(QmdLudra::Edge, QStringLiteral("IsWormhole")), false,
                           false, tr("Wormhole"));
    } else if (type == ElementItem::NodeType) {
        nodeSeparator->setVisible(true);
        for (QAction *action : std::as_const(m_sigMethodActions))
            action->setVisible(true);
        mute->setVisible(true);
        m_controller->bind(this, "contextMenuNodeSigMethod",
                           SIGNAL(contextMenuNodeSigMethodChanged()),
                           selectedTargets(QmdLudra::Node, QStringLiteral("SignallingMethod")), -1,
                           -1, tr("Signalling"));
        m_controller->bind(mute, "checked", SIGNAL(toggled(bool)),
                           selectedTargets(QmdLudra::Node, QStringLiteral("DontPlayNote")), false,
                           false, tr("Mute"));
    }

    // The menu's entries write to the document for as long as it lives.
    disconnect(m_contextMenuGone);
    QMenu *raw = menu.get();
    m_contextMenu = raw;
    m_contextMenuGone = connect(raw, &QObject::destroyed, this, [this, raw] {
        if (m_contextMenu == raw) {
            m_contextMenu = nullptr;
            unbindContextMenu();
        }
    });
    return menu;
}

void NetworkView::unbindContextMenu()
{
    if (!m_controller)
        return;
    m_controller->unbind(this, "contextMenuNodeSigMethod");
    m_controller->unbind(this, "contextMenuEdgePath");
}

void NetworkView::setContextMenuNodeSigMethod(int method)
{
    m_contextMenuNodeSigMethod = method;
    for (int value = 0; value < m_sigMethodActions.size(); ++value) {
        if (QAction *action = m_sigMethodActions.at(value))
            action->setChecked(value == method);
    }
}

void NetworkView::setContextMenuEdgePath(int path)
{
    m_contextMenuEdgePath = path;
    for (int value = 0; value < m_edgePathActions.size(); ++value) {
        if (QAction *action = m_edgePathActions.at(value))
            action->setChecked(value == path);
    }
}
