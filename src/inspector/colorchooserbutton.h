#pragma once

#include <QColor>
#include <QToolButton>

class QColorDialog;

// A button showing a colour swatch; clicking it opens a colour dialog (not
// modal to the application, so playback and the network stay usable) and
// the colour chosen there is emitted as colorChanged(). Setting the colour
// emits nothing. With ignoreAlpha the dialog offers no alpha channel.
//
// GUI thread only.
class ColorChooserButton : public QToolButton
{
    Q_OBJECT
    Q_PROPERTY(QColor color READ color WRITE setColor)
    Q_PROPERTY(bool ignoreAlpha READ ignoreAlpha WRITE setIgnoreAlpha)

public:
    explicit ColorChooserButton(QWidget *parent = nullptr);

    QColor color() const { return m_color; }
    bool ignoreAlpha() const { return m_ignoreAlpha; }
    // The dialog while it is open.
    QColorDialog *dialog() const;

Q_SIGNALS:
    void colorChanged(const QColor &color);

public Q_SLOTS:
    void setColor(const QColor &color);
    void setIgnoreAlpha(bool ignore);
    void onClicked();

private:
    void onColorSelected(const QColor &color);
    void updateSwatch();

    QColor m_color;
    bool m_ignoreAlpha = false;
};
