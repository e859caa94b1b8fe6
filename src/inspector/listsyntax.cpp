#include "listsyntax.h"

#include "consoleinstrument.h"

// Written out whole, as they are documented, rather than assembled: each
// one can be read and compared at a glance.
QString ListSyntax::pattern(Kind kind)
{
    switch (kind) {
    case PitchList:
        return QStringLiteral(
            R"(|((((([ACDFG]#?)|[EB])((-[12])|[0-8]))|([+-](([0-9]{1,2})|(1[01][0-9])|(12[0-7]))))(,(((([ACDFG]#?)|[EB])((-[12])|[0-8]))|([+-](([0-9]{1,2})|(1[01][0-9])|(12[0-7])))))*))");
    case VelocityList:
        return QStringLiteral(
            R"(|(([+-]?(([0-9]{1,2})|(1[01][0-9])|(12[0-7])))(,([+-]?(([0-9]{1,2})|(1[01][0-9])|(12[0-7]))))*))");
    case DurationList:
        return QStringLiteral(
            R"(|((([*/+-]?([0-9]{0,4}\.)?[0-9]{1,4})|([+-]?([0-9]{0,4}\.)?[0-9]{1,4}%))(,(([*/+-]?([0-9]{0,4}\.)?[0-9]{1,4})|([+-]?([0-9]{0,4}\.)?[0-9]{1,4}%)))*))");
    case UserMidiMessageList:
        return QStringLiteral(
            R"(|(|((0x([0-9]|[a-f]){1,2})(\s(0x([0-9]|[a-f]){1,2}))*)(,|((0x([0-9]|[a-f]){1,2})(\s(0x([0-9]|[a-f]){1,2}))*))*))");
    case ScaleList:
        return QStringLiteral(
            R"(|(([0-9]{0,4}(/[1-9][0-9]{0,3})?)(,([0-9]{0,4}(/[1-9][0-9]{0,3})?))*))");
    case SinglePitch:
        return QStringLiteral(R"(((([ACDFG]#?)|[EB])((-[12])|[0-8])))");
    case SingleVelocity:
        return QStringLiteral(R"((([0-9]{1,2})|(1[01][0-9])|(12[0-7])))");
    case SingleDuration:
        return QStringLiteral(R"(([0-9]{0,4}\.)?[0-9]{1,4})");
    }
    return QString();
}

ListSyntax::LetterCase ListSyntax::letterCase(Kind kind)
{
    switch (kind) {
    case PitchList:
    case SinglePitch:
        return UpperCase;
    case UserMidiMessageList:
        return LowerCase;
    default:
        return KeepCase;
    }
}

bool ListSyntax::isList(Kind kind)
{
    return kind <= ScaleList;
}

QString ListSyntax::midiEntry(Kind kind, const QByteArray &message)
{
    if (kind == UserMidiMessageList) {
        QStringList bytes;
        for (char byte : message)
            bytes.append(QStringLiteral("0x%1").arg(uint(quint8(byte)), 0, 16));
        return bytes.join(QLatin1Char(' '));
    }
    const bool noteOn =
        message.size() == 3 && quint8(message.at(0)) == 0x90 && quint8(message.at(2)) != 0;
    if (!noteOn)
        return QString();
    switch (kind) {
    case PitchList:
    case SinglePitch:
        return QString::fromLatin1(ConsoleInstrument::noteName(quint8(message.at(1)) & 0x7F));
    case VelocityList:
    case SingleVelocity:
        return QString::number(quint8(message.at(2)) & 0x7F);
    default:
        return QString();
    }
}

QString ListSyntax::separatedEntry(const QString &text, int from, int to, const QString &entry)
{
    const QLatin1Char comma(',');
    QString typed = entry;
    if (from > 0 && text.at(from - 1) != comma)
        typed.prepend(comma);
    if (to < text.size() && text.at(to) != comma)
        typed.append(comma);
    return typed;
}
