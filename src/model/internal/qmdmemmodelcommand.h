#pragma once

#include "qmdmemmodel.h"

// One undoable change of a memory model, made during one request. Commands
// merged into it later (same request) are its children: they run after it on
// redo and before it, newest first, on undo. Whatever a command took out of
// the tree it holds, and releases when destroyed.
class QmdMemModel::QmdCommand
{
public:
    explicit QmdCommand(QmdMemModel *model);
    virtual ~QmdCommand();
    Q_DISABLE_COPY_MOVE(QmdCommand)

    virtual void redo();
    virtual void undo();

    QmdMemModel *model() const { return m_model; }
    QmdRequestId requestId() const { return m_requestId; }
    const QmdRequestOptions &options() const { return m_options; }
    const QString &text() const { return m_text; }
    bool isUndone() const { return m_undone; }
    bool isUndoable() const { return m_options.isUndoable(); }
    // Unique within the model, for naming the state this step leads to.
    quint64 serial() const { return m_serial; }
    qsizetype childCount() const { return m_children.size(); }

    // Takes ownership of a command of the same request.
    void appendChild(QmdCommand *child) { m_children.append(child); }

protected:
    QmdMemModel *const m_model;

private:
    const QmdRequestId m_requestId;
    const QmdRequestOptions m_options;
    const QString m_text;
    const quint64 m_serial;
    bool m_undone = true;
    QList<QmdCommand *> m_children;
};

// Replaces the root value; the value it does not hold is the one in the tree.
class QmdMemModel::QmdSetRootCommand : public QmdCommand
{
public:
    QmdSetRootCommand(QmdMemModel *model, const QVariant &root);
    ~QmdSetRootCommand() override;

    void redo() override;
    void undo() override;

private:
    void swapRoot();

    QVariant m_value;
};
