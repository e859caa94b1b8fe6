#include "qmdmemmodelcontainers.h"

#include <QLoggingCategory>

#include <limits>

namespace {
Q_LOGGING_CATEGORY(lcQmdModel, "ludra.model")
}

QmdMemModel::SpecialItem::SpecialItem(Qmd::ContainerType kind, const QmdIndex &location,
                                      QmdMemModel *model)
    : m_kind(kind), m_location(location), m_model(model),
      m_registration(model->registerContainer(this))
{
}

QmdMemModel::SpecialItem::~SpecialItem()
{
    m_model->unregisterContainer(m_registration);
}

QmdMemModel::SpecialItem *QmdMemModel::SpecialItem::fromVariant(const QVariant &value)
{
    if (value.metaType() != QMetaType::fromType<SpecialItemStar>())
        return nullptr;
    return value.value<SpecialItemStar>();
}

void QmdMemModel::SpecialItem::release(const QVariant &value)
{
    delete fromVariant(value);
}

void QmdMemModel::SpecialItem::moveTo(QmdMemModel *model)
{
    if (model == m_model)
        return;
    m_model->unregisterContainer(m_registration);
    m_model = model;
    m_registration = model->registerContainer(this);
    // The container holding this one has moved already.
    if (m_location.model()) {
        auto *parent = static_cast<SpecialItem *>(m_location.internalPointer());
        m_location = m_location.key().isEmpty()
                         ? QmdIndex(m_location.id(), parent->m_registration, parent, model)
                         : QmdIndex(m_location.key(), parent->m_registration, parent, model);
    }
    moveItemsTo(model);
}

QmdMemModel::IntDictSpecialItem::IntDictSpecialItem(const QmdIndex &location, QmdMemModel *model)
    : DictSpecialItem(Qmd::IntDict, location, model)
{
}

QmdItemId QmdMemModel::IntDictSpecialItem::registerNewItemId()
{
    const QmdItemId id =
        findFreeItemId(m_lastItemId, std::numeric_limits<QmdItemId>::max(),
                       [this](QmdItemId candidate) { return items.contains(candidate); });
    if (id != 0)
        m_lastItemId = id;
    return id;
}

QmdItemId
QmdMemModel::IntDictSpecialItem::findFreeItemId(QmdItemId last, QmdItemId largest,
                                                const std::function<bool(QmdItemId)> &inUse)
{
    bool wrapped = last >= largest;
    QmdItemId candidate = wrapped ? 1 : last + 1;
    while (inUse(candidate)) {
        if (candidate < largest) {
            ++candidate;
        } else if (wrapped) {
            qCWarning(lcQmdModel,
                      "registerNewItemId: item IDs have been exhausted for the given hash");
            return 0;
        } else {
            wrapped = true;
            candidate = 1;
        }
    }
    return candidate;
}

QmdMemModel::StrDictSpecialItem::StrDictSpecialItem(const QmdIndex &location, QmdMemModel *model)
    : DictSpecialItem(Qmd::StrDict, location, model)
{
}
