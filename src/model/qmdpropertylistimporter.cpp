#include "qmdpropertylistimporter.h"

#include "qmdmemmodel.h"
#include "qmdmemmodelbuilder.h"
#include "qmdpropertylistreader.h"

Q_LOGGING_CATEGORY(lcQmdPropertyList, "ludra.model.plist")

namespace {

void diagnose(const QString &message)
{
    qCWarning(lcQmdPropertyList, "%s", qUtf8Printable(message));
}

constexpr qint64 ReadChunk = 1024 * 1024;

} // namespace

QmdPropertyListImporter::QmdPropertyListImporter(QmdMemModel *model, QIODevice *device,
                                                 QObject *parent)
    : QmdImportExportInterface(model, device, parent)
{
}

bool QmdPropertyListImporter::importIndex(const QmdIndex &index)
{
    m_errorString.clear();
    QByteArray data;
    if (QIODevice *in = device()) {
        data.reserve(qsizetype(qBound<qint64>(0, in->bytesAvailable(), MaxFileSize + 1)));
        while (data.size() <= MaxFileSize) {
            const qsizetype before = data.size();
            data.resize(before + qsizetype(qMin(ReadChunk, MaxFileSize + 1 - before)));
            const qint64 read = in->read(data.data() + before, data.size() - before);
            data.resize(before + qsizetype(qMax<qint64>(read, 0)));
            if (read <= 0)
                break;
        }
    }
    if (data.size() > MaxFileSize)
        return reject(tr("The file is larger than %1 MiB.").arg(MaxFileSize / (1024 * 1024)));

    QmdMemModelBuilder builder(qobject_cast<QmdMemModel *>(model()), index);
    QmdPropertyListReader reader(
        &builder, [this](const QString &tag, const QString &text, const QmdIndex &item) {
            return readValue(tag, text, item);
        });
    if (!reader.read(data))
        return reject(reader.errorString());
    data = QByteArray();
    for (const QString &message : reader.diagnostics())
        diagnose(message);
    builder.put();
    return true;
}

QVariant QmdPropertyListImporter::readValue(const QString &tag, const QString &text,
                                            const QmdIndex &index)
{
    Q_UNUSED(index)
    if (tag == QLatin1String("real"))
        return text.toDouble();
    if (tag == QLatin1String("integer"))
        return text.toInt(nullptr, 10);
    if (tag == QLatin1String("string"))
        return text;
    if (tag == QLatin1String("true"))
        return true;
    if (tag == QLatin1String("false"))
        return false;
    return QVariant();
}

bool QmdPropertyListImporter::reject(const QString &message)
{
    diagnose(message);
    m_errorString = message;
    return false;
}
