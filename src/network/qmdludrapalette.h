#pragma once

#include <QColor>
#include <QCoreApplication>
#include <QString>

// The eight named colours handed out to new instruments in this order, and
// by position to the outgoing edges of a node so that each edge of a node
// has a colour of its own.
class QmdLudraPalette
{
    Q_DECLARE_TR_FUNCTIONS(QmdLudraPalette)

public:
    static int size();
    // Black outside the palette.
    static QColor color(int position);
    // The translated name; empty outside the palette.
    static QString name(int position);
};
