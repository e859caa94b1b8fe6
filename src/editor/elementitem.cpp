#include "elementitem.h"

#include "networkscene.h"
#include "qmdludracontroller.h"

ElementItem::ElementItem(QmdItemId id, NetworkScene *scene) : m_id(id), m_scene(scene)
{
    if (scene)
        m_controller = scene->controller();
}

NetworkScene *ElementItem::networkScene() const
{
    return static_cast<NetworkScene *>(m_scene.data());
}

void ElementItem::instrumentDataChanged(QmdItemId, const QStringList &, QmdRequestId) {}

void ElementItem::updateSelection() {}

ElementItem *ElementItem::fromGraphicsItem(QGraphicsItem *item)
{
    if (!item || item->type() < EdgeType || item->type() > TextBoxType)
        return nullptr;
    return dynamic_cast<ElementItem *>(item);
}

QVariant ElementItem::elementValue(QmdItemId id, const QString &key) const
{
    if (!m_controller)
        return QVariant();
    const QmdIndex element = m_controller->index(id, m_controller->elementsIndex());
    return m_controller->data(m_controller->index(key, element));
}

QVariant ElementItem::instrumentValue(QmdItemId instrument, const QString &key) const
{
    if (!m_controller)
        return QVariant();
    const QmdIndex record = m_controller->index(instrument, m_controller->instrumentsIndex());
    return m_controller->data(m_controller->index(key, record));
}

QPointF ElementItem::scenePosOf(QmdItemId id) const
{
    return DisplayScale::tickPosToScenePos(
        elementValue(id, QmdLudra::TickPosKey).value<QmdLudra::TickPos>());
}

void ElementItems::addToScene(QGraphicsItem *item, NetworkScene *scene)
{
    if (scene)
        scene->addItem(item);
}
