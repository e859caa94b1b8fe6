#pragma once

#include "qmdmodel.h"

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
    static Read read(QmdModel &model, const QByteArray &file, const QmdIndex &index = QmdIndex());
};
