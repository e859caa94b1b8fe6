#include "qmdpropertylistexporter.h"

QmdPropertyListExporter::QmdPropertyListExporter(QmdModel *model, QIODevice *device,
                                                 QObject *parent)
    : QmdImportExportInterface(model, device, parent)
{
}

void QmdPropertyListExporter::exportIndex(const QmdIndex &index)
{
    // The device may have been destroyed meanwhile; there is nowhere to write.
    if (!device())
        return;
    writeHeader();
    if (!m_excluded.contains(index))
        writeItem(index);
    writeFooter();
}

void QmdPropertyListExporter::writeHeader()
{
    m_writer.setDevice(device());
    m_writer.setAutoFormatting(true);
    m_writer.writeStartDocument(QStringLiteral("1.0"));
    // The system identifier is only a name: nothing ever fetches it.
    m_writer.writeDTD(
        QStringLiteral("<!DOCTYPE plist PUBLIC \"-//Apple Computer//DTD PLIST 1.0//EN\" "
                       "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">"));
    m_writer.writeStartElement(QStringLiteral("plist"));
    m_writer.writeAttribute(QStringLiteral("version"), QStringLiteral("1.0"));
}

void QmdPropertyListExporter::writeItem(const QmdIndex &index)
{
    switch (containerType(index)) {
    case Qmd::IntDict:
        writeIntDict(children(index));
        break;
    case Qmd::StrDict:
        writeStrDict(children(index));
        break;
    case Qmd::NoContainer:
        writeValue(index);
        break;
    }
}

// The document is deliberately not ended: only the plist element is closed.
void QmdPropertyListExporter::writeFooter()
{
    m_writer.writeEndElement();
}

void QmdPropertyListExporter::writeIntDict(const QmdIndexList &children)
{
    writeDict(QStringLiteral("IntDict"), children);
}

void QmdPropertyListExporter::writeStrDict(const QmdIndexList &children)
{
    writeDict(QStringLiteral("StrDict"), children);
}

void QmdPropertyListExporter::writeValue(const QmdIndex &index)
{
    const QVariant value = data(index);
    switch (value.typeId()) {
    case QMetaType::Bool:
        m_writer.writeEmptyElement(value.toBool() ? QStringLiteral("true")
                                                  : QStringLiteral("false"));
        break;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        writeTextElement(QStringLiteral("integer"), value.toString());
        break;
    case QMetaType::Double:
        writeTextElement(QStringLiteral("real"), value.toString());
        break;
    default:
        // Signed 64-bit values land here too: readers of the format take
        // "integer" as 32-bit, so the text form keeps them intact.
        writeTextElement(QStringLiteral("string"), value.toString());
        break;
    }
}

void QmdPropertyListExporter::writeDict(const QString &kindName, const QmdIndexList &children)
{
    m_writer.writeStartElement(QStringLiteral("dict"));
    m_writer.writeTextElement(QStringLiteral("key"), QStringLiteral("ContainerType"));
    m_writer.writeTextElement(QStringLiteral("string"), kindName);
    for (const QmdIndex &child : children) {
        if (m_excluded.contains(child))
            continue;
        writeTextElement(QStringLiteral("key"),
                         child.id() != 0 ? QString::number(child.id()) : child.key());
        writeItem(child);
    }
    m_writer.writeEndElement();
}

// A reader turns every carriage return written as it is into a line feed, as
// XML wants; one written as a character reference it keeps.
void QmdPropertyListExporter::writeTextElement(const QString &name, const QString &text)
{
    if (!text.contains(QLatin1Char('\r'))) {
        m_writer.writeTextElement(name, text);
        return;
    }
    m_writer.writeStartElement(name);
    const QStringList lines = text.split(QLatin1Char('\r'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0)
            m_writer.writeEntityReference(QStringLiteral("#13"));
        if (!lines.at(i).isEmpty())
            m_writer.writeCharacters(lines.at(i));
    }
    m_writer.writeEndElement();
}
