#pragma once

#include "qmdmemmodel.h"

#include <QByteArray>
#include <QSet>
#include <QStringList>

// One run of the property-list writer or reader over an in-memory buffer.
class PropertyListRun
{
public:
    // What reading a file did: whether it was accepted, the reason given
    // when not, and every diagnostic of the "ludra.model.plist" category.
    struct Read
    {
        bool accepted = false;
        QString error;
        QStringList diagnostics;
    };

    static QByteArray write(QmdModel &model, const QmdIndex &index = QmdIndex(),
                            const QSet<QmdIndex> &excluded = {});
    static Read read(QmdMemModel &model, const QByteArray &file, const QmdIndex &index = QmdIndex());

    // Pieces of hand-written files: a whole file around the content of its
    // plist element, and dictionaries around their entries.
    static QByteArray file(const QByteArray &content);
    static QByteArray strDict(const QByteArray &entries);
    static QByteArray intDict(const QByteArray &entries);
    // What the reader reports for a file that QDomDocument itself fails to
    // parse, from QDomDocument's own message and position.
    static QString parserError(const QByteArray &file);
};
