#include "edgeusagelisteditor.h"

#include "edgeusagetile.h"
#include "qmdludra.h"
#include "qmdludracontroller.h"
#include "qmdludraedgeusage.h"
#include "qmdludrapalette.h"

#include <QGraphicsScene>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QSpinBox>

#include <algorithm>

namespace {
constexpr int Margin = 3;
} // namespace

EdgeUsageListEditor::EdgeUsageListEditor(QWidget *parent)
    : QGraphicsView(parent), m_spinBox(new QSpinBox(viewport()))
{
    setScene(new QGraphicsScene(this));
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setRenderHint(QPainter::SmoothPixmapTransform);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(sizeHint().height());
    m_spinBox->setRange(0, 99);
    m_spinBox->setKeyboardTracking(false);
    m_spinBox->setToolTip(tr("How many times in a row the edge is taken"));
    m_spinBox->hide();
    m_spinBox->installEventFilter(this);
    connect(m_spinBox, &QSpinBox::editingFinished, this, &EdgeUsageListEditor::onEditingFinished);
    layoutTiles();
}

EdgeUsageListEditor::~EdgeUsageListEditor()
{
    // The spin box loses its focus as the view goes, which ends no edit.
    m_spinBox->disconnect(this);
    for (const QMetaObject::Connection &connection : std::as_const(m_connections))
        disconnect(connection);
}

QSize EdgeUsageListEditor::sizeHint() const
{
    const int frame = 2 * frameWidth();
    return QSize(6 * EdgeUsageTile::SlotWidth + frame,
                 EdgeUsageTile::tileSize().height() + 2 * Margin + frame +
                     horizontalScrollBar()->sizeHint().height());
}

void EdgeUsageListEditor::setController(QmdLudraController *controller)
{
    if (controller == m_controller)
        return;
    for (const QMetaObject::Connection &connection : std::as_const(m_connections))
        disconnect(connection);
    m_connections.clear();
    QmdObserver::setController(controller);
    m_node = QmdIndex();
    if (controller) {
        using KeysSignal =
            void (QmdController::*)(const QmdIndex &, const QStringList &, QmdRequestId);
        const auto onKeys = [this](const QmdIndex &parent, const QStringList &keys) {
            if (keys.contains(QmdLudra::ArcUsageListKey) ||
                keys.contains(QmdLudra::ArcIdentifiersKey))
                onItemsChangedOrRemoved(parent);
        };
        m_connections = {
            connect(controller, KeysSignal(&QmdController::itemsChanged), this, onKeys),
            connect(controller, KeysSignal(&QmdController::itemsRemoved), this, onKeys),
            connect(controller, &QmdController::modelReset, this, [this] { setNode(QmdIndex()); }),
            connect(controller, &QObject::destroyed, this, [this] { setController(nullptr); })};
    }
    load();
}

void EdgeUsageListEditor::setNode(const QmdIndex &node)
{
    m_node = node;
    load();
}

QString EdgeUsageListEditor::usageText() const
{
    QStringList entries;
    for (const EdgeUsageTile *tile : m_tiles)
        entries.append(QStringLiteral("%1=%2").arg(tile->edge()).arg(tile->uses()));
    return entries.join(QLatin1Char(','));
}

QString EdgeUsageListEditor::documentText() const
{
    if (!m_controller || !m_controller->isValid(m_node))
        return QString();
    return m_controller->data(m_controller->index(QmdLudra::ArcUsageListKey, m_node)).toString();
}

void EdgeUsageListEditor::fillAddMenu(QMenu *menu)
{
    menu->clear();
    QmdItemIdList edges;
    QmdIndex identifiers;
    if (m_controller && m_controller->isValid(m_node)) {
        identifiers = m_controller->index(QmdLudra::ArcIdentifiersKey, m_node);
        edges = m_controller->ids(identifiers);
    }
    std::sort(edges.begin(), edges.end());
    for (QmdItemId edge : std::as_const(edges)) {
        const int identifier = m_controller->data(m_controller->index(edge, identifiers)).toInt();
        QPixmap swatch(12, 12);
        swatch.fill(QmdLudraPalette::color(identifier));
        const QVariant to = m_controller->data(m_controller->index(
            QmdLudra::ToNodeKey, m_controller->index(edge, m_controller->elementsIndex())));
        QAction *action =
            menu->addAction(QIcon(swatch), tr("Edge %1 to node %2").arg(edge).arg(to.toUInt()));
        action->setData(edge);
    }
    if (edges.isEmpty())
        menu->addAction(tr("(no edges)"))->setEnabled(false);
    connect(menu, &QMenu::triggered, this, &EdgeUsageListEditor::onAddActionTriggered,
            Qt::UniqueConnection);
}

void EdgeUsageListEditor::onAddActionTriggered(QAction *action)
{
    const QString current = documentText();
    write(QStringLiteral("%1%2%3=1")
              .arg(current, current.isEmpty() ? QString() : QStringLiteral(","))
              .arg(action->data().toUInt()));
}

void EdgeUsageListEditor::onEditingFinished()
{
    if (!m_editedTile)
        return;
    EdgeUsageTile *tile = m_editedTile;
    m_editedTile = nullptr;
    {
        // Hiding takes the focus away, which would end the edit again.
        const QSignalBlocker blocker(m_spinBox);
        m_spinBox->hide();
    }
    // The keys go on to the tile, to remove it or edit it again.
    setFocus();
    tile->setUses(m_spinBox->value());
    write(usageText());
}

bool EdgeUsageListEditor::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_spinBox || event->type() != QEvent::KeyPress)
        return QGraphicsView::eventFilter(watched, event);
    // The spin box passes Return on to its parent, where it would open the
    // tile for editing again: the edit ends here. Escape leaves the tile as
    // it was.
    switch (static_cast<QKeyEvent *>(event)->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        m_spinBox->interpretText();
        onEditingFinished();
        return true;
    case Qt::Key_Escape:
        m_editedTile = nullptr;
        m_spinBox->hide();
        setFocus();
        return true;
    default:
        return false;
    }
}

void EdgeUsageListEditor::onItemsChangedOrRemoved(const QmdIndex &parent)
{
    if (parent.isValid() && parent == m_node)
        load();
}

void EdgeUsageListEditor::onEditTriggered(EdgeUsageTile *tile)
{
    m_editedTile = tile;
    const QRect over = mapFromScene(tile->sceneBoundingRect()).boundingRect();
    const QSize size = m_spinBox->sizeHint();
    m_spinBox->setGeometry(
        QRect(over.left(), over.center().y() - size.height() / 2, size.width(), size.height()));
    m_spinBox->setValue(tile->uses());
    m_spinBox->show();
    m_spinBox->setFocus();
    m_spinBox->selectAll();
}

void EdgeUsageListEditor::onVisualizeTileMove(EdgeUsageTile *tile, int to)
{
    const int from = int(m_tiles.indexOf(tile));
    if (from < 0 || to < 0 || to >= m_tiles.size())
        return;
    m_tiles.move(from, to);
    for (int slot = 0; slot < m_tiles.size(); ++slot) {
        m_tiles.at(slot)->setSlot(slot, int(m_tiles.size()));
        if (m_tiles.at(slot) != tile)
            m_tiles.at(slot)->slideToSlot();
    }
}

void EdgeUsageListEditor::onTileMoveFinished(EdgeUsageTile *tile)
{
    tile->placeAtSlot();
    ensureVisible(tile, 50, 0);
    layoutTiles();
    write(usageText());
}

void EdgeUsageListEditor::onRemoveTriggered(EdgeUsageTile *tile)
{
    if (!m_tiles.removeOne(tile))
        return;
    scene()->removeItem(tile);
    tile->deleteLater();
    layoutTiles();
    write(usageText());
}

void EdgeUsageListEditor::load()
{
    const QString text = documentText();
    // Our own write coming back leaves the tiles, and the selection, alone.
    if (!m_tiles.isEmpty() && text == usageText() && !m_editedTile) {
        layoutTiles();
        return;
    }
    clearTiles();
    const QmdIndex identifiers =
        m_controller ? m_controller->index(QmdLudra::ArcIdentifiersKey, m_node) : QmdIndex();
    for (const QString &entry : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QmdItemId edge = QmdLudraEdgeUsage::entryEdge(entry);
        if (edge == 0)
            continue;
        const int uses = entry.section(QLatin1Char('='), 1).toInt();
        const int identifier = m_controller->data(m_controller->index(edge, identifiers)).toInt();
        auto *tile = new EdgeUsageTile(edge, uses, QmdLudraPalette::color(identifier));
        connect(tile, &EdgeUsageTile::editTriggered, this, &EdgeUsageListEditor::onEditTriggered);
        connect(tile, &EdgeUsageTile::visualizeMove, this,
                &EdgeUsageListEditor::onVisualizeTileMove);
        connect(tile, &EdgeUsageTile::moveFinished, this, &EdgeUsageListEditor::onTileMoveFinished);
        connect(tile, &EdgeUsageTile::removeTriggered, this,
                &EdgeUsageListEditor::onRemoveTriggered);
        scene()->addItem(tile);
        m_tiles.append(tile);
    }
    layoutTiles();
}

void EdgeUsageListEditor::clearTiles()
{
    m_editedTile = nullptr;
    m_spinBox->hide();
    qDeleteAll(m_tiles);
    m_tiles.clear();
}

void EdgeUsageListEditor::layoutTiles()
{
    const int count = int(m_tiles.size());
    const QSize tile = EdgeUsageTile::tileSize();
    scene()->setSceneRect(
        0, 0, qMax(1, count) * EdgeUsageTile::SlotWidth - (EdgeUsageTile::SlotWidth - tile.width()),
        tile.height());
    for (int slot = 0; slot < count; ++slot) {
        m_tiles.at(slot)->setSlot(slot, count);
        m_tiles.at(slot)->placeAtSlot();
    }
    viewport()->update();
}

void EdgeUsageListEditor::write(const QString &text)
{
    if (!m_controller || !m_controller->isValid(m_node) || text == documentText())
        return;
    m_controller->requestSetData(QmdLudra::ArcUsageListKey, text, m_node, tr("Edge Usage"));
}

void EdgeUsageListEditor::drawBackground(QPainter *painter, const QRectF &rect)
{
    QGraphicsView::drawBackground(painter, rect);
    if (!m_tiles.isEmpty())
        return;
    painter->setPen(palette().color(QPalette::Disabled, QPalette::Text));
    painter->drawText(mapToScene(viewport()->rect()).boundingRect(),
                      Qt::AlignLeft | Qt::AlignVCenter,
                      m_node.isValid() ? tr("No edge is used") : QString());
}
