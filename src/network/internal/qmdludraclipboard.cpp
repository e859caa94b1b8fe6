#include "qmdludraclipboard.h"

#include "qmdludraedgeusage.h"
#include "qmdludraexporter.h"
#include "qmdludraimporter.h"
#include "qmdmemmodel.h"

#include <QBuffer>

#include <algorithm>
#include <cmath>

const QString QmdLudraClipboard::MimeType = QStringLiteral("text/ludra-elements");

namespace {

using QmdLudra::ArcIdentifiersKey;
using QmdLudra::ArcUsageListKey;
using QmdLudra::ElementsKey;
using QmdLudra::FromNodeKey;
using QmdLudra::TickPos;
using QmdLudra::TickPosKey;
using QmdLudra::ToNodeKey;
using QmdLudra::TypeKey;

// Positions come from outside the program: sums that leave the 64-bit range
// wrap around instead of being undefined.
qint64 wrappedSum(qint64 a, qint64 b)
{
    return qint64(quint64(a) + quint64(b));
}

qint64 wrappedDifference(qint64 a, qint64 b)
{
    return qint64(quint64(a) - quint64(b));
}

// min + (max - min) / 2 for min <= max, halving toward zero.
qint64 middle(qint64 min, qint64 max)
{
    return qint64(quint64(min) + (quint64(max) - quint64(min)) / 2);
}

// The division point nearest to value, halves away from zero.
qint64 nearestDivision(qint64 value, qint64 division)
{
    const qint64 count = std::llround(double(value) / double(division));
    return qint64(quint64(count) * quint64(division));
}

bool positionOf(const QmdModel &model, const QmdIndex &record, TickPos *pos)
{
    const QVariant value = model.data(model.index(TickPosKey, record));
    if (value.metaType() != QMetaType::fromType<TickPos>())
        return false;
    *pos = value.value<TickPos>();
    return true;
}

// Element ids ascend in the order the elements were made.
QmdItemIdList storageOrder(const QmdModel &model, const QmdIndex &parent)
{
    QmdItemIdList ids = model.ids(parent);
    std::sort(ids.begin(), ids.end());
    return ids;
}

} // namespace

QmdLudraClipboard::QmdLudraClipboard(QmdModel *document, const QmdIndex &elements)
    : m_document(document), m_elements(elements)
{
}

QByteArray QmdLudraClipboard::copy(const QmdIndexList &records) const
{
    if (!m_document)
        return QByteArray();
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QmdLudraExporter exporter(m_document, &buffer);
        exporter.writeHeader();
        exporter.writeIntDict(records);
        exporter.writeFooter();
    }
    return buffer.data();
}

void QmdLudraClipboard::paste(const QByteArray &payload, const TickPos &center,
                              uint divsPerPrincipal)
{
    if (!m_document)
        return;
    // The records are read and moved aside, so that the document only ever
    // sees them complete and in place.
    QmdMemModel scratch(Qmd::StrDict);
    scratch.beginRequest(0, QmdRequestOptions(Qmd::NoUndo, QString()), QString());
    scratch.setTypes(QHash<QString, Qmd::ContainerType>{{ElementsKey, Qmd::IntDict}});
    QByteArray bytes = payload;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QmdLudraImporter importer(&scratch, &buffer);
    const bool accepted = importer.importIndex(scratch.index(ElementsKey));
    const QmdIndex records = scratch.index(ElementsKey);
    const QmdItemIdList order = storageOrder(scratch, records);
    if (accepted) {
        const TickPos offset = offsetFor(scratch, records, center, divsPerPrincipal);
        for (QmdItemId id : order) {
            const QmdIndex record = scratch.index(id, records);
            if (TickPos pos; positionOf(scratch, record, &pos)) {
                pos = {wrappedSum(pos.x, offset.x), wrappedSum(pos.y, offset.y)};
                scratch.setData(QHash<QString, QVariant>{{TickPosKey, QVariant::fromValue(pos)}},
                                record);
            }
        }
    }
    scratch.endRequest();
    if (!accepted)
        return;

    QHash<QmdItemId, QmdItemId> newIds;
    for (QmdItemId id : order) {
        const QmdItemIdList added = m_document->addTypes({Qmd::StrDict}, m_elements);
        if (added.isEmpty() || added.first() == 0)
            break;
        newIds.insert(id, added.first());
        copyContainer(scratch, scratch.index(id, records),
                      m_document->index(added.first(), m_elements));
    }
    // Edges and voice groups first, so that the nodes' edge bookkeeping only
    // names the edges that stay.
    QHash<QmdItemId, QmdItemId> kept;
    for (auto it = newIds.cbegin(); it != newIds.cend(); ++it) {
        if (renumber(it.value(), newIds))
            kept.insert(it.key(), it.value());
    }
    for (QmdItemId id : std::as_const(kept)) {
        const QmdIndex record = m_document->index(id, m_elements);
        if (m_document->data(m_document->index(TypeKey, record)).toUInt() == QmdLudra::Node)
            renumberEdgeBookkeeping(record, kept);
    }
}

TickPos QmdLudraClipboard::offsetFor(const QmdModel &scratch, const QmdIndex &records,
                                     const TickPos &center, uint divsPerPrincipal) const
{
    bool positioned = false;
    TickPos min;
    TickPos max;
    bool anchored = false;
    TickPos anchor;
    for (QmdItemId id : storageOrder(scratch, records)) {
        const QmdIndex record = scratch.index(id, records);
        TickPos pos;
        if (!positionOf(scratch, record, &pos))
            continue;
        if (!positioned) {
            min = max = pos;
            positioned = true;
        }
        min = {std::min(min.x, pos.x), std::min(min.y, pos.y)};
        max = {std::max(max.x, pos.x), std::max(max.y, pos.y)};
        if (!anchored && scratch.data(scratch.index(TypeKey, record)).toUInt() == QmdLudra::Node) {
            anchor = pos;
            anchored = true;
        }
    }
    TickPos offset = center;
    if (positioned)
        offset = {wrappedDifference(center.x, middle(min.x, max.x)),
                  wrappedDifference(center.y, middle(min.y, max.y))};
    if (anchored) {
        // The first node lands on a division point whether or not the user
        // snaps: a pasted network stays on the grid it was drawn on.
        const qint64 division =
            std::max<qint64>(QmdLudra::TicksPerPrincipal / std::max(divsPerPrincipal, 1u), 1);
        const TickPos pos{wrappedSum(anchor.x, offset.x), wrappedSum(anchor.y, offset.y)};
        offset.x = wrappedSum(offset.x, wrappedDifference(nearestDivision(pos.x, division), pos.x));
        offset.y = wrappedSum(offset.y, wrappedDifference(nearestDivision(pos.y, division), pos.y));
    }
    return offset;
}

void QmdLudraClipboard::copyContainer(const QmdModel &scratch, const QmdIndex &from,
                                      const QmdIndex &to)
{
    switch (scratch.containerType(from)) {
    case Qmd::StrDict: {
        QHash<QString, QVariant> values;
        for (const QString &key : scratch.keys(from)) {
            const QmdIndex item = scratch.index(key, from);
            const Qmd::ContainerType kind = scratch.containerType(item);
            if (kind == Qmd::NoContainer) {
                values.insert(key, scratch.data(item));
                continue;
            }
            m_document->setTypes(QHash<QString, Qmd::ContainerType>{{key, kind}}, to);
            copyContainer(scratch, item, m_document->index(key, to));
        }
        if (!values.isEmpty())
            m_document->setData(values, to);
        break;
    }
    case Qmd::IntDict: {
        // Values keep their ids, which the renumbering below relies on;
        // nested containers are new items of the document.
        QHash<QmdItemId, QVariant> values;
        for (QmdItemId id : storageOrder(scratch, from)) {
            const QmdIndex item = scratch.index(id, from);
            const Qmd::ContainerType kind = scratch.containerType(item);
            if (kind == Qmd::NoContainer) {
                values.insert(id, scratch.data(item));
                continue;
            }
            const QmdItemIdList added = m_document->addTypes({kind}, to);
            if (!added.isEmpty() && added.first() != 0)
                copyContainer(scratch, item, m_document->index(added.first(), to));
        }
        if (!values.isEmpty())
            m_document->setData(values, to);
        break;
    }
    case Qmd::NoContainer:
        break;
    }
}

bool QmdLudraClipboard::renumber(QmdItemId id, const QHash<QmdItemId, QmdItemId> &newIds)
{
    const QmdIndex record = m_document->index(id, m_elements);
    const auto newIdOf = [&](const QString &key) {
        return newIds.value(m_document->data(m_document->index(key, record)).toUInt());
    };
    QStringList ends;
    switch (m_document->data(m_document->index(TypeKey, record)).toUInt()) {
    case QmdLudra::Edge:
        ends = {FromNodeKey, ToNodeKey};
        break;
    case QmdLudra::VoiceGroup:
        ends = {ToNodeKey};
        break;
    default:
        return true;
    }
    QHash<QString, QVariant> values;
    for (const QString &key : std::as_const(ends)) {
        const QmdItemId newId = newIdOf(key);
        if (newId == 0) {
            m_document->remove(QmdItemIdList{id}, m_elements);
            return false;
        }
        values.insert(key, newId);
    }
    m_document->setData(values, record);
    return true;
}

void QmdLudraClipboard::renumberEdgeBookkeeping(const QmdIndex &node,
                                                const QHash<QmdItemId, QmdItemId> &newIds)
{
    const QmdIndex identifiers = m_document->index(ArcIdentifiersKey, node);
    if (m_document->containerType(identifiers) == Qmd::IntDict) {
        // Read whole before writing: a new id may be the old id of another
        // edge of the same node.
        QHash<QmdItemId, QVariant> moved;
        for (QmdItemId oldId : m_document->ids(identifiers)) {
            if (const QmdItemId newId = newIds.value(oldId))
                moved.insert(newId,
                             m_document->data(m_document->index(oldId, identifiers)).toUInt());
        }
        QmdItemIdList stale;
        for (QmdItemId oldId : m_document->ids(identifiers)) {
            if (!moved.contains(oldId))
                stale << oldId;
        }
        if (!stale.isEmpty())
            m_document->remove(stale, identifiers);
        if (!moved.isEmpty())
            m_document->setData(moved, identifiers);
    }
    const QmdIndex usage = m_document->index(ArcUsageListKey, node);
    if (m_document->isValid(usage)) {
        const QString list = m_document->data(usage).toString();
        m_document->setData(QHash<QString, QVariant>{{ArcUsageListKey,
                                                      QmdLudraEdgeUsage::renumbered(list, newIds)}},
                            node);
    }
}
