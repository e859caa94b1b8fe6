#include "qmddoccontroller.h"

#include "qmdmodel.h"

QmdDocController::QmdDocController(QObject *parent) : QmdController(parent) {}

QFile::FileError QmdDocController::save(const QString &, QmdRequestId)
{
    return QFile::NoError;
}

QFile::FileError QmdDocController::load(const QString &, QmdRequestId)
{
    return QFile::NoError;
}

QmdRequestId QmdDocController::requestSave(const QString &fileName)
{
    return fileRequest(fileName, FileMode::Save);
}

QmdRequestId QmdDocController::requestLoad(const QString &fileName)
{
    return fileRequest(fileName, FileMode::Load);
}

QmdRequestId QmdDocController::requestLoadTemplate(const QString &fileName)
{
    return fileRequest(fileName, FileMode::Template);
}

QmdRequestId QmdDocController::fileRequest(const QString &fileName, FileMode mode)
{
    const QString previousName = m_fileName;
    const QmdRequestId rid = nextRequestId();
    // File operations are never undoable: the undo history stays as it is
    // (a subclass's load may clear it).
    beginRequest(rid, Qmd::NoUndo, mode == FileMode::Save ? tr("Save") : tr("Load"));
    const QFile::FileError error =
        mode == FileMode::Save ? save(fileName, rid) : load(fileName, rid);
    const bool ok = error == QFile::NoError;
    QmdModel *m = model();
    if (ok) {
        if (mode != FileMode::Template)
            m_fileName = fileName;
        if (m)
            m->markAsCleanState();
    }
    if (m)
        m->setRequestStatus(ok ? 0 : -1);
    endRequest();

    switch (mode) {
    case FileMode::Save:
        if (ok)
            Q_EMIT fileSaved(fileName, rid);
        else
            Q_EMIT fileSaveError(fileName, error, rid);
        break;
    case FileMode::Load:
        if (ok) {
            reset();
            Q_EMIT fileLoaded(fileName, rid);
        } else {
            Q_EMIT fileLoadError(fileName, error, rid);
        }
        break;
    case FileMode::Template:
        if (ok) {
            reset();
            Q_EMIT templateLoaded(fileName, rid);
        } else {
            Q_EMIT templateLoadError(fileName, error, rid);
        }
        break;
    }
    if (ok && m_fileName != previousName)
        Q_EMIT fileNameChanged(m_fileName, rid);
    return rid;
}
