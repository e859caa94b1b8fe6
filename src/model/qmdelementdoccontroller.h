#pragma once

#include "qmddoccontroller.h"

// A document of elements: the root is a StrDict whose key "Elements" holds an
// IntDict with one StrDict per element, keyed by element id; each element's
// "Type" holds its kind. The controller keeps that layout on every reset and
// translates the generic change signals of the elements into element signals,
// which are emitted just before the generic ones.
class QmdElementDocController : public QmdDocController
{
    Q_OBJECT

public:
    explicit QmdElementDocController(QObject *parent = nullptr);

    // The "Elements" container, as found at the last reset.
    QmdIndex elementsIndex() const;

    // The elements the user has selected, as the views report them. Not
    // part of the document: no request, no undo step. Removed elements
    // leave it, and a reset empties it. Controller's thread only.
    QmdItemIdSet elementSelection() const { return m_selection; }
    void setElementSelection(const QmdItemIdSet &ids);

    // Adds one element of the given type with data and nested containers
    // (types) as one request; the new id goes to newId when given.
    virtual QmdRequestId requestAddElement(int type, const QHash<QString, QVariant> &data,
                                           const QHash<QString, Qmd::ContainerType> &types,
                                           const QmdRequestOptions &options,
                                           QmdItemId *newId = nullptr);

Q_SIGNALS:
    void elementDataChanged(QmdItemId id, const QStringList &keys, QmdRequestId rid);
    void elementDataRemoved(QmdItemId id, const QStringList &keys, QmdRequestId rid);
    void elementsAdded(const QmdItemIdList &idList, QmdRequestId rid);
    void elementsRemoved(const QmdItemIdList &idList, QmdRequestId rid);
    // The selection changed; rid is the request that removed selected
    // elements, 0 for a change of the selection alone.
    void elementSelectionChanged(const QmdItemIdSet &idsAdded, const QmdItemIdSet &idsRemoved,
                                 QmdRequestId rid);

protected:
    void resetDocument() override;

    void receivedItemsChanged(const QmdIndex &parent, const QmdItemIdList &idList,
                              QmdRequestId rid) override;
    void receivedItemsChanged(const QmdIndex &parent, const QStringList &keys,
                              QmdRequestId rid) override;
    void receivedItemsRemoved(const QmdIndex &parent, const QmdItemIdList &idList,
                              QmdRequestId rid) override;
    void receivedItemsRemoved(const QmdIndex &parent, const QStringList &keys,
                              QmdRequestId rid) override;

private:
    bool isElementsIndex(const QmdIndex &index) const;
    void changeSelection(const QmdItemIdSet &ids, QmdRequestId rid);

    QmdIndex m_elementsIndex;
    QmdItemIdSet m_selection;
};
