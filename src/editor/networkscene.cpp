#include "networkscene.h"

#include "abstractsync.h"
#include "graphicsedgeitem.h"
#include "graphicsnodeitem.h"
#include "graphicstextboxitem.h"
#include "graphicsvoicegroupitem.h"
#include "qmdludra.h"
#include "qmdludracontroller.h"
#include "qmdludraplayback.h"

#include <QGraphicsView>
#include <QPainter>

#include <cmath>

namespace {
const QString DivsPerPrincipalKey = QStringLiteral("DivsPerPrincipal");
const QString ShowGridKey = QStringLiteral("ShowGrid");
const QString SnapToGridKey = QStringLiteral("SnapToGrid");
const QString ShowNodeCountersKey = QStringLiteral("ShowNodeCounters");
const QString HitCountKey = QStringLiteral("HitCount");

// A flash lasts as long as its note; a note that did not sound still shows
// that the voice passed, briefly.
constexpr qint64 SilentFlashNs = 100000000;

struct ColorBinding
{
    const char *property;
    const char *key;
};
constexpr ColorBinding ColorBindings[] = {
    {"backgroundColor", "StyleBackgroundColor"},
    {"principalLinesColor", "StylePrincipalLinesColor"},
    {"principalPointsColor", "StylePrincipalPointsColor"},
    {"divisionLinesColor", "StyleDivisionLinesColor"},
    {"divisionPointsColor", "StyleDivisionPointsColor"},
    {"annotationColor", "StyleAnnotationColor"},
    {"nodesColor", "StyleNodesColor"},
    {"edgesColor", "StyleEdgesColor"},
};

// The flash colour of a firing: the instrument's hue, louder notes more
// saturated, and translucent so that the node's outline shows through.
QColor flashColor(const QColor &instrumentColor, int velocity)
{
    const QColor hsv = instrumentColor.toHsv();
    return QColor::fromHsvF(hsv.hsvHueF(), 0.3f + 0.7f * float(velocity) / 127.0f, hsv.valueF(),
                            hsv.alphaF() * 0.6f);
}
} // namespace

NetworkScene::NetworkScene(QObject *parent)
    : QGraphicsScene(parent), m_divisionTicks(QmdLudra::TicksPerPrincipal)
{
    connect(this, &QGraphicsScene::selectionChanged, this, &NetworkScene::onSelectionChanged);
    m_feedbackTimer.setInterval(FrameMs);
    connect(&m_feedbackTimer, &QTimer::timeout, this, &NetworkScene::checkFeedbackPipe);
}

NetworkScene::~NetworkScene()
{
    m_feedbackTimer.stop();
    // Items go before the scene's members they may still reach.
    m_items.clear();
    clear();
}

void NetworkScene::setController(QmdLudraController *controller)
{
    if (m_controller) {
        m_controller->disconnect(this);
        m_controller->unbind(this);
    }
    QmdObserver::setController(controller);
    if (m_controller) {
        connect(m_controller, &QmdLudraController::elementsAdded, this,
                &NetworkScene::onElementsAdded);
        connect(m_controller, &QmdLudraController::elementsRemoved, this,
                &NetworkScene::onElementsRemoved);
        connect(m_controller, &QmdLudraController::elementDataChanged, this,
                &NetworkScene::onElementDataChangedOrRemoved);
        connect(m_controller, &QmdLudraController::elementDataRemoved, this,
                &NetworkScene::onElementDataChangedOrRemoved);
        connect(m_controller, &QmdLudraController::instrumentDataChanged, this,
                &NetworkScene::onInstrumentDataChangedOrRemoved);
        connect(m_controller, &QmdLudraController::instrumentDataRemoved, this,
                &NetworkScene::onInstrumentDataChangedOrRemoved);
        connect(m_controller,
                qOverload<const QmdIndex &, const QStringList &, QmdRequestId>(
                    &QmdLudraController::itemsChanged),
                this, [this](const QmdIndex &parent, const QStringList &keys) {
                    onItemsChanged(parent, keys);
                });
        connect(m_controller, &QmdLudraController::modelReset, this, &NetworkScene::reset);
        connect(m_controller, &QObject::destroyed, this, [this] {
            m_controller = nullptr;
            reset();
        });
        bindColors();
    }
    reset();
}

void NetworkScene::bindColors()
{
    for (const ColorBinding &binding : ColorBindings) {
        m_controller->bind(this, binding.property, nullptr, QString::fromLatin1(binding.key),
                           QmdIndex(), QColor(), QColor(), QString());
    }
}

void NetworkScene::reset()
{
    m_feedbackTimer.stop();
    m_lastRequestId = 0;
    m_selectionDirty = true;
    m_selectedIds.clear();
    m_snapToGrid = true;
    m_divisionTicks = QmdLudra::TicksPerPrincipal;
    m_showNodeCounters = false;
    m_contents.clear();
    m_pendingUnflash.clear();
    m_items.clear();
    clear();
    if (m_controller) {
        // Bindings deliver later; the items made below need the colours now.
        for (const ColorBinding &binding : ColorBindings) {
            const QVariant color =
                m_controller->data(m_controller->index(QString::fromLatin1(binding.key)));
            if (color.typeId() == QMetaType::QColor)
                setProperty(binding.property, color);
        }
        loadGridSettings({DivsPerPrincipalKey, ShowGridKey, SnapToGridKey, ShowNodeCountersKey});
        // Loading places elements where the file has them.
        const bool snap = m_snapToGrid;
        m_snapToGrid = false;
        onElementsAdded(m_controller->ids(m_controller->elementsIndex()), LoadRequestId);
        m_snapToGrid = snap;
        m_feedbackTimer.start();
    }
    setSceneContentsRect(m_contents.rect());
    update();
}

void NetworkScene::setSceneContentsRect(const QRectF &rect)
{
    Q_EMIT sceneContentsRectChanged(rect);
}

QmdItemIdSet NetworkScene::selectedIds()
{
    if (m_selectionDirty) {
        m_selectedIds.clear();
        const QList<QGraphicsItem *> selected = selectedItems();
        for (QGraphicsItem *item : selected) {
            if (const ElementItem *element = ElementItem::fromGraphicsItem(item))
                m_selectedIds.insert(element->elementId());
        }
        m_selectionDirty = false;
    }
    return m_selectedIds;
}

void NetworkScene::onSelectionChanged()
{
    m_selectionDirty = true;
    m_selectedIds.clear();
    for (ElementItem *item : std::as_const(m_items))
        item->updateSelection();
    // The document's element selection is what the scene shows, so that
    // the inspector and the clipboard act on what the user sees selected.
    if (m_controller)
        m_controller->setElementSelection(selectedIds());
}

void NetworkScene::onElementsAdded(const QmdItemIdList &idList, QmdRequestId rid)
{
    // One request may add its elements in several signals; together they
    // become the selection.
    if (rid != m_lastRequestId)
        clearSelection();
    for (QmdItemId id : idList)
        createItem(id, rid);
    if (idList.size() == 1 && m_controller->elementSelection().contains(idList.first())) {
        if (auto *textBox = dynamic_cast<GraphicsTextBoxItem *>(m_items.value(idList.first()))) {
            textBox->openEditor(textBox->boundingRect().center());
            textBox->selectAll();
        }
    }
    m_lastRequestId = rid;
}

void NetworkScene::createItem(QmdItemId id, QmdRequestId rid)
{
    const QmdIndex element = m_controller->index(id, m_controller->elementsIndex());
    ElementItem *item = nullptr;
    switch (m_controller->data(m_controller->index(QmdLudra::TypeKey, element)).toUInt()) {
    case QmdLudra::Edge: {
        auto *edge = new GraphicsEdgeItem(id, this);
        edge->setEdgesColor(m_edgesColor);
        item = edge;
        break;
    }
    case QmdLudra::Node: {
        auto *node = new GraphicsNodeItem(id, this);
        node->setNodesColor(m_nodesColor);
        node->setAnnotationColor(m_annotationColor);
        node->setCountersVisible(m_showNodeCounters);
        item = node;
        break;
    }
    case QmdLudra::TextBox:
        item = new GraphicsTextBoxItem(id, this);
        break;
    case QmdLudra::VoiceGroup:
        item = new GraphicsVoiceGroupItem(id, this);
        break;
    default:
        return;
    }
    delete m_items.value(id);
    m_items.insert(id, item);
    item->elementDataChanged(id, m_controller->keys(element), rid);
    if (auto *node = dynamic_cast<GraphicsNodeItem *>(item); node && m_showNodeCounters)
        showHitCount(id);
    if (rid != LoadRequestId)
        item->graphicsItem()->setSelected(true);
    trackContents(item);
}

void NetworkScene::onElementsRemoved(const QmdItemIdList &idList, QmdRequestId)
{
    for (QmdItemId id : idList) {
        ElementItem *item = m_items.take(id);
        if (!item)
            continue;
        m_contents.forget(item->graphicsItem());
        for (auto it = m_pendingUnflash.begin(); it != m_pendingUnflash.end();) {
            if (static_cast<ElementItem *>(it->node) == item)
                it = m_pendingUnflash.erase(it);
            else
                ++it;
        }
        delete item;
    }
    if (!m_contents.isComplete() && m_contents.rescan())
        setSceneContentsRect(m_contents.rect());
    update();
}

void NetworkScene::onElementDataChangedOrRemoved(QmdItemId id, const QStringList &keys,
                                                 QmdRequestId rid)
{
    for (ElementItem *item : std::as_const(m_items))
        item->elementDataChanged(id, keys, rid);
    for (ElementItem *item : std::as_const(m_items))
        trackContents(item);
}

void NetworkScene::onInstrumentDataChangedOrRemoved(QmdItemId id, const QStringList &keys,
                                                    QmdRequestId rid)
{
    for (ElementItem *item : std::as_const(m_items))
        item->instrumentDataChanged(id, keys, rid);
}

void NetworkScene::trackContents(ElementItem *item)
{
    const int type = item->graphicsItem()->type();
    if (type != ElementItem::NodeType && type != ElementItem::TextBoxType)
        return;
    if (m_contents.track(item->graphicsItem()))
        setSceneContentsRect(m_contents.rect());
}

void NetworkScene::onItemsChanged(const QmdIndex &parent, const QStringList &keys)
{
    if (!m_controller)
        return;
    if (parent.isValid()) {
        // A node's counter, in its state record.
        if (m_showNodeCounters && keys.contains(HitCountKey) &&
            m_controller->parent(parent) == m_controller->elementStatesIndex())
            showHitCount(parent.id());
        return;
    }
    loadGridSettings(keys);
}

void NetworkScene::loadGridSettings(const QStringList &keys)
{
    const auto rootValue = [this](const QString &key) {
        return m_controller->data(m_controller->index(key));
    };
    if (keys.contains(DivsPerPrincipalKey))
        m_divisionTicks = QmdLudra::TicksPerPrincipal /
                          std::max<qint64>(1, rootValue(DivsPerPrincipalKey).toLongLong());
    if (keys.contains(SnapToGridKey))
        m_snapToGrid = rootValue(SnapToGridKey).toBool();
    if (keys.contains(ShowGridKey) || keys.contains(DivsPerPrincipalKey))
        resetBackgroundCache();
    if (keys.contains(ShowNodeCountersKey)) {
        const std::lock_guard locker(m_controller->dataLock());
        m_showNodeCounters = rootValue(ShowNodeCountersKey).toBool();
        for (GraphicsNodeItem *node : nodeItems()) {
            showHitCount(node->elementId());
            node->setCountersVisible(m_showNodeCounters);
        }
    }
}

void NetworkScene::showHitCount(QmdItemId element)
{
    auto *node = dynamic_cast<GraphicsNodeItem *>(m_items.value(element));
    if (!node)
        return;
    const QmdIndex state = m_controller->index(element, m_controller->elementStatesIndex());
    node->setHitCount(m_controller->data(m_controller->index(HitCountKey, state)).toUInt());
}

QList<GraphicsNodeItem *> NetworkScene::nodeItems() const
{
    QList<GraphicsNodeItem *> nodes;
    for (ElementItem *item : std::as_const(m_items)) {
        if (auto *node = dynamic_cast<GraphicsNodeItem *>(item))
            nodes.append(node);
    }
    return nodes;
}

void NetworkScene::checkFeedbackPipe()
{
    if (!m_controller)
        return;
    QmdLudraPlayback &playback = m_controller->playback();
    const AbstractSync *source = playback.timingSource();
    if (!source)
        return;
    const qint64 now = source->tickPosition();
    const qint64 silentFlash = source->timeToTicks(SilentFlashNs);
    const bool running = source->isRunning();

    QSet<GraphicsNodeItem *> touched;
    auto it = m_pendingUnflash.begin();
    while (it != m_pendingUnflash.end() && (!running || it.key() <= now)) {
        it->node->flashOff(it->voice, true);
        touched.insert(it->node);
        it = m_pendingUnflash.erase(it);
    }

    if (running) {
        const QList<FiredNode> records = playback.firedNodes().take(MaxRecordsPerFrame);
        for (const FiredNode &record : records) {
            auto *node = dynamic_cast<GraphicsNodeItem *>(m_items.value(record.node));
            if (!node)
                continue;
            const QmdIndex instrument =
                m_controller->index(record.instrument, m_controller->instrumentsIndex());
            const QColor color =
                m_controller->data(m_controller->index(QStringLiteral("Color"), instrument))
                    .value<QColor>();
            const VoiceKey voice = (VoiceKey(record.voiceGroup) << 32) | record.voice;
            node->flashOn(voice, flashColor(color, record.velocity), true);
            touched.insert(node);
            const qint64 length = record.didNotPlay ? silentFlash : record.duration;
            m_pendingUnflash.insert(record.arrivalTick + length, Flash{node, voice});
        }
    }
    for (GraphicsNodeItem *node : std::as_const(touched))
        node->update();
}

void NetworkScene::drawBackground(QPainter *painter, const QRectF &exposed)
{
    if (!m_controller)
        return;
    const double divisions =
        std::max(1.0, m_controller->data(m_controller->index(DivsPerPrincipalKey)).toDouble());
    const QPointF principal =
        DisplayScale::tickPosToScenePos({QmdLudra::TicksPerPrincipal, QmdLudra::TicksPerPrincipal});
    const double px = principal.x();
    const double py = principal.y();
    // Whole principals and one more on every side, so that the lattice is
    // the same whatever part of it is exposed.
    const double top = exposed.top() - std::fmod(exposed.top(), py) - py;
    const double bottom = exposed.bottom() - std::fmod(exposed.bottom(), py) + py;
    const double left = exposed.left() - std::fmod(exposed.left(), px) - px;
    const double right = exposed.right() - std::fmod(exposed.right(), px) + px;
    const QRectF grown(QPointF(left, top), QPointF(right, bottom));

    painter->save();
    painter->setBackground(m_backgroundColor);
    painter->setCompositionMode(QPainter::CompositionMode_Source);
    painter->fillRect(grown, m_backgroundColor);
    painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (!m_controller->data(m_controller->index(ShowGridKey)).toBool()) {
        painter->restore();
        return;
    }
    const auto drawLines = [&](const QColor &color, double stepX, double stepY) {
        if (color.alpha() == 0)
            return;
        painter->setPen(QPen(color, 0));
        QVector<QLineF> lines;
        for (double y = top; y <= bottom; y += stepY)
            lines.append(QLineF(left, y, right, y));
        for (double x = left; x <= right; x += stepX)
            lines.append(QLineF(x, top, x, bottom));
        painter->drawLines(lines);
    };
    const auto drawPoints = [&](const QColor &color, double stepX, double stepY) {
        if (color.alpha() == 0)
            return;
        painter->setPen(QPen(color, 0));
        QVector<QPointF> points;
        for (double y = top; y <= bottom; y += stepY) {
            for (double x = left; x <= right; x += stepX)
                points.append(QPointF(x, y));
        }
        painter->drawPoints(points);
    };
    drawLines(m_divisionLinesColor, px / divisions, py / divisions);
    drawLines(m_principalLinesColor, px, py);
    drawPoints(m_divisionPointsColor, px / divisions, py / divisions);
    drawPoints(m_principalPointsColor, px, py);
    painter->restore();
}

void NetworkScene::resetBackgroundCache()
{
    const QList<QGraphicsView *> all = views();
    for (QGraphicsView *view : all)
        view->resetCachedContent();
    update();
}

void NetworkScene::setBackgroundColor(const QColor &color)
{
    m_backgroundColor = color;
    resetBackgroundCache();
}

void NetworkScene::setPrincipalLinesColor(const QColor &color)
{
    m_principalLinesColor = color;
    resetBackgroundCache();
}

void NetworkScene::setPrincipalPointsColor(const QColor &color)
{
    m_principalPointsColor = color;
    resetBackgroundCache();
}

void NetworkScene::setDivisionLinesColor(const QColor &color)
{
    m_divisionLinesColor = color;
    resetBackgroundCache();
}

void NetworkScene::setDivisionPointsColor(const QColor &color)
{
    m_divisionPointsColor = color;
    resetBackgroundCache();
}

void NetworkScene::setAnnotationColor(const QColor &color)
{
    m_annotationColor = color;
    for (GraphicsNodeItem *node : nodeItems())
        node->setAnnotationColor(color);
}

void NetworkScene::setNodesColor(const QColor &color)
{
    m_nodesColor = color;
    for (GraphicsNodeItem *node : nodeItems())
        node->setNodesColor(color);
}

void NetworkScene::setEdgesColor(const QColor &color)
{
    m_edgesColor = color;
    for (ElementItem *item : std::as_const(m_items)) {
        if (auto *edge = dynamic_cast<GraphicsEdgeItem *>(item))
            edge->setEdgesColor(color);
    }
}
