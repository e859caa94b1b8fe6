#include "playbackgraph.h"

#include <QStringView>

#include <algorithm>
#include <cmath>

namespace {

constexpr qint64 TicksPerPrincipal = 665280;

// Views into the list: a document's lists are parsed for every element
// when it loads, and a copy of each entry would cost an allocation.
QList<QStringView> entries(QStringView list)
{
    return list.split(QLatin1Char(','), Qt::SkipEmptyParts);
}

bool isRelative(QStringView entry)
{
    return entry.startsWith(QLatin1Char('+')) || entry.startsWith(QLatin1Char('-'));
}

double number(QStringView text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok ? value : 0.0;
}

} // namespace

QList<PlaybackGraph::Step> PlaybackGraph::pitchSteps(const QString &list)
{
    QList<Step> steps;
    for (const QStringView entry : entries(list)) {
        if (isRelative(entry))
            steps.append({true, entry.toInt()});
        else
            steps.append({false, noteNumber(entry)});
    }
    return steps;
}

QList<PlaybackGraph::Step> PlaybackGraph::velocitySteps(const QString &list)
{
    QList<Step> steps;
    for (const QStringView entry : entries(list))
        steps.append({isRelative(entry), entry.toInt()});
    return steps;
}

QList<PlaybackGraph::Duration> PlaybackGraph::durations(const QString &list)
{
    QList<Duration> result;
    for (QStringView text : entries(list)) {
        Duration duration;
        if (text.endsWith(QLatin1Char('%'))) {
            duration.percent = true;
            text.chop(1);
        }
        const QChar sign = text.isEmpty() ? QChar() : text.at(0);
        if (sign == QLatin1Char('*') || sign == QLatin1Char('/')) {
            duration.op = sign == QLatin1Char('*') ? Duration::Multiply : Duration::Divide;
            duration.value = number(text.mid(1));
        } else {
            duration.op = sign == QLatin1Char('+') || sign == QLatin1Char('-') ? Duration::Add
                                                                               : Duration::Set;
            duration.value = number(text);
        }
        result.append(duration);
    }
    return result;
}

QList<QByteArray> PlaybackGraph::userMessages(const QString &list)
{
    QList<QByteArray> messages;
    for (const QStringView entry : entries(list)) {
        QByteArray bytes;
        for (const QStringView token : entry.split(QLatin1Char(' '))) {
            bool ok = false;
            const uint value = token.toUInt(&ok, 16);
            bytes.append(char(ok ? value & 0xFF : 0));
        }
        messages.append(bytes);
    }
    return messages;
}

QList<PlaybackGraph::Usage> PlaybackGraph::usage(const QString &list)
{
    QList<Usage> fields;
    for (const QStringView field : QStringView(list).split(QLatin1Char(','))) {
        Usage entry;
        if (!field.isEmpty()) {
            const qsizetype equals = field.indexOf(QLatin1Char('='));
            entry.empty = false;
            entry.edge = field.left(equals).toUInt();
            entry.count = equals < 0 ? 0 : field.mid(equals + 1).toInt();
        }
        fields.append(entry);
    }
    return fields;
}

quint8 PlaybackGraph::noteNumber(QStringView name)
{
    qsizetype at = 0;
    while (at < name.size() && name.at(at) != QLatin1Char('-') &&
           !(name.at(at) >= QLatin1Char('0') && name.at(at) <= QLatin1Char('8')))
        ++at;
    if (at < 1 || at >= name.size())
        return 0;
    qsizetype end = at + 1;
    while (end < name.size() && name.at(end).isDigit())
        ++end;
    const int octave = name.mid(at, end - at).toInt();
    int semitone = 0;
    switch (name.at(0).unicode()) {
    case 'A':
        semitone = 9;
        break;
    case 'B':
        semitone = 11;
        break;
    case 'D':
        semitone = 2;
        break;
    case 'E':
        semitone = 4;
        break;
    case 'F':
        semitone = 5;
        break;
    case 'G':
        semitone = 7;
        break;
    default:
        break;
    }
    if (name.size() > 1 && name.at(1) == QLatin1Char('#'))
        ++semitone;
    // Any octave a text can name: the arithmetic is wide enough, and the
    // note number keeps its low 8 bits.
    return quint8((qint64(octave) + 2) * 12 + semitone);
}

qint64 PlaybackGraph::durationTicks(double principals)
{
    const double ticks = principals * TicksPerPrincipal;
    if (!(ticks > 0))
        return 0;
    return std::llround(std::min(ticks, double(MaxDuration)));
}
