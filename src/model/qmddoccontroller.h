#pragma once

#include "qmdcontroller.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QThreadPool>

// A controller for a document kept in a file: a file name and the save, load
// and load-template requests. Subclasses do the actual reading and writing in
// save() and load(); this class frames them as requests that are never
// undoable, keeps the clean mark and the file name, and reports the outcome.
//
// A save may also run in the background (requestSaveInBackground): the
// document is taken down as the bytes of its file at once, on the
// controller's thread, and a worker thread of the controller's own writes
// them, one save after the other in the order asked. Its outcome comes back
// to the controller's thread from the event loop. The controller waits for
// the writes under way when it is destroyed, so that no file is left half
// done.
//
// Threads: the controller's thread only; the worker touches nothing but the
// bytes and the file it was given.
class QmdDocController : public QmdController
{
    Q_OBJECT

public:
    explicit QmdDocController(QObject *parent = nullptr);
    ~QmdDocController() override;

    QString fileName() const { return m_fileName; }

    // Write the model to the file / replace the model's content by the
    // file's, inside the request rid. The defaults do nothing.
    virtual QFile::FileError save(const QString &fileName, QmdRequestId rid);
    virtual QFile::FileError load(const QString &fileName, QmdRequestId rid);
    // The bytes of the file that would hold the document as it is now,
    // inside the request rid; for saving in the background. The default has
    // none to give: QFile::UnspecifiedError.
    virtual QFile::FileError serialize(const QString &fileName, QByteArray *bytes,
                                       QmdRequestId rid);

    // Replaces the file by the bytes only once all of them are written.
    // errorString, when given, tells why it failed. Any thread.
    static QFile::FileError writeFile(const QString &fileName, const QByteArray &bytes,
                                      QString *errorString = nullptr);

    // Saves begun in the background whose outcome has not been reported.
    int savesUnderWay() const { return m_savesUnderWay; }

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
    // Returns at once; fileSaved or fileSaveError follows from the event
    // loop with the id returned. On success the state that was written
    // becomes the clean one, whatever changed since, and the document takes
    // the file's name.
    QmdRequestId requestSaveInBackground(const QString &fileName);
    QmdRequestId requestLoad(const QString &fileName);
    // Loads a file as the starting point of a new document: the document
    // keeps its name (or stays untitled).
    QmdRequestId requestLoadTemplate(const QString &fileName);

private:
    enum class FileMode { Save, Load, Template };
    QmdRequestId fileRequest(const QString &fileName, FileMode mode);

    void finishBackgroundSave(const QString &fileName, QmdRequestId rid, QmdModel::StateMark mark,
                              QFile::FileError error);

    QString m_fileName;
    int m_savesUnderWay = 0;
    // One thread, so that saves reach the disk in the order they were asked.
    QThreadPool m_saveThread;
};
