#include "instrumentsmodel.h"

#include "qmdludracontroller.h"

#include <QColor>
#include <QPainter>
#include <QPixmap>

#include <algorithm>

InstrumentsModel::InstrumentsModel(QObject *parent) : QAbstractItemModel(parent) {}

void InstrumentsModel::setController(QmdLudraController *controller)
{
    for (const QMetaObject::Connection &connection : std::as_const(m_connections))
        disconnect(connection);
    m_connections.clear();
    QmdObserver::setController(controller);
    if (controller) {
        using ChangeSignal =
            void (QmdLudraController::*)(QmdItemId, const QStringList &, QmdRequestId);
        m_connections = {
            connect(controller, &QmdController::modelAboutToBeReset, this,
                    &InstrumentsModel::onModelAboutToBeReset),
            connect(controller, &QmdLudraController::instrumentsAdded, this,
                    &InstrumentsModel::onInstrumentsAdded),
            connect(controller, &QmdLudraController::instrumentsRemoved, this,
                    &InstrumentsModel::onInstrumentsRemoved),
            connect(controller, ChangeSignal(&QmdLudraController::instrumentDataChanged), this,
                    &InstrumentsModel::onInstrumentDataChangedOrRemoved),
            connect(controller, ChangeSignal(&QmdLudraController::instrumentDataRemoved), this,
                    &InstrumentsModel::onInstrumentDataChangedOrRemoved),
            connect(controller, &QmdController::modelReset, this, &InstrumentsModel::resetSlot),
            connect(controller, &QObject::destroyed, this, [this] { setController(nullptr); })};
    }
    resetSlot();
}

QModelIndex InstrumentsModel::index(int row, int column, const QModelIndex &parent) const
{
    if (parent.isValid() || column != 0 || row < 0 || row >= m_ids.size())
        return QModelIndex();
    return createIndex(row, column);
}

QModelIndex InstrumentsModel::parent(const QModelIndex &child) const
{
    Q_UNUSED(child)
    return QModelIndex();
}

int InstrumentsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_ids.size());
}

int InstrumentsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 1;
}

QVariant InstrumentsModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return QVariant();
    const QmdItemId id = m_ids.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return instrumentData(id, QStringLiteral("Label")).toString();
    case Qt::DecorationRole:
        // A loaded document holds the colour as its "#rrggbb" text.
        return swatch(instrumentData(id, QStringLiteral("Color")).value<QColor>());
    case IdRole:
        return id;
    default:
        return QVariant();
    }
}

void InstrumentsModel::resetSlot()
{
    if (!m_resetting)
        beginResetModel();
    m_ids = m_controller ? m_controller->ids(m_controller->instrumentsIndex()) : QmdItemIdList();
    // The document keeps no order among its instruments; ids grow as
    // instruments are made, so the list shows them in the order of making.
    std::sort(m_ids.begin(), m_ids.end());
    m_resetting = false;
    endResetModel();
}

void InstrumentsModel::onModelAboutToBeReset()
{
    if (m_resetting)
        return;
    m_resetting = true;
    beginResetModel();
}

void InstrumentsModel::onInstrumentsAdded(const QmdItemIdList &idList)
{
    // During a reset the rebuild takes whatever the document then holds.
    if (m_resetting)
        return;
    QmdItemIdList added;
    for (QmdItemId id : idList) {
        if (!m_ids.contains(id) && !added.contains(id))
            added.append(id);
    }
    if (added.isEmpty())
        return;
    beginInsertRows(QModelIndex(), int(m_ids.size()), int(m_ids.size() + added.size() - 1));
    m_ids.append(added);
    endInsertRows();
}

void InstrumentsModel::onInstrumentsRemoved(const QmdItemIdList &idList)
{
    if (m_resetting)
        return;
    for (QmdItemId id : idList) {
        const int row = int(m_ids.indexOf(id));
        if (row < 0)
            continue;
        beginRemoveRows(QModelIndex(), row, row);
        m_ids.removeAt(row);
        endRemoveRows();
    }
}

void InstrumentsModel::onInstrumentDataChangedOrRemoved(QmdItemId id, const QStringList &keys)
{
    Q_UNUSED(keys)
    if (m_resetting)
        return;
    const int row = int(m_ids.indexOf(id));
    if (row < 0)
        return;
    const QModelIndex changed = index(row, 0);
    Q_EMIT dataChanged(changed, changed, {Qt::DisplayRole, Qt::DecorationRole});
}

QVariant InstrumentsModel::instrumentData(QmdItemId id, const QString &key) const
{
    if (!m_controller)
        return QVariant();
    const QmdIndex instrument = m_controller->index(id, m_controller->instrumentsIndex());
    if (!m_controller->isValid(instrument))
        return QVariant();
    return m_controller->data(m_controller->index(key, instrument));
}

QPixmap InstrumentsModel::swatch(const QColor &color)
{
    QPixmap pixmap(SwatchSize, SwatchSize);
    pixmap.fill(Qt::white);
    QColor pen = color;
    pen.setAlphaF(1.0f);
    QColor brush = color;
    brush.setAlphaF(0.6f * color.alphaF());
    QPainter painter(&pixmap);
    painter.setPen(pen);
    painter.setBrush(brush);
    painter.drawRect(0, 0, SwatchSize - 1, SwatchSize - 1);
    return pixmap;
}
