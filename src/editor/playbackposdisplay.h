#pragma once

#include <QColor>
#include <QPixmap>
#include <QString>
#include <QVector>
#include <QWidget>

// The playback position as an LCD shows it: each character a cell cut from
// a strip of lit characters or from one of dim ones, over "0123456789,.:".
// The zeros that lead a number before its first significant digit are dim,
// so that the eye finds where the position stands.
//
// The texts it shows come from the pure functions below, one per mode:
// times as hours, minutes, seconds and milliseconds; principals and beats
// counted from 0, with a thousands separator, then the division or MIDI
// clock pulse within them.
//
// GUI thread only.
class PlaybackPosDisplay : public QWidget
{
    Q_OBJECT

public:
    // The values of the document's "PlaybackPosDisplayMode".
    enum Mode { Time = 0, Principals = 1, Beats = 2, ModeCount };

    static constexpr int CellWidth = 12;
    static constexpr int CellHeight = 20;
    static constexpr int Margin = 3;
    // What the strips hold, cell by cell.
    static const QString Characters;

    // "h:mm:ss.mmm" for a time in nanoseconds (negative times show as 0).
    static QString timeText(qint64 ns);
    // Whole principals, then the division within the principal, for a grid
    // position in ticks and a grid of that many divisions a principal.
    static QString principalsText(qint64 ticks, qint64 divisionsPerPrincipal);
    // Whole beats, then the MIDI clock pulse (24 a beat) within the beat,
    // for a position in beat ticks.
    static QString beatsText(qint64 beatTicks);
    // How many characters at the start of text show dim: the zeros and
    // separators before the first significant digit, never the units digit.
    static int dimPrefixLength(const QString &text);

    explicit PlaybackPosDisplay(QWidget *parent = nullptr);

    QString text() const { return m_text; }
    // Characters outside the strips' set are left out.
    void setText(const QString &text);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_text;
    QVector<QPixmap> m_solid;
    QVector<QPixmap> m_dim;
    QColor m_background{0x0d, 0x17, 0x0d};
};
