#include "modeldump.h"

#include <algorithm>

QString ModelDump::tree(const QmdModel &model, const QmdIndex &index)
{
    QStringList items;
    switch (model.containerType(index)) {
    case Qmd::IntDict: {
        QmdItemIdList ids = model.ids(index);
        std::sort(ids.begin(), ids.end());
        for (QmdItemId id : ids)
            items << QString::number(id) + '=' + tree(model, model.index(id, index));
        return "I{" + items.join(',') + '}';
    }
    case Qmd::StrDict: {
        QStringList keys = model.keys(index);
        keys.sort();
        for (const QString &key : keys)
            items << key + '=' + tree(model, model.index(key, index));
        return "S{" + items.join(',') + '}';
    }
    case Qmd::NoContainer:
        break;
    }
    return value(model.data(index));
}

QString ModelDump::path(const QmdModel &model, const QmdIndex &index)
{
    QStringList parts;
    for (QmdIndex i = index; model.isValid(i); i = model.parent(i))
        parts.prepend(i.key().isEmpty() ? QString::number(i.id()) : i.key());
    return '/' + parts.join('/');
}

QString ModelDump::value(const QVariant &value)
{
    if (!value.isValid())
        return QStringLiteral("-");
    return QString::fromLatin1(value.typeName()) + ':' + value.toString();
}
