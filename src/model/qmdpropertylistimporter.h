#pragma once

#include "qmdimportexportinterface.h"

#include <QDomDocument>
#include <QDomElement>
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcQmdPropertyList)

// Reads an XML property list written by QmdPropertyListExporter into a model,
// through the model's ordinary (undoable) operations. A file that cannot be
// parsed, is no property list, has another version or is shaped to exhaust
// the parser is rejected as a whole before the model is touched. Anything
// wrong further in is reported and skipped entry by entry, so a damaged file
// still loads as much as it can. Diagnostics go to the lcQmdPropertyList
// logging category.
class QmdPropertyListImporter : public QmdImportExportInterface
{
    Q_OBJECT

public:
    // Files above this size are rejected unread. A network document of a
    // hundred thousand elements takes about 100 MiB; reading a file takes
    // some twenty-five times its size in memory, so the limit keeps a
    // hostile file to a few gigabytes.
    static constexpr qint64 MaxFileSize = 128 * 1024 * 1024;

    QmdPropertyListImporter(QmdModel *model, QIODevice *device, QObject *parent = nullptr);

    // Parses the whole device and loads it into the item at index (the root
    // for the invalid index). Returns false, with the model untouched and the
    // reason in errorString(), when the file is rejected.
    virtual bool importIndex(const QmdIndex &index = QmdIndex());
    virtual void readItem(const QDomElement &element, const QmdIndex &index);
    // A null result stores nothing; index is the item being loaded.
    virtual QVariant readValue(const QDomElement &element, const QmdIndex &index);

    // Why the last importIndex() rejected the file; empty after a load.
    QString errorString() const { return m_errorString; }

protected:
    const QDomDocument &document() const { return m_document; }

private:
    bool parse();
    bool reject(const QString &message);
    static Qmd::ContainerType dictKind(const QDomElement &dict);

    QDomDocument m_document;
    QString m_errorString;
};
