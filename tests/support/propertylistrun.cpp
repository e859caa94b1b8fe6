#include "propertylistrun.h"

#include "diagnosticlog.h"
#include "qmdpropertylistexporter.h"
#include "qmdpropertylistimporter.h"

#include <QBuffer>
#include <QDomDocument>

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

PropertyListRun::Read PropertyListRun::read(QmdMemModel &model, const QByteArray &file,
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

QByteArray PropertyListRun::file(const QByteArray &content)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">" + content +
           "</plist>\n";
}

QByteArray PropertyListRun::strDict(const QByteArray &entries)
{
    return "<dict><key>ContainerType</key><string>StrDict</string>" + entries + "</dict>";
}

QByteArray PropertyListRun::intDict(const QByteArray &entries)
{
    return "<dict><key>ContainerType</key><string>IntDict</string>" + entries + "</dict>";
}

QString PropertyListRun::parserError(const QByteArray &file)
{
    QDomDocument document;
    QString message;
    int line = 0;
    int column = 0;
    if (document.setContent(QString::fromUtf8(file), false, &message, &line, &column))
        return QString();
    return QString("Parse error at line %1, column %2:\n%3").arg(line).arg(column).arg(message);
}
