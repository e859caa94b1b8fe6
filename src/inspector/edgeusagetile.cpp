#include "edgeusagetile.h"

#include <QCursor>
#include <QGraphicsScene>
#include <QGraphicsSceneContextMenuEvent>
#include <QGraphicsSceneMouseEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QTimeLine>

namespace {

const QImage &alphaMask()
{
    static const QImage mask(QStringLiteral(":/images/EdgeTileAlpha.png"));
    return mask;
}

} // namespace

EdgeUsageTile::EdgeUsageTile(QmdItemId edge, int uses, const QColor &color)
    : m_edge(edge), m_uses(uses), m_color(color), m_timeLine(new QTimeLine(SlideMs, this))
{
    setFlags(ItemIsMovable | ItemIsSelectable | ItemIsFocusable | ItemSendsGeometryChanges);
    setAcceptHoverEvents(true);
    setCursor(Qt::OpenHandCursor);
    setToolTip(tr("Edge %1").arg(edge));
    m_timeLine->setEasingCurve(QEasingCurve::OutCubic);
    m_timeLine->setUpdateInterval(16);
    connect(m_timeLine, &QTimeLine::frameChanged, this, &EdgeUsageTile::onTimeLineFrameChanged);
    connect(m_timeLine, &QTimeLine::finished, this, &EdgeUsageTile::onTimeLineFinished);
    render();
}

QSize EdgeUsageTile::tileSize()
{
    return alphaMask().isNull() ? QSize(SlotWidth - 2, 24) : alphaMask().size();
}

void EdgeUsageTile::setUses(int uses)
{
    m_uses = uses;
    render();
}

void EdgeUsageTile::setSlot(int slot, int count)
{
    m_slot = slot;
    m_slotCount = count;
}

void EdgeUsageTile::placeAtSlot()
{
    m_timeLine->stop();
    placeAt(m_slot * SlotWidth);
}

void EdgeUsageTile::slideToSlot()
{
    m_timeLine->stop();
    const int target = m_slot * SlotWidth;
    if (qRound(x()) == target)
        return;
    m_timeLine->setFrameRange(qRound(x()), target);
    m_timeLine->start();
}

void EdgeUsageTile::placeAt(qreal x)
{
    m_trackPositionChanges = false;
    setPos(x, 0);
    m_trackPositionChanges = true;
}

void EdgeUsageTile::onTimeLineFrameChanged(int frame)
{
    placeAt(frame);
}

void EdgeUsageTile::onTimeLineFinished()
{
    placeAt(m_slot * SlotWidth);
}

QVariant EdgeUsageTile::itemChange(GraphicsItemChange change, const QVariant &value)
{
    if (change == ItemSelectedHasChanged) {
        setZValue(value.toBool() ? 1 : 0);
    } else if (change == ItemPositionChange && m_trackPositionChanges && scene()) {
        // Along the row only, and never out of the row's rectangle.
        const QRectF row = scene()->sceneRect();
        const qreal x = qBound(row.left(), value.toPointF().x(), row.right() - tileSize().width());
        const int to = qBound(0, qRound(x / SlotWidth), m_slotCount - 1);
        if (to != m_slot)
            Q_EMIT visualizeMove(this, to);
        return QPointF(x, 0);
    }
    return QGraphicsPixmapItem::itemChange(change, value);
}

void EdgeUsageTile::mouseReleaseEvent(QGraphicsSceneMouseEvent *event)
{
    QGraphicsPixmapItem::mouseReleaseEvent(event);
    Q_EMIT moveFinished(this);
}

void EdgeUsageTile::mouseDoubleClickEvent(QGraphicsSceneMouseEvent *event)
{
    event->accept();
    Q_EMIT editTriggered(this);
}

void EdgeUsageTile::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
        Q_EMIT removeTriggered(this);
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_F2:
        Q_EMIT editTriggered(this);
        break;
    default:
        QGraphicsPixmapItem::keyPressEvent(event);
        return;
    }
    event->accept();
}

void EdgeUsageTile::contextMenuEvent(QGraphicsSceneContextMenuEvent *event)
{
    QMenu menu;
    QAction *edit = menu.addAction(tr("Uses..."));
    QAction *remove = menu.addAction(tr("Remove"));
    QAction *chosen = menu.exec(event->screenPos());
    if (chosen == edit)
        Q_EMIT editTriggered(this);
    else if (chosen == remove)
        Q_EMIT removeTriggered(this);
}

void EdgeUsageTile::hoverEnterEvent(QGraphicsSceneHoverEvent *event)
{
    m_hovered = true;
    render();
    QGraphicsPixmapItem::hoverEnterEvent(event);
}

void EdgeUsageTile::hoverLeaveEvent(QGraphicsSceneHoverEvent *event)
{
    m_hovered = false;
    render();
    QGraphicsPixmapItem::hoverLeaveEvent(event);
}

void EdgeUsageTile::render()
{
    QImage image(tileSize(), QImage::Format_ARGB32_Premultiplied);
    image.fill(m_hovered ? m_color.lighter(125) : m_color);
    QPainter painter(&image);
    // The mask gives the tile its shape and shading.
    painter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
    painter.drawImage(0, 0, alphaMask());
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(12);
    painter.setFont(font);
    painter.setPen(m_color.lightnessF() > 0.6 ? Qt::black : Qt::white);
    painter.drawText(image.rect(), Qt::AlignCenter, QString::number(m_uses));
    painter.end();
    setPixmap(QPixmap::fromImage(image));
}
