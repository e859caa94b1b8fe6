#include "qmdludraexporter.h"

#include "qmdludra.h"

#include <QBitArray>
#include <QColor>

void QmdLudraExporter::writeValue(const QmdIndex &index)
{
    const QmdModel *m = model();
    if (!m) {
        QmdPropertyListExporter::writeValue(index);
        return;
    }
    const QVariant value = m->data(index);
    QString text;
    if (QmdLudra::isStyleColor(*m, index)) {
        text = QmdLudra::styleColorToText(value.value<QColor>());
    } else if (QmdLudra::isElementField(*m, index) && index.key() == QLatin1String("Type")) {
        text = QmdLudra::elementTypeName(value.toUInt());
    } else if (QmdLudra::isElementField(*m, index) && index.key() == QLatin1String("Path")) {
        text = QmdLudra::edgePathName(value.toInt());
    } else if (QmdLudra::isElementField(*m, index) &&
               index.key() == QLatin1String("SignallingMethod")) {
        text = QmdLudra::signallingMethodName(value.toInt());
    } else if (value.metaType() == QMetaType::fromType<QmdLudra::TickPos>()) {
        text = QmdLudra::tickPosToText(value.value<QmdLudra::TickPos>());
    } else if (value.metaType() == QMetaType::fromType<QColor>()) {
        // Opaque colours keep the short form; others their alpha too.
        const QColor color = value.value<QColor>();
        text = color.name(color.alpha() == 255 ? QColor::HexRgb : QColor::HexArgb);
    } else if (value.metaType() == QMetaType::fromType<QBitArray>()) {
        text = QmdLudra::bitArrayToText(value.toBitArray());
    } else {
        QmdPropertyListExporter::writeValue(index);
        return;
    }
    writer().writeTextElement(QStringLiteral("string"), text);
}
