#pragma once

#include "qmdglobal.h"

#include <QHash>
#include <QList>
#include <QString>

// The text of a node's edge-usage list ("12=1,15=3": take edge 12 once, then
// edge 15 three times) and the identifier numbers of its outgoing edges. Only
// text and numbers here; the controller reads and writes the node.
class QmdLudraEdgeUsage
{
public:
    // The edge element id an entry names: the text before its first "=",
    // 0 when that is not a number (0 is never an element id).
    static QmdItemId entryEdge(const QString &entry);

    // The list with a new last entry using the edge once per round.
    static QString withEdgeAppended(const QString &list, QmdItemId edge);

    // The list without any entry naming the edge. Everything else, empty
    // parts included, keeps its order and its text: only the user's editor
    // tidies the list.
    static QString withoutEdge(const QString &list, QmdItemId edge);

    // The list for a copy of its node: entries of the edges in newIds under
    // their new ids with their uses kept, every other entry and empty part
    // dropped.
    static QString renumbered(const QString &list, const QHash<QmdItemId, QmdItemId> &newIds);

    // The smallest identifier not taken, so that numbers freed by removed
    // edges are used again first; -1 when every number is taken.
    static int freeIdentifier(const QList<uint> &taken);
};
