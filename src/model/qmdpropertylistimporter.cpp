#include "qmdpropertylistimporter.h"

#include "qmdxmlguard.h"

Q_LOGGING_CATEGORY(lcQmdPropertyList, "ludra.model.plist")

namespace {

void diagnose(const QString &message)
{
    qCWarning(lcQmdPropertyList, "%s", qUtf8Printable(message));
}

constexpr qint64 ReadChunk = 1024 * 1024;

} // namespace

QmdPropertyListImporter::QmdPropertyListImporter(QmdModel *model, QIODevice *device,
                                                 QObject *parent)
    : QmdImportExportInterface(model, device, parent)
{
}

bool QmdPropertyListImporter::importIndex(const QmdIndex &index)
{
    m_errorString.clear();
    if (!parse())
        return false;
    // The guard in parse() bounded the nesting of the document, and with it
    // the recursion of readItem().
    readItem(m_document.documentElement().firstChildElement(), index);
    return true;
}

void QmdPropertyListImporter::readItem(const QDomElement &element, const QmdIndex &index)
{
    if (element.tagName() != QLatin1String("dict")) {
        const QVariant value = readValue(element, index);
        if (!value.isNull())
            setData(index, value);
        return;
    }
    const Qmd::ContainerType kind = dictKind(element);
    if (kind == Qmd::NoContainer) {
        diagnose(QStringLiteral("TODO: handle ContainerType error"));
        return;
    }
    setType(index, kind);

    QDomElement entry = element.firstChildElement();
    while (!entry.isNull()) {
        if (entry.tagName() != QLatin1String("key")) {
            diagnose(QStringLiteral("TODO: handle key MISSING error"));
            entry = entry.nextSiblingElement();
            continue;
        }
        const QString key = entry.text();
        if (key.isEmpty()) {
            diagnose(QStringLiteral("TODO: handle key INVALID error"));
            entry = entry.nextSiblingElement();
            continue;
        }
        const QDomElement value = entry.nextSiblingElement();
        if (key == QLatin1String("ContainerType")) {
            entry = value.nextSiblingElement();
            continue;
        }
        if (value.tagName() == QLatin1String("key")) {
            diagnose(QStringLiteral("TODO: handle twos idList in a row error"));
            entry = value.nextSiblingElement();
            continue;
        }
        QmdIndex child;
        if (kind == Qmd::IntDict) {
            bool ok = false;
            const QmdItemId id = key.toUInt(&ok, 10);
            if (!ok || id == 0) {
                diagnose(QStringLiteral("TODO: handle key INVALID error"));
                entry = value.nextSiblingElement();
                continue;
            }
            setType(id, Qmd::NoContainer, index);
            child = this->index(id, index);
        } else {
            setType(key, Qmd::NoContainer, index);
            child = this->index(key, index);
        }
        // A key closing its dict leaves its item holding an invalid value.
        if (!value.isNull())
            readItem(value, child);
        entry = value.nextSiblingElement();
    }
}

QVariant QmdPropertyListImporter::readValue(const QDomElement &element, const QmdIndex &index)
{
    Q_UNUSED(index)
    const QString tag = element.tagName();
    if (tag == QLatin1String("real"))
        return element.text().toDouble();
    if (tag == QLatin1String("integer"))
        return element.text().toInt(nullptr, 10);
    if (tag == QLatin1String("string"))
        return element.text();
    if (tag == QLatin1String("true"))
        return true;
    if (tag == QLatin1String("false"))
        return false;
    return QVariant();
}

bool QmdPropertyListImporter::parse()
{
    m_document.clear();
    QByteArray data;
    if (QIODevice *in = device()) {
        while (data.size() <= MaxFileSize) {
            const QByteArray chunk = in->read(ReadChunk);
            if (chunk.isEmpty())
                break;
            data += chunk;
        }
    }
    if (data.size() > MaxFileSize)
        return reject(tr("The file is larger than %1 MiB.").arg(MaxFileSize / (1024 * 1024)));

    QmdXmlGuard guard;
    QString message;
    int line = 0;
    int column = 0;
    bool parsed = guard.screen(data);
    if (parsed) {
        parsed = m_document.setContent(guard.text(), false, &message, &line, &column);
    } else {
        message = guard.errorMessage();
        line = guard.errorLine();
        column = guard.errorColumn();
    }
    if (!parsed)
        return reject(tr("Parse error at line %1, column %2:\n%3")
                          .arg(QString::number(line), QString::number(column), message));

    const QDomElement plist = m_document.documentElement();
    if (plist.tagName() != QLatin1String("plist"))
        return reject(tr("The file is not a plist file."));
    const QString version = QStringLiteral("version");
    if (plist.hasAttribute(version) && plist.attribute(version) != QLatin1String("1.0"))
        return reject(tr("The file is not a plist version 1.0 file."));
    return true;
}

bool QmdPropertyListImporter::reject(const QString &message)
{
    diagnose(message);
    m_errorString = message;
    m_document.clear();
    return false;
}

// The kind is named by the value after the first "ContainerType" key,
// wherever that key stands among the entries.
Qmd::ContainerType QmdPropertyListImporter::dictKind(const QDomElement &dict)
{
    const QString keyTag = QStringLiteral("key");
    for (QDomElement key = dict.firstChildElement(keyTag); !key.isNull();
         key = key.nextSiblingElement(keyTag)) {
        if (key.text() != QLatin1String("ContainerType"))
            continue;
        const QDomElement name = key.nextSiblingElement();
        if (name.tagName() != QLatin1String("string"))
            return Qmd::NoContainer;
        if (name.text() == QLatin1String("IntDict"))
            return Qmd::IntDict;
        if (name.text() == QLatin1String("StrDict"))
            return Qmd::StrDict;
        return Qmd::NoContainer;
    }
    return Qmd::NoContainer;
}
