#pragma once

#include "qmdindex.h"

#include <QBitArray>
#include <QColor>
#include <QDebug>
#include <QHash>
#include <QMetaType>
#include <QString>
#include <QVariant>
#include <QtGlobal>

// Units, element kinds and encodings shared by everything that reads or
// writes a network document.
namespace QmdLudra {

// One principal (one grid cell) in ticks, on both axes. The number divides
// evenly by every small division count a user is likely to pick.
constexpr qint64 TicksPerPrincipal = 665280;

// A grid position: x is time along the grid, y vertical placement.
struct TickPos
{
    qint64 x = 0;
    qint64 y = 0;

    friend bool operator==(const TickPos &a, const TickPos &b) { return a.x == b.x && a.y == b.y; }
    friend bool operator!=(const TickPos &a, const TickPos &b) { return !(a == b); }
    friend TickPos operator+(const TickPos &a, const TickPos &b) { return {a.x + b.x, a.y + b.y}; }
    friend TickPos operator-(const TickPos &a, const TickPos &b) { return {a.x - b.x, a.y - b.y}; }
};

// The "Type" of an element record.
enum ElementType : uint { NoElement = 0, Edge = 1, Node = 2, TextBox = 3, VoiceGroup = 4 };

// The route an edge takes between its nodes ("Path").
enum EdgePath : int { CityBlock = 0, CityBlockFlipped = 1, Direct = 2 };

// How play leaves a node ("SignallingMethod").
enum SignallingMethod : int { Sequential = 0, Parallel = 1, Random = 2 };

// Record keys that several readers and writers of a document share.
inline const QString ElementsKey = QStringLiteral("Elements");
inline const QString TypeKey = QStringLiteral("Type");
inline const QString TickPosKey = QStringLiteral("TickPos");
inline const QString FromNodeKey = QStringLiteral("FromNode");
inline const QString ToNodeKey = QStringLiteral("ToNode");
inline const QString ArcIdentifiersKey = QStringLiteral("ArcIdentifiers");
inline const QString ArcUsageListKey = QStringLiteral("ArcUsageList");

// Names written in files, and the names (lower case, older ones included)
// accepted when reading. Unknown numbers give the empty text, unknown names 0.
QString elementTypeName(uint type);
uint elementTypeFromName(const QString &name);
QString edgePathName(int path);
int edgePathFromName(const QString &name);
QString signallingMethodName(int method);
int signallingMethodFromName(const QString &name);

// "{x, y}" with signed decimal numbers, and back. Only the exact form is
// accepted: no space inside the braces, an optional space after the comma.
QString tickPosToText(const TickPos &pos);
bool tickPosFromText(const QString &text, TickPos *pos);

// A style colour as "#rrggbb" followed by its alpha as two hexadecimal
// digits, all lower case, and back; missing or bad alpha digits read as 0.
QString styleColorToText(const QColor &color);
QColor styleColorFromText(const QString &text);

// One "1" or "0" per bit, bit 0 first, and back. Only a text made of "0" and
// "1" alone is a bit array.
QString bitArrayToText(const QBitArray &bits);
bool bitArrayFromText(const QString &text, QBitArray *bits);

// Where a value stands decides how the network files write it: the fields of
// element records (the items of the records held by "Elements") and the style
// colours (root keys "Style...Color").
bool isElementField(const QmdModel &model, const QmdIndex &index);
bool isStyleColor(const QmdModel &model, const QmdIndex &index);
// The "Color" of an instrument record (an item of "Instruments").
bool isInstrumentColor(const QmdModel &model, const QmdIndex &index);

// Length in ticks of an edge from a to b along the given path: city-block
// distance for both city-block paths, the rounded straight distance for the
// direct path, 0 for anything else. ok is false when the direct distance
// does not fit in 64 bits.
qint64 edgeLength(int path, const TickPos &a, const TickPos &b, bool *ok = nullptr);

// The run-time state record an element of the kind starts from, as a play
// from the start finds it; empty for kinds without one (text boxes and voice
// groups).
QHash<QString, QVariant> initialElementState(uint type);

} // namespace QmdLudra

QDebug operator<<(QDebug debug, const QmdLudra::TickPos &pos);

Q_DECLARE_METATYPE(QmdLudra::TickPos)
