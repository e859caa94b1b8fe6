#include "qmdmemmodelcommand.h"

#include "qmdmemmodelcontainers.h"

#include <utility>

QmdMemModel::QmdCommand::QmdCommand(QmdMemModel *model)
    : m_model(model), m_requestId(model->currentRequestId()),
      m_options(model->currentRequestOptions()), m_text(model->currentRequestText()),
      m_serial(++model->m_lastStepSerial)
{
}

QmdMemModel::QmdCommand::~QmdCommand()
{
    qDeleteAll(m_children);
}

void QmdMemModel::QmdCommand::redo()
{
    for (QmdCommand *child : std::as_const(m_children))
        child->redo();
    m_undone = false;
}

void QmdMemModel::QmdCommand::undo()
{
    for (auto it = m_children.crbegin(); it != m_children.crend(); ++it)
        (*it)->undo();
    m_undone = true;
}

QmdMemModel::QmdSetRootCommand::QmdSetRootCommand(QmdMemModel *model, const QVariant &root)
    : QmdCommand(model), m_value(root)
{
}

QmdMemModel::QmdSetRootCommand::~QmdSetRootCommand()
{
    SpecialItem::release(m_value);
}

void QmdMemModel::QmdSetRootCommand::redo()
{
    swapRoot();
    QmdCommand::redo();
}

void QmdMemModel::QmdSetRootCommand::undo()
{
    QmdCommand::undo();
    swapRoot();
}

void QmdMemModel::QmdSetRootCommand::swapRoot()
{
    std::swap(m_value, m_model->m_root);
    Q_EMIT m_model->rootChanged(m_model->currentRequestId());
}
