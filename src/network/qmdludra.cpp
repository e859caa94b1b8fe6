#include "qmdludra.h"

#include "qmdmodel.h"

#include <QRegularExpression>

#include <boost/math/policies/policy.hpp>
#include <boost/math/special_functions/round.hpp>

#include <cerrno>
#include <cmath>

namespace QmdLudra {

namespace {

struct Name
{
    int value;
    const char *written;
};

constexpr Name ElementTypeNames[] = {
    {Edge, "Edge"}, {Node, "Node"}, {TextBox, "TextBox"}, {VoiceGroup, "VoiceGroup"}};
constexpr Name EdgePathNames[] = {
    {CityBlock, "CityBlock"}, {CityBlockFlipped, "CityBlockFlipped"}, {Direct, "Direct"}};
constexpr Name SignallingNames[] = {
    {Sequential, "Sequential"}, {Parallel, "Parallel"}, {Random, "Random"}};

template <size_t N> QString nameOf(const Name (&table)[N], int value)
{
    for (const Name &n : table) {
        if (n.value == value)
            return QString::fromLatin1(n.written);
    }
    return QString();
}

template <size_t N> int valueOf(const Name (&table)[N], const QString &name)
{
    const QString lower = name.toLower();
    for (const Name &n : table) {
        if (lower == QLatin1String(n.written).toString().toLower())
            return n.value;
    }
    return 0;
}

// Rounds halves away from zero and reports, instead of throwing, a value that
// does not fit.
using ReportingPolicy = boost::math::policies::policy<
    boost::math::policies::rounding_error<boost::math::policies::errno_on_error>>;

} // namespace

QHash<QString, QVariant> initialElementState(uint type)
{
    switch (type) {
    case Edge:
        return {{QStringLiteral("CurrentScaleId"), 0}};
    case Node:
        return {{QStringLiteral("CurrentEdgeUsageId"), 0u},
                {QStringLiteral("CurrentEdgeUsageUses"), 0},
                {QStringLiteral("CurrentPitchId"), 0},
                {QStringLiteral("CurrentVelocityId"), 0},
                {QStringLiteral("CurrentDurationId"), 0},
                {QStringLiteral("CurrentUserMidiMessageId"), 0},
                {QStringLiteral("HitCount"), 0}};
    default:
        return {};
    }
}

QString elementTypeName(uint type)
{
    return nameOf(ElementTypeNames, int(type));
}

uint elementTypeFromName(const QString &name)
{
    const QString lower = name.toLower();
    // Older documents called edges arcs and voice groups players.
    if (lower == QLatin1String("arc"))
        return Edge;
    if (lower == QLatin1String("player"))
        return VoiceGroup;
    return uint(valueOf(ElementTypeNames, lower));
}

QString edgePathName(int path)
{
    return nameOf(EdgePathNames, path);
}

int edgePathFromName(const QString &name)
{
    return valueOf(EdgePathNames, name);
}

QString signallingMethodName(int method)
{
    return nameOf(SignallingNames, method);
}

int signallingMethodFromName(const QString &name)
{
    return valueOf(SignallingNames, name);
}

QString tickPosToText(const TickPos &pos)
{
    return QStringLiteral("{%1, %2}").arg(pos.x).arg(pos.y);
}

bool tickPosFromText(const QString &text, TickPos *pos)
{
    static const QRegularExpression pattern(QStringLiteral("^\\{([+-]?\\d+),\\s*([+-]?\\d+)\\}$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return false;
    bool okX = false;
    bool okY = false;
    const qint64 x = match.capturedView(1).toLongLong(&okX);
    const qint64 y = match.capturedView(2).toLongLong(&okY);
    if (!okX || !okY)
        return false;
    *pos = TickPos{x, y};
    return true;
}

QString styleColorToText(const QColor &color)
{
    return QStringLiteral("%1%2").arg(color.name()).arg(color.alpha(), 2, 16, QLatin1Char('0'));
}

QColor styleColorFromText(const QString &text)
{
    QColor color = QColor::fromString(QStringView(text).left(7));
    bool ok = false;
    const int alpha = QStringView(text).mid(7, 2).toInt(&ok, 16);
    color.setAlpha(ok ? alpha : 0);
    return color;
}

QString bitArrayToText(const QBitArray &bits)
{
    QString text(bits.size(), QLatin1Char('0'));
    for (qsizetype i = 0; i < bits.size(); ++i) {
        if (bits.testBit(i))
            text[i] = QLatin1Char('1');
    }
    return text;
}

bool bitArrayFromText(const QString &text, QBitArray *bits)
{
    static const QRegularExpression pattern(QStringLiteral("^[01]*$"));
    if (!pattern.match(text).hasMatch())
        return false;
    QBitArray result(text.size());
    for (qsizetype i = 0; i < text.size(); ++i)
        result.setBit(i, text.at(i) == QLatin1Char('1'));
    *bits = result;
    return true;
}

bool isElementField(const QmdModel &model, const QmdIndex &index)
{
    return model.parent(model.parent(index)).key() == QLatin1String("Elements");
}

bool isStyleColor(const QmdModel &model, const QmdIndex &index)
{
    static const QRegularExpression pattern(QStringLiteral("^Style.*Color$"));
    return !model.isValid(model.parent(index)) && pattern.match(index.key()).hasMatch();
}

bool isInstrumentColor(const QmdModel &model, const QmdIndex &index)
{
    return index.key() == QLatin1String("Color") &&
           model.parent(model.parent(index)).key() == QLatin1String("Instruments");
}

qint64 edgeLength(int path, const TickPos &a, const TickPos &b, bool *ok)
{
    if (ok)
        *ok = true;
    // Differences are formed in double: positions near the 64-bit limits
    // would overflow as integers.
    const double dx = double(b.x) - double(a.x);
    const double dy = double(b.y) - double(a.y);
    switch (path) {
    case CityBlock:
    case CityBlockFlipped: {
        const double length = std::fabs(dx) + std::fabs(dy);
        if (length >= 9.2e18) {
            if (ok)
                *ok = false;
            return 0;
        }
        return qint64(std::llabs(b.x - a.x) + std::llabs(b.y - a.y));
    }
    case Direct: {
        errno = 0;
        const long long length = boost::math::llround(std::hypot(dx, dy), ReportingPolicy());
        if (errno == ERANGE) {
            if (ok)
                *ok = false;
            return 0;
        }
        return length;
    }
    default:
        return 0;
    }
}

} // namespace QmdLudra

QDebug operator<<(QDebug debug, const QmdLudra::TickPos &pos)
{
    QDebugStateSaver saver(debug);
    debug.nospace() << "TickPos(" << pos.x << ", " << pos.y << ')';
    return debug;
}
