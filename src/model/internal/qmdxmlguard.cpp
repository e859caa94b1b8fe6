#include "qmdxmlguard.h"

#include <QStringDecoder>

namespace {

constexpr QByteArrayView Utf8ByteOrderMark("\xef\xbb\xbf");

// The same walk over UTF-8 bytes and over decoded text: every character it
// looks for is ASCII, and in UTF-8 an ASCII byte is never part of another
// character.
char16_t unit(char c)
{
    return char16_t(uchar(c));
}

char16_t unit(QChar c)
{
    return c.unicode();
}

qsizetype find(QByteArrayView text, const char *needle, qsizetype from)
{
    return text.indexOf(QByteArrayView(needle), from);
}

qsizetype find(QStringView text, const char *needle, qsizetype from)
{
    return text.indexOf(QLatin1StringView(needle), from);
}

template <class Text> bool startsAt(Text text, qsizetype pos, const char *literal)
{
    for (qsizetype i = 0; literal[i]; ++i) {
        if (pos + i >= text.size() || unit(text[pos + i]) != char16_t(literal[i]))
            return false;
    }
    return true;
}

// The position just past terminator, from from on; -1 when it never comes.
template <class Text> qsizetype skipPast(Text text, qsizetype from, const char *terminator)
{
    const qsizetype found = find(text, terminator, from);
    return found < 0 ? -1 : found + qsizetype(qstrlen(terminator));
}

// UTF-8, UTF-16, UTF-32 and their spellings.
bool isUtfName(QByteArrayView name)
{
    return name.size() >= 3 && qstrnicmp(name.data(), 3, "UTF", 3) == 0;
}

} // namespace

bool QmdXmlGuard::screen(const QByteArray &data)
{
    m_errorLine = m_errorColumn = 0;
    m_errorMessage.clear();
    m_text.clear();
    m_data = data;
    m_utf8 = false;
    // A byte order mark or the pattern of wider units around the first '<'
    // decides; without either, the declaration does.
    const std::optional<QStringConverter::Encoding> detected =
        QStringConverter::encodingForData(data, u'<');
    if (!detected) {
        const Declared declared = declaredEncoding(data);
        if (!declared.name.isEmpty() && !isUtfName(declared.name))
            return screenDeclared(data, declared);
    }
    const auto encoding = detected.value_or(QStringConverter::Utf8);
    m_utf8 = encoding == QStringConverter::Utf8 && data.isValidUtf8();
    if (m_utf8) {
        // The decoder leaves a byte order mark out of the text.
        if (m_data.startsWith(Utf8ByteOrderMark))
            m_data = m_data.sliced(Utf8ByteOrderMark.size());
        return scanMarkup(m_data);
    }
    // Stateless, so that a sequence cut off at the end counts as an error.
    QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
    return decode(decoder, data) && scanMarkup(QStringView(m_text));
}

// The encoding named in the XML declaration, which comes first in the file
// if at all; none when there is no declaration or it names none.
QmdXmlGuard::Declared QmdXmlGuard::declaredEncoding(QByteArrayView data)
{
    if (!data.startsWith("<?xml"))
        return {};
    const qsizetype end = data.indexOf("?>");
    if (end < 0)
        return {};
    const QByteArrayView declaration = data.first(end);
    const qsizetype at = declaration.indexOf("encoding");
    if (at < 0)
        return {};
    qsizetype i = at + 8;
    const auto skipBlanks = [&] {
        while (i < declaration.size() && QByteArrayView(" \t\r\n").contains(declaration[i]))
            ++i;
    };
    skipBlanks();
    if (i >= declaration.size() || declaration[i] != '=')
        return {};
    ++i;
    skipBlanks();
    if (i >= declaration.size() || (declaration[i] != '"' && declaration[i] != '\''))
        return {};
    const qsizetype close = declaration.indexOf(declaration[i], i + 1);
    if (close < 0)
        return {};
    return {data.first(end + 2), declaration.sliced(i + 1, close - i - 1).toByteArray(), i + 1};
}

// A file in the encoding its declaration names, which Qt or ICU must know.
// The declaration itself is ASCII: an encoding that writes it otherwise (as
// EBCDIC does) contradicts it, and the file is refused rather than read as
// something else.
bool QmdXmlGuard::screenDeclared(const QByteArray &data, const Declared &declared)
{
    QStringDecoder decoder(declared.name.constData(), QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        return refuseUtf8(
            declared.nameOffset,
            tr("The file's encoding %1 is not known.").arg(QString::fromLatin1(declared.name)));
    if (!decode(decoder, data))
        return false;
    if (!m_text.startsWith(QLatin1StringView(declared.declaration)))
        return refuseUtf8(declared.nameOffset,
                          tr("The file is not written in its declared encoding %1.")
                              .arg(QString::fromLatin1(declared.name)));
    return scanMarkup(QStringView(m_text));
}

bool QmdXmlGuard::decode(QStringDecoder &decoder, const QByteArray &data)
{
    m_text = decoder.decode(data);
    if (decoder.hasError())
        return refuseDecoded(m_text.indexOf(QChar::ReplacementCharacter),
                             tr("Encountered incorrectly encoded content."));
    return true;
}

// Walks from one '<' to the next. Only constructs that may hold a '<' or a
// '>' of their own are told apart: comments, CDATA sections, processing
// instructions, and quoted values inside tags and declarations. This is exact
// for every well-formed prefix of a document, which is all that matters: the
// parser stops at the first error.
template <class Text> bool QmdXmlGuard::scanMarkup(Text text)
{
    const auto refuse = [this](qsizetype offset, const QString &message) {
        return m_utf8 ? refuseUtf8(offset, message) : refuseDecoded(offset, message);
    };
    int depth = 0;
    qsizetype pos = find(text, "<", 0);
    while (pos >= 0) {
        qsizetype end = -1;
        if (startsAt(text, pos, "<!--")) {
            end = skipPast(text, pos + 4, "-->");
        } else if (startsAt(text, pos, "<![CDATA[")) {
            end = skipPast(text, pos + 9, "]]>");
        } else if (startsAt(text, pos, "<?")) {
            end = skipPast(text, pos + 2, "?>");
        } else if (startsAt(text, pos, "</")) {
            --depth;
            end = skipPast(text, pos + 2, ">");
        } else {
            const bool declaration = startsAt(text, pos, "<!");
            char16_t quote = 0;
            int equalSigns = 0;
            qsizetype i = pos + 1;
            for (; i < text.size() && (quote || unit(text[i]) != u'>'); ++i) {
                const char16_t c = unit(text[i]);
                if (quote) {
                    if (c == quote)
                        quote = 0;
                } else if (c == u'"' || c == u'\'') {
                    quote = c;
                } else if (c == u'=') {
                    ++equalSigns;
                } else if (c == u'[' && declaration) {
                    return refuse(pos, tr("Declarations inside the document type are not "
                                          "accepted."));
                }
            }
            if (equalSigns > MaxAttributes)
                return refuse(pos,
                              tr("An element has more than %1 attributes.").arg(MaxAttributes));
            if (i < text.size()) {
                end = i + 1;
                if (!declaration && unit(text[i - 1]) != u'/' && ++depth > MaxDepth)
                    return refuse(
                        pos, tr("Elements are nested more than %1 levels deep.").arg(MaxDepth));
            }
        }
        // Whatever is left unterminated, the parser reports.
        if (end < 0)
            break;
        pos = find(text, "<", end);
    }
    return true;
}

bool QmdXmlGuard::refuseDecoded(qsizetype offset, const QString &message)
{
    if (offset < 0)
        offset = m_text.size();
    const QStringView before = QStringView(m_text).first(offset);
    m_errorLine = int(before.count(u'\n')) + 1;
    m_errorColumn = int(offset - before.lastIndexOf(u'\n'));
    m_errorMessage = message;
    return false;
}

// The position counted as in the decoded text: lines by their line feeds,
// columns in UTF-16 code units.
bool QmdXmlGuard::refuseUtf8(qsizetype offset, const QString &message)
{
    const QByteArrayView before = m_data.first(offset);
    const qsizetype lineStart = before.lastIndexOf('\n') + 1;
    m_errorLine = int(before.count('\n')) + 1;
    m_errorColumn = int(QString::fromUtf8(before.sliced(lineStart)).size()) + 1;
    m_errorMessage = message;
    return false;
}
