#include "zoomcombobox.h"

#include <QSignalBlocker>

#include <cmath>

const QList<double> &ZoomComboBox::scales()
{
    static const QList<double> list = {0.25, 0.5, 0.75, 1.0, 1.25, 1.5, 2.0, 3.0, 4.0, 6.0, 8.0};
    return list;
}

ZoomComboBox::ZoomComboBox(QWidget *parent) : QComboBox(parent)
{
    setCurrentKey(1.0);
}

QString ZoomComboBox::label(double scale)
{
    return QStringLiteral("%1%").arg(std::lround(scale * 100));
}

double ZoomComboBox::currentKey() const
{
    return currentData().toDouble();
}

void ZoomComboBox::setCurrentKey(double scale)
{
    const QSignalBlocker blocker(this);
    clear();
    for (double entry : scales())
        addItem(label(entry), entry);
    if (!(scale > 0) || !std::isfinite(scale)) {
        setCurrentIndex(-1);
        return;
    }
    int at = 0;
    while (at < count() && itemData(at).toDouble() < scale)
        ++at;
    if (at == count() || itemData(at).toDouble() != scale)
        insertItem(at, label(scale), scale);
    setCurrentIndex(at);
}
