#pragma once

#include "qmdindex.h"
#include "qmdludra.h"

#include <QByteArray>
#include <QHash>
#include <QString>

class QmdModel;

// Carries element records between documents as the clipboard's payload of
// MIME type "text/ludra-elements": a small network file holding one
// dictionary of the records under their element ids. Pasting renumbers
// every reference between the pasted records and drops what lost an end.
// Works on the document directly: the caller frames each call as one
// request. The system clipboard itself is the GUI's.
class QmdLudraClipboard
{
public:
    static const QString MimeType;

    // elements: the "Elements" container of document.
    QmdLudraClipboard(QmdModel *document, const QmdIndex &elements);

    // The payload of the records at the given indexes.
    QByteArray copy(const QmdIndexList &records) const;

    // Adds the records of a payload to the document, their bounding box
    // centred on center, with the first node on a division point of a grid
    // of divsPerPrincipal divisions.
    void paste(const QByteArray &payload, const QmdLudra::TickPos &center, uint divsPerPrincipal);

private:
    QmdLudra::TickPos offsetFor(const QmdModel &scratch, const QmdIndex &records,
                                const QmdLudra::TickPos &center, uint divsPerPrincipal) const;
    void copyContainer(const QmdModel &scratch, const QmdIndex &from, const QmdIndex &to);
    // False when the element lost an end and was removed.
    bool renumber(QmdItemId id, const QHash<QmdItemId, QmdItemId> &newIds);
    void renumberEdgeBookkeeping(const QmdIndex &node, const QHash<QmdItemId, QmdItemId> &newIds);

    QmdModel *m_document;
    QmdIndex m_elements;
};
