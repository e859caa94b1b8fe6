#include "controllersignalrecorder.h"

#include "qmdcontroller.h"
#include "qmddoccontroller.h"
#include "qmdelementdoccontroller.h"

ControllerSignalRecorder::ControllerSignalRecorder(QmdController *c, QObject *parent)
    : QObject(parent)
{
    using IdsSignal =
        void (QmdController::*)(const QmdIndex &, const QmdItemIdList &, QmdRequestId);
    using KeysSignal = void (QmdController::*)(const QmdIndex &, const QStringList &, QmdRequestId);

    connect(c, &QmdController::atCleanStateChanged, this,
            [this](bool v, QmdRequestId rid) { record("atCleanStateChanged", rid, {v}); });
    connect(c, &QmdController::canRedoChanged, this,
            [this](bool v, QmdRequestId rid) { record("canRedoChanged", rid, {v}); });
    connect(c, &QmdController::canUndoChanged, this,
            [this](bool v, QmdRequestId rid) { record("canUndoChanged", rid, {v}); });
    connect(c, &QmdController::redoTextChanged, this,
            [this](const QString &v, QmdRequestId rid) { record("redoTextChanged", rid, {v}); });
    connect(c, &QmdController::undoTextChanged, this,
            [this](const QString &v, QmdRequestId rid) { record("undoTextChanged", rid, {v}); });
    connect(c, &QmdController::modelReset, this, [this] { record("modelReset", 0); });
    connect(
        c, IdsSignal(&QmdController::itemsChanged), this,
        [this](const QmdIndex &p, const QmdItemIdList &ids, QmdRequestId rid) {
            record("itemsChanged(ids)", rid, {QVariant::fromValue(p), QVariant::fromValue(ids)});
        });
    connect(c, KeysSignal(&QmdController::itemsChanged), this,
            [this](const QmdIndex &p, const QStringList &keys, QmdRequestId rid) {
                record("itemsChanged(keys)", rid, {QVariant::fromValue(p), keys});
            });
    connect(
        c, IdsSignal(&QmdController::itemsRemoved), this,
        [this](const QmdIndex &p, const QmdItemIdList &ids, QmdRequestId rid) {
            record("itemsRemoved(ids)", rid, {QVariant::fromValue(p), QVariant::fromValue(ids)});
        });
    connect(c, KeysSignal(&QmdController::itemsRemoved), this,
            [this](const QmdIndex &p, const QStringList &keys, QmdRequestId rid) {
                record("itemsRemoved(keys)", rid, {QVariant::fromValue(p), keys});
            });
    connect(c, &QmdController::rootChanged, this,
            [this](QmdRequestId rid) { record("rootChanged", rid); });
    connect(c, &QmdController::requestFinished, this,
            [this](QmdRequestId rid, int status) { record("requestFinished", rid, {status}); });

    if (auto *doc = qobject_cast<QmdDocController *>(c)) {
        const auto named = [this](const char *name) {
            return
                [this, name](const QString &file, QmdRequestId rid) { record(name, rid, {file}); };
        };
        const auto failed = [this](const char *name) {
            return [this, name](const QString &file, QFile::FileError error, QmdRequestId rid) {
                record(name, rid, {file, int(error)});
            };
        };
        connect(doc, &QmdDocController::fileSaved, this, named("fileSaved"));
        connect(doc, &QmdDocController::fileLoaded, this, named("fileLoaded"));
        connect(doc, &QmdDocController::templateLoaded, this, named("templateLoaded"));
        connect(doc, &QmdDocController::fileNameChanged, this, named("fileNameChanged"));
        connect(doc, &QmdDocController::fileSaveError, this, failed("fileSaveError"));
        connect(doc, &QmdDocController::fileLoadError, this, failed("fileLoadError"));
        connect(doc, &QmdDocController::templateLoadError, this, failed("templateLoadError"));
    }

    if (auto *el = qobject_cast<QmdElementDocController *>(c)) {
        connect(el, &QmdElementDocController::elementDataChanged, this,
                [this](QmdItemId id, const QStringList &keys, QmdRequestId rid) {
                    record("elementDataChanged", rid, {id, keys});
                });
        connect(el, &QmdElementDocController::elementDataRemoved, this,
                [this](QmdItemId id, const QStringList &keys, QmdRequestId rid) {
                    record("elementDataRemoved", rid, {id, keys});
                });
        connect(el, &QmdElementDocController::elementsAdded, this,
                [this](const QmdItemIdList &ids, QmdRequestId rid) {
                    record("elementsAdded", rid, {QVariant::fromValue(ids)});
                });
        connect(el, &QmdElementDocController::elementsRemoved, this,
                [this](const QmdItemIdList &ids, QmdRequestId rid) {
                    record("elementsRemoved", rid, {QVariant::fromValue(ids)});
                });
        connect(el, &QmdElementDocController::elementSelectionChanged, this,
                [this](const QmdItemIdSet &added, const QmdItemIdSet &removed, QmdRequestId rid) {
                    record("elementSelectionChanged", rid,
                           {QVariant::fromValue(added), QVariant::fromValue(removed)});
                });
    }
}

void ControllerSignalRecorder::record(const QString &name, QmdRequestId rid,
                                      const QVariantList &args)
{
    m_events.append({name, rid, args});
}

QStringList ControllerSignalRecorder::names() const
{
    QStringList result;
    for (const ControllerEvent &e : m_events)
        result.append(e.name);
    return result;
}

QStringList ControllerSignalRecorder::namesFor(QmdRequestId rid) const
{
    QStringList result;
    for (const ControllerEvent &e : m_events) {
        if (e.rid == rid)
            result.append(e.name);
    }
    return result;
}

int ControllerSignalRecorder::count(const QString &name) const
{
    int n = 0;
    for (const ControllerEvent &e : m_events)
        n += e.name == name ? 1 : 0;
    return n;
}

QList<ControllerEvent> ControllerSignalRecorder::only(const QStringList &names) const
{
    QList<ControllerEvent> result;
    for (const ControllerEvent &e : m_events) {
        if (names.contains(e.name))
            result.append(e);
    }
    return result;
}
