#include "qmddoccontroller.h"

#include "qmdmodel.h"

#include <QSaveFile>

QmdDocController::QmdDocController(QObject *parent) : QmdController(parent)
{
    m_saveThread.setMaxThreadCount(1);
}

QmdDocController::~QmdDocController()
{
    // A write under way completes: the file is either the old one or the
    // new one, never a part. Its report, posted to this object, goes with it.
    m_saveThread.waitForDone();
}

QFile::FileError QmdDocController::serialize(const QString &, QByteArray *, QmdRequestId)
{
    return QFile::UnspecifiedError;
}

QFile::FileError QmdDocController::writeFile(const QString &fileName, const QByteArray &bytes,
                                             QString *errorString)
{
    QSaveFile file(fileName);
    QFile::FileError error = QFile::NoError;
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.error();
    } else if (file.write(bytes) != bytes.size() || !file.commit()) {
        error = file.error() == QFile::NoError ? QFile::WriteError : file.error();
    }
    if (error != QFile::NoError && errorString)
        *errorString = file.errorString();
    return error;
}

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

QmdRequestId QmdDocController::requestSaveInBackground(const QString &fileName)
{
    const QmdRequestId rid = nextRequestId();
    QByteArray bytes;
    QmdModel *m = model();
    beginRequest(rid, Qmd::NoUndo, tr("Save"));
    QFile::FileError error = serialize(fileName, &bytes, rid);
    // Taken after serialize(), which may write what it needs first.
    const QmdModel::StateMark mark = m ? m->stateMark() : QmdModel::StateMark();
    if (m)
        m->setRequestStatus(error == QFile::NoError ? 0 : -1);
    endRequest();

    ++m_savesUnderWay;
    if (error != QFile::NoError) {
        QMetaObject::invokeMethod(
            this,
            [this, fileName, rid, mark, error] {
                finishBackgroundSave(fileName, rid, mark, error);
            },
            Qt::QueuedConnection);
        return rid;
    }
    m_saveThread.start([this, fileName, rid, mark, bytes = std::move(bytes)] {
        const QFile::FileError written = writeFile(fileName, bytes);
        QMetaObject::invokeMethod(
            this,
            [this, fileName, rid, mark, written] {
                finishBackgroundSave(fileName, rid, mark, written);
            },
            Qt::QueuedConnection);
    });
    return rid;
}

void QmdDocController::finishBackgroundSave(const QString &fileName, QmdRequestId rid,
                                            QmdModel::StateMark mark, QFile::FileError error)
{
    --m_savesUnderWay;
    if (error != QFile::NoError) {
        Q_EMIT fileSaveError(fileName, error, rid);
        return;
    }
    const QString previousName = m_fileName;
    m_fileName = fileName;
    if (QmdModel *m = model()) {
        beginRequest(nextRequestId(), Qmd::NoUndo, tr("Save"));
        m->markAsCleanState(mark);
        endRequest();
    }
    Q_EMIT fileSaved(fileName, rid);
    if (m_fileName != previousName)
        Q_EMIT fileNameChanged(m_fileName, rid);
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
