#include "qmdmemmodelbuilder.h"

#include "qmdmemmodelcontainers.h"

#include <type_traits>
#include <utility>

namespace {

template <class Key>
using DictFor = std::conditional_t<std::is_same_v<Key, QString>, QmdMemModel::StrDictSpecialItem,
                                   QmdMemModel::IntDictSpecialItem>;

// The container a handle is, when it holds keys of this kind.
template <class Key> DictFor<Key> *dictOf(QmdMemModelBuilder::Container container)
{
    const Qmd::ContainerType kind = std::is_same_v<Key, QString> ? Qmd::StrDict : Qmd::IntDict;
    if (!container || container->kind() != kind)
        return nullptr;
    return static_cast<DictFor<Key> *>(container);
}

} // namespace

QmdMemModelBuilder::QmdMemModelBuilder(QmdMemModel *model, const QmdIndex &place)
    : m_model(model), m_place(place)
{
}

QmdMemModelBuilder::~QmdMemModelBuilder()
{
    clear();
}

QmdMemModelBuilder::Container QmdMemModelBuilder::setTop(Qmd::ContainerType kind)
{
    clear();
    m_hasTop = true;
    if (!m_model)
        return nullptr;
    m_top = m_model->newContainer(kind, topLocation());
    return QmdMemModel::SpecialItem::fromVariant(m_top);
}

void QmdMemModelBuilder::setTopValue(const QVariant &value)
{
    clear();
    m_hasTop = true;
    // A container handed in from elsewhere would end up owned twice.
    if (!QmdMemModel::SpecialItem::fromVariant(value))
        m_top = value;
}

QmdMemModelBuilder::Container QmdMemModelBuilder::addContainer(Container parent, QmdItemId id,
                                                               Qmd::ContainerType kind)
{
    return add(parent, id, kind);
}

QmdMemModelBuilder::Container QmdMemModelBuilder::addContainer(Container parent, const QString &key,
                                                               Qmd::ContainerType kind)
{
    return add(parent, key, kind);
}

void QmdMemModelBuilder::setValue(Container parent, QmdItemId id, const QVariant &value)
{
    set(parent, id, value);
}

void QmdMemModelBuilder::setValue(Container parent, const QString &key, const QVariant &value)
{
    set(parent, key, value);
}

void QmdMemModelBuilder::reserve(Container container, qsizetype size)
{
    if (auto *dict = dictOf<QmdItemId>(container))
        dict->items.reserve(size);
    else if (auto *dict = dictOf<QString>(container))
        dict->items.reserve(size);
}

QmdIndex QmdMemModelBuilder::index(Container parent, QmdItemId id) const
{
    const auto *dict = dictOf<QmdItemId>(parent);
    return dict ? dict->indexOf(id) : QmdIndex();
}

QmdIndex QmdMemModelBuilder::index(Container parent, const QString &key) const
{
    const auto *dict = dictOf<QString>(parent);
    return dict ? dict->indexOf(key) : QmdIndex();
}

void QmdMemModelBuilder::put()
{
    if (!m_model || !m_hasTop)
        return;
    // The place's container must still be the one in the tree; the model
    // would drop a change addressed to one taken out of it.
    if (m_model->isValid(m_place)) {
        const QmdMemModel::SpecialItem *parent = m_model->parentContainer(m_place);
        if (!parent || m_model->containerAt(parent->location()) != parent)
            return;
    }
    const QVariant top = std::exchange(m_top, QVariant());
    m_hasTop = false;
    m_model->setData(QHash<QmdIndex, QVariant>{{m_place, top}});
}

template <class Key>
QmdMemModelBuilder::Container QmdMemModelBuilder::add(Container parent, const Key &key,
                                                      Qmd::ContainerType kind)
{
    auto *dict = dictOf<Key>(parent);
    if (!dict || !DictFor<Key>::isUsableKey(key))
        return nullptr;
    const QVariant container = m_model->newContainer(kind, dict->indexOf(key));
    set(parent, key, container);
    return QmdMemModel::SpecialItem::fromVariant(container);
}

template <class Key>
void QmdMemModelBuilder::set(Container parent, const Key &key, const QVariant &value)
{
    auto *dict = dictOf<Key>(parent);
    if (!dict || !DictFor<Key>::isUsableKey(key))
        return;
    // A container replaced here was never anywhere else.
    QmdMemModel::SpecialItem::release(dict->exchange(key, value));
}

QmdIndex QmdMemModelBuilder::topLocation() const
{
    return m_model && m_model->isValid(m_place) ? m_place : QmdIndex();
}

void QmdMemModelBuilder::clear()
{
    QmdMemModel::SpecialItem::release(std::exchange(m_top, QVariant()));
    m_hasTop = false;
}
