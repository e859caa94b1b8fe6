#pragma once

#include "qmdmodel.h"

#include <QObject>
#include <QStringList>

// Records every signal of a model, in emission order, as one line of text
// such as "itemsChanged(/3,[1,2],5)" or "canUndoChanged(true,5)", so that a
// test can check the order across different signals. Identifier and key
// lists are sorted; parents are paths taken when the signal is emitted.
class ModelSignalLog : public QObject
{
public:
    explicit ModelSignalLog(QmdModel *model);

    const QStringList &lines() const { return m_lines; }
    // The lines recorded so far, forgetting them.
    QStringList take();

private:
    void add(const QString &signal, const QStringList &arguments);

    QmdModel *m_model;
    QStringList m_lines;
};
