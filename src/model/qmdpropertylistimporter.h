#pragma once

#include "qmdimportexportinterface.h"

#include <QLoggingCategory>

class QmdMemModel;

Q_DECLARE_LOGGING_CATEGORY(lcQmdPropertyList)

// Reads an XML property list written by QmdPropertyListExporter into a memory
// model. The file is read as one stream of tokens straight into a subtree
// built aside, which replaces the item loaded into as one change once the
// whole file has been read: a file that cannot be parsed, is no property
// list, has another version or is shaped to exhaust the parser is rejected
// as a whole, and the model is never touched. Anything wrong further in is
// reported and skipped entry by entry, so a damaged file still loads as much
// as it can. Diagnostics go to the lcQmdPropertyList logging category, once
// the file has been read.
//
// Used on the thread that uses the model, inside one of its requests.
class QmdPropertyListImporter : public QmdImportExportInterface
{
    Q_OBJECT

public:
    // Files above this size are rejected unread. A network document of a
    // hundred thousand elements takes about 100 MiB; it is held in memory
    // once while it is read, beside the model it becomes.
    static constexpr qint64 MaxFileSize = 128 * 1024 * 1024;

    QmdPropertyListImporter(QmdMemModel *model, QIODevice *device, QObject *parent = nullptr);

    // Reads the whole device and loads it into the item at index (the root
    // for the invalid index). Returns false, with the model untouched and the
    // reason in errorString(), when the file is rejected.
    virtual bool importIndex(const QmdIndex &index = QmdIndex());
    // The value of an element other than a dict: tag is its name, text all
    // the characters inside it, index the item being loaded. A null result
    // stores nothing: an item keeps an invalid value, the loaded item stays
    // as it was.
    virtual QVariant readValue(const QString &tag, const QString &text, const QmdIndex &index);

    // Why the last importIndex() rejected the file; empty after a load.
    QString errorString() const { return m_errorString; }

private:
    bool reject(const QString &message);

    QString m_errorString;
};
