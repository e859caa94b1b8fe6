#include "modelsignallog.h"

#include "modeldump.h"

#include <algorithm>
#include <utility>

namespace {
QString flag(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

QString sorted(QStringList keys)
{
    keys.sort();
    return '[' + keys.join(',') + ']';
}

QString sorted(QmdItemIdList ids)
{
    std::sort(ids.begin(), ids.end());
    QStringList texts;
    for (QmdItemId id : ids)
        texts << QString::number(id);
    return '[' + texts.join(',') + ']';
}
} // namespace

ModelSignalLog::ModelSignalLog(QmdModel *model) : QObject(model), m_model(model)
{
    const auto rid = [](QmdRequestId id) { return QString::number(id); };
    connect(model, &QmdModel::atCleanStateChanged, this, [=, this](bool on, QmdRequestId r) {
        add("atCleanStateChanged", {flag(on), rid(r)});
    });
    connect(model, &QmdModel::canRedoChanged, this, [=, this](bool on, QmdRequestId r) {
        add("canRedoChanged", {flag(on), rid(r)});
    });
    connect(model, &QmdModel::canUndoChanged, this, [=, this](bool on, QmdRequestId r) {
        add("canUndoChanged", {flag(on), rid(r)});
    });
    connect(model, &QmdModel::redoTextChanged, this,
            [=, this](const QString &text, QmdRequestId r) {
                add("redoTextChanged", {text, rid(r)});
            });
    connect(model, &QmdModel::undoTextChanged, this,
            [=, this](const QString &text, QmdRequestId r) {
                add("undoTextChanged", {text, rid(r)});
            });
    connect(
        model,
        qOverload<const QmdIndex &, const QmdItemIdList &, QmdRequestId>(&QmdModel::itemsChanged),
        this, [=, this](const QmdIndex &parent, const QmdItemIdList &ids, QmdRequestId r) {
            add("itemsChanged", {ModelDump::path(*m_model, parent), sorted(ids), rid(r)});
        });
    connect(model,
            qOverload<const QmdIndex &, const QStringList &, QmdRequestId>(&QmdModel::itemsChanged),
            this, [=, this](const QmdIndex &parent, const QStringList &keys, QmdRequestId r) {
                add("itemsChanged", {ModelDump::path(*m_model, parent), sorted(keys), rid(r)});
            });
    connect(
        model,
        qOverload<const QmdIndex &, const QmdItemIdList &, QmdRequestId>(&QmdModel::itemsRemoved),
        this, [=, this](const QmdIndex &parent, const QmdItemIdList &ids, QmdRequestId r) {
            add("itemsRemoved", {ModelDump::path(*m_model, parent), sorted(ids), rid(r)});
        });
    connect(model,
            qOverload<const QmdIndex &, const QStringList &, QmdRequestId>(&QmdModel::itemsRemoved),
            this, [=, this](const QmdIndex &parent, const QStringList &keys, QmdRequestId r) {
                add("itemsRemoved", {ModelDump::path(*m_model, parent), sorted(keys), rid(r)});
            });
    connect(model, &QmdModel::rootChanged, this,
            [=, this](QmdRequestId r) { add("rootChanged", {rid(r)}); });
    connect(model, &QmdModel::requestFinished, this,
            [=, this](QmdRequestId r, Qmd::RequestFlags flags, int status) {
                add("requestFinished", {rid(r), QString::number(flags), QString::number(status)});
            });
}

QStringList ModelSignalLog::take()
{
    return std::exchange(m_lines, {});
}

void ModelSignalLog::add(const QString &signal, const QStringList &arguments)
{
    m_lines << signal + '(' + arguments.join(',') + ')';
}
