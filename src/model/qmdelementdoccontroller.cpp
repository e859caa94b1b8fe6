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

void QmdElementDocController::setElementSelection(const QmdItemIdSet &ids)
{
    changeSelection(ids, 0);
}

void QmdElementDocController::changeSelection(const QmdItemIdSet &ids, QmdRequestId rid)
{
    const QmdItemIdSet added = ids - m_selection;
    const QmdItemIdSet removed = m_selection - ids;
    if (added.isEmpty() && removed.isEmpty())
        return;
    m_selection = ids;
    Q_EMIT elementSelectionChanged(added, removed, rid);
}

void QmdElementDocController::resetDocument()
{
    changeSelection({}, 0);
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
        // Unsigned, as a document read from a file holds it.
        values.insert(QStringLiteral("Type"), uint(type));
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
    if (isElementsIndex(parent)) {
        changeSelection(m_selection - QmdItemIdSet(idList.cbegin(), idList.cend()), rid);
        Q_EMIT elementsRemoved(idList, rid);
    }
    QmdDocController::receivedItemsRemoved(parent, idList, rid);
}

void QmdElementDocController::receivedItemsRemoved(const QmdIndex &parent, const QStringList &keys,
                                                   QmdRequestId rid)
{
    if (isElementsIndex(this->parent(parent)))
        Q_EMIT elementDataRemoved(parent.id(), keys, rid);
    QmdDocController::receivedItemsRemoved(parent, keys, rid);
}
