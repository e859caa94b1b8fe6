#include "qmdludraimporter.h"

#include "qmdludra.h"

#include <QBitArray>
#include <QColor>

QVariant QmdLudraImporter::readValue(const QString &tag, const QString &text, const QmdIndex &index)
{
    const QmdModel *m = model();
    if (!m || tag != QLatin1String("string"))
        return QmdPropertyListImporter::readValue(tag, text, index);
    const QString &key = index.key();
    if (QmdLudra::isStyleColor(*m, index))
        return QmdLudra::styleColorFromText(text);
    // A colour, as the document holds it when an instrument is made: read
    // as text, an unchanged colour would compare as a change.
    if (QmdLudra::isInstrumentColor(*m, index)) {
        if (const QColor color = QColor::fromString(text); color.isValid())
            return color;
    }
    if (QmdLudra::isElementField(*m, index)) {
        if (key == QLatin1String("Type"))
            return QmdLudra::elementTypeFromName(text);
        if (key == QLatin1String("Path"))
            return QmdLudra::edgePathFromName(text);
        if (key == QLatin1String("SignallingMethod"))
            return QmdLudra::signallingMethodFromName(text);
        if (key == QLatin1String("TickPos")) {
            QmdLudra::TickPos pos;
            if (QmdLudra::tickPosFromText(text, &pos))
                return QVariant::fromValue(pos);
            return QmdPropertyListImporter::readValue(tag, text, index);
        }
    }
    QBitArray bits;
    if (key == QLatin1String("MidiChannels") && QmdLudra::bitArrayFromText(text, &bits))
        return bits;
    return QmdPropertyListImporter::readValue(tag, text, index);
}
