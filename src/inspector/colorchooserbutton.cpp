#include "colorchooserbutton.h"

#include <QColorDialog>
#include <QPainter>
#include <QPixmap>

ColorChooserButton::ColorChooserButton(QWidget *parent) : QToolButton(parent)
{
    setIconSize(QSize(36, 14));
    connect(this, &QToolButton::clicked, this, &ColorChooserButton::onClicked);
    updateSwatch();
}

QColorDialog *ColorChooserButton::dialog() const
{
    return findChild<QColorDialog *>(QString(), Qt::FindDirectChildrenOnly);
}

void ColorChooserButton::setColor(const QColor &color)
{
    if (color == m_color)
        return;
    m_color = color;
    updateSwatch();
}

void ColorChooserButton::setIgnoreAlpha(bool ignore)
{
    m_ignoreAlpha = ignore;
}

void ColorChooserButton::onClicked()
{
    if (QColorDialog *open = dialog()) {
        open->raise();
        open->activateWindow();
        return;
    }
    auto *chooser = new QColorDialog(m_color, this);
    chooser->setAttribute(Qt::WA_DeleteOnClose);
    chooser->setOption(QColorDialog::ShowAlphaChannel, !m_ignoreAlpha);
    chooser->setWindowTitle(toolTip().isEmpty() ? tr("Color") : toolTip());
    connect(chooser, &QColorDialog::colorSelected, this, &ColorChooserButton::onColorSelected);
    chooser->open();
}

void ColorChooserButton::onColorSelected(const QColor &color)
{
    QColor chosen = color;
    if (m_ignoreAlpha)
        chosen.setAlpha(m_color.isValid() ? m_color.alpha() : 255);
    setColor(chosen);
    Q_EMIT colorChanged(m_color);
}

void ColorChooserButton::updateSwatch()
{
    QPixmap swatch(iconSize());
    swatch.fill(Qt::transparent);
    QPainter painter(&swatch);
    // A checkerboard under the colour shows how transparent it is.
    const int cell = 4;
    for (int y = 0; y < swatch.height(); y += cell) {
        for (int x = 0; x < swatch.width(); x += cell)
            painter.fillRect(x, y, cell, cell, ((x + y) / cell) % 2 ? Qt::lightGray : Qt::white);
    }
    painter.fillRect(swatch.rect(), m_color.isValid() ? m_color : QColor(Qt::transparent));
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawRect(swatch.rect().adjusted(0, 0, -1, -1));
    painter.end();
    setIcon(QIcon(swatch));
}
