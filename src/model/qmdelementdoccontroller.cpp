#include "qmdelementdoccontroller.h"

QmdElementDocController::QmdElementDocController(QObject *parent) : QmdDocController(parent) {}

QmdIndex QmdElementDocController::elementsIndex() const
{
    ReadScope scope(this);
    return m_elementsIndex;
}

bool QmdElementDocController::isElementsIndex(const QmdIndex &index) const
{
    const QmdIndex elements = elementsIndex();
    return elements.model() && index == elements;
}

void QmdElementDocController::resetDocument()
{
    QmdDocController::resetDocument();
    if (!model()) {
        RequestScope scope(this);
        m_elementsIndex = QmdIndex();
        return;
    }
    const QString elementsKey = QStringLiteral("Elements");
    beginRequest(nextRequestId(), Qmd::NoUndo, tr("QmdElementDocController::Reset"));
    if (containerType(QmdIndex()) != Qmd::StrDict)
        setType(QmdIndex(), Qmd::StrDict);
    // An existing elements container keeps its elements.
    if (containerType(index(elementsKey)) != Qmd::IntDict)
        setType(elementsKey, Qmd::IntDict);
    m_elementsIndex = index(elementsKey);
    endRequest();
}

QmdRequestId
QmdElementDocController::requestAddElement(int type, const QHash<QString, QVariant> &data,
                                           const QHash<QString, Qmd::ContainerType> &types,
                                           const QmdRequestOptions &options, QmdItemId *newId)
{
    const QmdRequestId rid = startRequest(options);
    const QmdIndex elements = elementsIndex();
    const QmdItemId id = addType(Qmd::StrDict, elements);
    const QmdIndex element = index(id, elements);
    if (id && isValid(element)) {
        QHash<QString, QVariant> values = data;
        values.insert(QStringLiteral("Type"), type);
        setData(values, element);
        if (!types.isEmpty())
            setTypes(types, element);
    }
    endRequest();
    if (newId)
        *newId = id;
    return rid;
}

void QmdElementDocController::receivedItemsChanged(const QmdIndex &parent,
                                                   const QmdItemIdList &idList, QmdRequestId rid)
{
    if (isElementsIndex(parent))
        Q_EMIT elementsAdded(idList, rid);
    QmdDocController::receivedItemsChanged(parent, idList, rid);
}

void QmdElementDocController::receivedItemsChanged(const QmdIndex &parent, const QStringList &keys,
                                                   QmdRequestId rid)
{
    if (isElementsIndex(this->parent(parent)))
        Q_EMIT elementDataChanged(parent.id(), keys, rid);
    QmdDocController::receivedItemsChanged(parent, keys, rid);
}

void QmdElementDocController::receivedItemsRemoved(const QmdIndex &parent,
                                                   const QmdItemIdList &idList, QmdRequestId rid)
{
    if (isElementsIndex(parent))
        Q_EMIT elementsRemoved(idList, rid);
    QmdDocController::receivedItemsRemoved(parent, idList, rid);
}

void QmdElementDocController::receivedItemsRemoved(const QmdIndex &parent, const QStringList &keys,
                                                   QmdRequestId rid)
{
    if (isElementsIndex(this->parent(parent)))
        Q_EMIT elementDataRemoved(parent.id(), keys, rid);
    QmdDocController::receivedItemsRemoved(parent, keys, rid);
}
