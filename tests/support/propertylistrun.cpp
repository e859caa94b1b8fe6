#include "propertylistrun.h"

#include "diagnosticlog.h"
#include "qmdpropertylistexporter.h"
#include "qmdpropertylistimporter.h"

#include <QBuffer>

QByteArray PropertyListRun::write(QmdModel &model, const QmdIndex &index,
                                  const QSet<QmdIndex> &excluded)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QmdPropertyListExporter exporter(&model, &buffer);
    exporter.setExcludedIndexes(excluded);
    exporter.exportIndex(index);
    return buffer.data();
}

PropertyListRun::Read PropertyListRun::read(QmdModel &model, const QByteArray &file,
                                            const QmdIndex &index)
{
    QByteArray data = file;
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QmdPropertyListImporter importer(&model, &buffer);
    Read result;
    {
        DiagnosticLog log("ludra.model.plist");
        result.accepted = importer.importIndex(index);
        result.diagnostics = log.messages();
    }
    result.error = importer.errorString();
    return result;
}
