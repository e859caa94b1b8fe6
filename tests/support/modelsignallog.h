#pragma once

// Header only: it needs nothing but the model library.

#include "modeldump.h"

#include <QObject>
#include <QStringList>

#include <algorithm>
#include <utility>

// Records every signal of a model, in emission order, as one line of text
// such as "itemsChanged(/3,[1,2],5)" or "canUndoChanged(true,5)", so that a
// test can check the order across different signals. Identifier and key
// lists are sorted; parents are paths taken when the signal is emitted.
class ModelSignalLog : public QObject
{
public:
    explicit ModelSignalLog(QmdModel *model) : QObject(model), m_model(model)
    {
        using Ids = void (QmdModel::*)(const QmdIndex &, const QmdItemIdList &, QmdRequestId);
        using Keys = void (QmdModel::*)(const QmdIndex &, const QStringList &, QmdRequestId);
        listen(&QmdModel::atCleanStateChanged, "atCleanStateChanged");
        listen(&QmdModel::canRedoChanged, "canRedoChanged");
        listen(&QmdModel::canUndoChanged, "canUndoChanged");
        listen(&QmdModel::redoTextChanged, "redoTextChanged");
        listen(&QmdModel::undoTextChanged, "undoTextChanged");
        listen(Ids(&QmdModel::itemsChanged), "itemsChanged");
        listen(Keys(&QmdModel::itemsChanged), "itemsChanged");
        listen(Ids(&QmdModel::itemsRemoved), "itemsRemoved");
        listen(Keys(&QmdModel::itemsRemoved), "itemsRemoved");
        listen(&QmdModel::rootChanged, "rootChanged");
        listen(&QmdModel::requestFinished, "requestFinished");
    }

    const QStringList &lines() const { return m_lines; }
    // The lines recorded so far, forgetting them.
    QStringList take() { return std::exchange(m_lines, {}); }

private:
    template <class... A> void listen(void (QmdModel::*signal)(A...), const char *name)
    {
        connect(m_model, signal, this, [this, name](A... values) {
            const QStringList arguments{text(values)...};
            m_lines << QString::fromLatin1(name) + '(' + arguments.join(',') + ')';
        });
    }
    QString text(const QmdIndex &parent) const { return ModelDump::path(*m_model, parent); }
    static QString text(bool value) { return value ? "true" : "false"; }
    static QString text(quint32 number) { return QString::number(number); }
    static QString text(int number) { return QString::number(number); }
    static QString text(const QString &value) { return value; }
    static QString text(QStringList keys)
    {
        keys.sort();
        return '[' + keys.join(',') + ']';
    }
    static QString text(QmdItemIdList ids)
    {
        std::sort(ids.begin(), ids.end());
        QStringList numbers;
        for (QmdItemId id : ids)
            numbers << QString::number(id);
        return '[' + numbers.join(',') + ']';
    }

    QmdModel *m_model;
    QStringList m_lines;
};
