#include "qmdmodel.h"

bool QmdIndex::isValid() const
{
    return m_model && m_model->isValid(*this);
}

QmdModel::QmdModel(QObject *parent) : QObject(parent)
{
    // Indexes, id lists and request ids travel through queued connections.
    qRegisterMetaType<QmdIndex>("QmdIndex");
    qRegisterMetaType<QmdItemIdList>("QmdItemIdList");
    qRegisterMetaType<QmdRequestId>("QmdRequestId");
    qRegisterMetaType<Qmd::RequestFlags>("Qmd::RequestFlags");
}

QmdModel::~QmdModel() = default;

void QmdModel::setRequestStatus(int status)
{
    m_requestStatus = status;
}

void QmdModel::beginRequest(QmdRequestId rid, const QmdRequestOptions &options, const QString &text)
{
    m_requestId = rid;
    m_requestOptions = options;
    m_requestText = text;
    m_requestStatus = 0;
}

void QmdModel::endRequest()
{
    Q_EMIT requestFinished(m_requestId, m_requestOptions.flags, m_requestStatus);
    m_requestId = 0;
    m_requestOptions = QmdRequestOptions();
    m_requestText.clear();
    m_requestStatus = 0;
}

QVariantList QmdModel::values(const QmdIndex &parent, const QStringList &keys) const
{
    QVariantList list;
    list.reserve(keys.size());
    for (const QString &key : keys)
        list.append(data(index(key, parent)));
    return list;
}

int QmdModel::undoRedoLimit() const
{
    return m_undoRedoLimit;
}

void QmdModel::setUndoRedoLimit(int limit)
{
    m_undoRedoLimit = limit;
}

bool QmdModel::isAtCleanState() const
{
    return false;
}

void QmdModel::markAsCleanState() {}

QmdModel::StateMark QmdModel::stateMark() const
{
    return {};
}

void QmdModel::markAsCleanState(const StateMark &)
{
    markAsCleanState();
}

int QmdModel::undoRedoCount() const
{
    return 0;
}

bool QmdModel::canRedo() const
{
    return false;
}

bool QmdModel::canUndo() const
{
    return false;
}

QString QmdModel::redoText() const
{
    return QString();
}

QString QmdModel::undoText() const
{
    return QString();
}

void QmdModel::redo() {}

void QmdModel::undo() {}
