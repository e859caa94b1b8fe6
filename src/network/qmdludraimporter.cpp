#include "qmdludraimporter.h"

#include "qmdludra.h"

#include <QBitArray>
#include <QColor>

// The key is looked at before the tree: most values are none of these, and
// asking where an item stands costs more than comparing its key.
QVariant QmdLudraImporter::readValue(const QString &tag, const QString &text, const QmdIndex &index)
{
    const QmdModel *m = model();
    if (!m || tag != QLatin1String("string"))
        return QmdPropertyListImporter::readValue(tag, text, index);
    const QString &key = index.key();
    if (key.startsWith(QLatin1String("Style")) && key.endsWith(QLatin1String("Color")) &&
        QmdLudra::isStyleColor(*m, index))
        return QmdLudra::styleColorFromText(text);
    // A colour, as the document holds it when an instrument is made: read
    // as text, an unchanged colour would compare as a change.
    if (QmdLudra::isInstrumentColor(*m, index)) {
        if (const QColor color = QColor::fromString(text); color.isValid())
            return color;
    }
    const bool elementKey = key == QLatin1String("Type") || key == QLatin1String("Path") ||
                            key == QLatin1String("SignallingMethod") ||
                            key == QLatin1String("TickPos");
    if (elementKey && QmdLudra::isElementField(*m, index)) {
        if (key == QLatin1String("Type"))
            return QmdLudra::elementTypeFromName(text);
        if (key == QLatin1String("Path"))
            return QmdLudra::edgePathFromName(text);
        if (key == QLatin1String("SignallingMethod"))
            return QmdLudra::signallingMethodFromName(text);
        QmdLudra::TickPos pos;
        if (QmdLudra::tickPosFromText(text, &pos))
            return QVariant::fromValue(pos);
        return QmdPropertyListImporter::readValue(tag, text, index);
    }
    QBitArray bits;
    if (key == QLatin1String("MidiChannels") && QmdLudra::bitArrayFromText(text, &bits))
        return bits;
    return QmdPropertyListImporter::readValue(tag, text, index);
}
