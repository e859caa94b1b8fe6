#pragma once

#include "displayscale.h"
#include "qmdglobal.h"
#include "qmdobserver.h"

#include <QGraphicsItem>
#include <QPointer>
#include <QStringList>
#include <QVariant>

class NetworkScene;
class QmdLudraController;

// The element side of every item of the network scene: which element it
// shows, and how it follows the document. Items read their element's values
// from the controller when the scene hands them a change, and keep only what
// drawing needs. The scene creates, updates and deletes them.
//
// GUI thread only.
class ElementItem : public QmdObserver<QmdLudraController>
{
public:
    // The values of QGraphicsItem::type() of the element items. They differ
    // from the element kinds of the document, where 3 is a text box.
    enum ItemType {
        EdgeType = QGraphicsItem::UserType + 1,
        NodeType = QGraphicsItem::UserType + 2,
        VoiceGroupType = QGraphicsItem::UserType + 3,
        TextBoxType = QGraphicsItem::UserType + 4
    };

    ElementItem(QmdItemId id, NetworkScene *scene);
    ~ElementItem() override = default;

    QmdItemId elementId() const { return m_id; }
    NetworkScene *networkScene() const;

    virtual QGraphicsItem *graphicsItem() = 0;
    // A change of any element: items follow their own, and some follow
    // others too (an edge its nodes, a voice group its node).
    virtual void elementDataChanged(QmdItemId id, const QStringList &keys, QmdRequestId rid) = 0;
    virtual void instrumentDataChanged(QmdItemId id, const QStringList &keys, QmdRequestId rid);
    virtual void updateSelection();

    // The element item of a scene item; nullptr for any other item.
    static ElementItem *fromGraphicsItem(QGraphicsItem *item);

protected:
    QVariant elementValue(QmdItemId id, const QString &key) const;
    QVariant value(const QString &key) const { return elementValue(m_id, key); }
    QVariant instrumentValue(QmdItemId instrument, const QString &key) const;
    // The scene position of an element's "TickPos".
    QPointF scenePosOf(QmdItemId id) const;

private:
    const QmdItemId m_id;
    QPointer<QObject> m_scene;
};

// Joins ElementItem with a Qt item class: the item is in the scene from its
// construction, cached in device coordinates and selectable, and follows its
// element's "IsHidden" and "TickPos".
template <class T> class GraphicsElementItem : public T, public ElementItem
{
public:
    GraphicsElementItem(QmdItemId id, NetworkScene *scene);

    QGraphicsItem *graphicsItem() override { return this; }
    void elementDataChanged(QmdItemId id, const QStringList &keys, QmdRequestId rid) override;

protected:
    QVariant itemChange(QGraphicsItem::GraphicsItemChange change, const QVariant &value) override
    {
        if (change == QGraphicsItem::ItemSelectedHasChanged)
            T::update();
        return T::itemChange(change, value);
    }
    // Set while values from the document are being applied.
    bool isApplyingDocument() const { return m_applying; }

private:
    bool m_applying = false;
};

namespace ElementItems {
// Puts the item into the scene; kept out of line, so that this header needs
// no scene.
void addToScene(QGraphicsItem *item, NetworkScene *scene);
} // namespace ElementItems

template <class T>
GraphicsElementItem<T>::GraphicsElementItem(QmdItemId id, NetworkScene *scene)
    : T(), ElementItem(id, scene)
{
    ElementItems::addToScene(this, scene);
    T::setCacheMode(QGraphicsItem::DeviceCoordinateCache);
    T::setFlag(QGraphicsItem::ItemIsSelectable);
}

template <class T>
void GraphicsElementItem<T>::elementDataChanged(QmdItemId id, const QStringList &keys, QmdRequestId)
{
    if (id != elementId())
        return;
    m_applying = true;
    if (keys.contains(QStringLiteral("IsHidden")))
        T::setVisible(!value(QStringLiteral("IsHidden")).toBool());
    if (keys.contains(QStringLiteral("TickPos")))
        T::setPos(scenePosOf(id));
    m_applying = false;
}
