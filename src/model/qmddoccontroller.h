#pragma once

#include "qmdcontroller.h"

#include <QFile>
#include <QString>

// A controller for a document kept in a file: a file name and the save, load
// and load-template requests. Subclasses do the actual reading and writing in
// save() and load(); this class frames them as requests that are never
// undoable, keeps the clean mark and the file name, and reports the outcome.
class QmdDocController : public QmdController
{
    Q_OBJECT

public:
    explicit QmdDocController(QObject *parent = nullptr);

    QString fileName() const { return m_fileName; }

    // Write the model to the file / replace the model's content by the
    // file's, inside the request rid. The defaults do nothing.
    virtual QFile::FileError save(const QString &fileName, QmdRequestId rid);
    virtual QFile::FileError load(const QString &fileName, QmdRequestId rid);

Q_SIGNALS:
    void fileSaved(const QString &fileName, QmdRequestId rid);
    void fileLoaded(const QString &fileName, QmdRequestId rid);
    void templateLoaded(const QString &fileName, QmdRequestId rid);
    void fileSaveError(const QString &fileName, QFile::FileError error, QmdRequestId rid);
    void fileLoadError(const QString &fileName, QFile::FileError error, QmdRequestId rid);
    void templateLoadError(const QString &fileName, QFile::FileError error, QmdRequestId rid);
    void fileNameChanged(const QString &fileName, QmdRequestId rid);

public Q_SLOTS:
    QmdRequestId requestSave(const QString &fileName);
    QmdRequestId requestLoad(const QString &fileName);
    // Loads a file as the starting point of a new document: the document
    // keeps its name (or stays untitled).
    QmdRequestId requestLoadTemplate(const QString &fileName);

private:
    enum class FileMode { Save, Load, Template };
    QmdRequestId fileRequest(const QString &fileName, FileMode mode);

    QString m_fileName;
};
