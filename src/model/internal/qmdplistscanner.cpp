#include "qmdplistscanner.h"

#include "qmdxmlguard.h"

#include <array>
#include <utility>

namespace {

constexpr QByteArrayView ByteOrderMark("\xef\xbb\xbf");
// What QXmlStreamWriter writes, and the shortest declaration there is.
constexpr QByteArrayView Declarations[] = {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
                                           "<?xml version=\"1.0\"?>"};
constexpr QByteArrayView DocumentType =
    "<!DOCTYPE plist PUBLIC \"-//Apple Computer//DTD PLIST 1.0//EN\" "
    "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">";
constexpr QByteArrayView VersionAttribute = " version=\"1.0\"";
const std::pair<QByteArrayView, QString> KnownNames[] = {
    {"key", QStringLiteral("key")},     {"string", QStringLiteral("string")},
    {"dict", QStringLiteral("dict")},   {"integer", QStringLiteral("integer")},
    {"real", QStringLiteral("real")},   {"true", QStringLiteral("true")},
    {"false", QStringLiteral("false")}, {"plist", QStringLiteral("plist")},
    {"array", QStringLiteral("array")}, {"data", QStringLiteral("data")},
    {"date", QStringLiteral("date")}};

// How readText() takes each byte: most are plain, and only the special ones
// need a closer look.
enum ByteClass : quint8 { Plain, Blank, NonAscii, Special };
constexpr auto ByteClasses = [] {
    std::array<ByteClass, 256> classes{};
    for (int c = 0; c < 0x20; ++c)
        classes[c] = Special;
    classes['\t'] = classes['\n'] = classes[' '] = Blank;
    classes['<'] = classes['&'] = classes[']'] = Special;
    for (int c = 0x80; c < 0x100; ++c)
        classes[c] = NonAscii;
    // The first byte of U+FFFE and U+FFFF.
    classes[0xef] = Special;
    return classes;
}();

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n';
}

bool isNameStart(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

bool isNameChar(char c)
{
    return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

// The characters XML allows.
bool isXmlChar(char32_t c)
{
    return c == 0x9 || c == 0xa || c == 0xd || (c >= 0x20 && c <= 0xd7ff) ||
           (c >= 0xe000 && c <= 0xfffd) || (c >= 0x10000 && c <= 0x10ffff);
}

} // namespace

QmdPlistScanner::QmdPlistScanner(QByteArrayView utf8) : m_data(utf8) {}

QmdXmlToken &QmdPlistScanner::next()
{
    if (m_stage == Stage::Done)
        return m_token;
    const bool afterStart = std::exchange(m_afterStart, false);
    m_token.hasVersion = false;
    m_token.version.clear();
    if (m_pendingEnd) {
        m_pendingEnd = false;
        m_token.type = QmdXmlToken::EndElement;
        m_open.removeLast();
        if (m_open.isEmpty())
            m_stage = Stage::Epilog;
        return m_token;
    }
    if (m_stage == Stage::Prolog) {
        if (!readProlog())
            return unsupported();
        m_stage = Stage::Content;
    }
    if (m_stage == Stage::Epilog) {
        skipBlanks();
        if (m_pos < m_data.size())
            return unsupported();
        m_stage = Stage::Done;
        m_token.type = QmdXmlToken::EndOfDocument;
        return m_token;
    }
    // Runs of blanks between elements are passed over, as the reader would
    // drop them: most of a written file is such runs, its indentation. Only
    // an element whose whole content is blanks holds them as its text.
    qsizetype blanks = m_pos;
    while (blanks < m_data.size() && isBlank(m_data[blanks]))
        ++blanks;
    if (blanks < m_data.size() && m_data[blanks] == '<') {
        if (afterStart && blanks > m_pos && blanks + 1 < m_data.size() &&
            m_data[blanks + 1] == '/') {
            m_token.type = QmdXmlToken::Characters;
            m_token.text = QString::fromLatin1(m_data.sliced(m_pos, blanks - m_pos));
            m_pos = blanks;
            return m_token;
        }
        m_pos = blanks;
    }
    while (m_pos < m_data.size()) {
        if (m_data[m_pos] == '<')
            return readMarkup() ? m_token : unsupported();
        if (m_open.isEmpty())
            return unsupported();
        if (!readText())
            return unsupported();
        if (m_token.type == QmdXmlToken::Characters)
            return m_token;
    }
    return unsupported();
}

bool QmdPlistScanner::readProlog()
{
    if (startsWith(ByteOrderMark))
        m_pos += ByteOrderMark.size();
    if (startsWith("<?xml")) {
        bool known = false;
        for (QByteArrayView declaration : Declarations) {
            if (startsWith(declaration)) {
                m_pos += declaration.size();
                known = true;
                break;
            }
        }
        if (!known)
            return false;
    }
    skipBlanks();
    if (startsWith("<!")) {
        if (!startsWith(DocumentType))
            return false;
        m_pos += DocumentType.size();
        skipBlanks();
    }
    return m_pos + 1 < m_data.size() && m_data[m_pos] == '<' && isNameStart(m_data[m_pos + 1]);
}

bool QmdPlistScanner::readMarkup()
{
    const bool end = m_pos + 1 < m_data.size() && m_data[m_pos + 1] == '/';
    qsizetype at = m_pos + (end ? 2 : 1);
    const qsizetype nameStart = at;
    if (at >= m_data.size() || !isNameStart(m_data[at]))
        return false;
    while (at < m_data.size() && isNameChar(m_data[at]))
        ++at;
    const QByteArrayView name = m_data.sliced(nameStart, at - nameStart);
    if (end) {
        if (at >= m_data.size() || m_data[at] != '>' || m_open.isEmpty() || m_open.last() != name)
            return false;
        m_pos = at + 1;
        m_token.type = QmdXmlToken::EndElement;
        m_token.name = nameFor(name);
        m_open.removeLast();
        if (m_open.isEmpty())
            m_stage = Stage::Epilog;
        return true;
    }
    if (m_open.isEmpty() && m_data.sliced(at).startsWith(VersionAttribute)) {
        at += VersionAttribute.size();
        m_token.hasVersion = true;
        m_token.version = QStringLiteral("1.0");
    }
    if (at < m_data.size() && m_data[at] == '>') {
        // The guard's limit, which the general reader would report.
        if (m_open.size() >= QmdXmlGuard::MaxDepth)
            return false;
        m_pos = at + 1;
        m_afterStart = true;
    } else if (at + 1 < m_data.size() && m_data[at] == '/' && m_data[at + 1] == '>') {
        m_pos = at + 2;
        m_pendingEnd = true;
    } else {
        return false;
    }
    m_token.type = QmdXmlToken::StartElement;
    m_token.name = nameFor(name);
    m_open.append(name);
    return true;
}

// One run of character data up to the next '<'. Leaves the token alone
// (not Characters) when the run is blanks only.
bool QmdPlistScanner::readText()
{
    const char *const data = m_data.data();
    const qsizetype size = m_data.size();
    const qsizetype start = m_pos;
    bool blank = true;
    bool ascii = true;
    bool references = false;
    qsizetype at = m_pos;
    for (; at < size; ++at) {
        const uchar c = uchar(data[at]);
        switch (ByteClasses[c]) {
        case Plain:
            blank = false;
            continue;
        case Blank:
            continue;
        case NonAscii:
            blank = false;
            ascii = false;
            continue;
        default:
            break;
        }
        if (c == '<')
            break;
        // Carriage returns would need the reader's line-end handling.
        if (c < 0x20)
            return false;
        blank = false;
        if (c == '&') {
            references = true;
        } else if (c == ']') {
            if (m_data.sliced(at).startsWith("]]>"))
                return false;
        } else {
            // U+FFFE and U+FFFF are no XML characters.
            ascii = false;
            if (at + 2 < size && uchar(data[at + 1]) == 0xbf &&
                (uchar(data[at + 2]) == 0xbe || uchar(data[at + 2]) == 0xbf))
                return false;
        }
    }
    // Text that the document ends in belongs to an unclosed element.
    if (at >= size)
        return false;
    m_pos = at;
    if (blank)
        return true;
    const QByteArrayView run = m_data.sliced(start, at - start);
    if (!references) {
        m_token.text = ascii ? QString::fromLatin1(run) : QString::fromUtf8(run);
    } else {
        QString text;
        text.reserve(run.size());
        qsizetype from = 0;
        while (from < run.size()) {
            const qsizetype amp = run.indexOf('&', from);
            const qsizetype stop = amp < 0 ? run.size() : amp;
            text += QString::fromUtf8(run.sliced(from, stop - from));
            if (amp < 0)
                break;
            m_pos = start + amp;
            if (!readReference(&text))
                return false;
            from = m_pos - start;
        }
        m_pos = at;
        m_token.text = text;
    }
    m_token.type = QmdXmlToken::Characters;
    return true;
}

// A reference at m_pos, appended to text; m_pos moves past it.
bool QmdPlistScanner::readReference(QString *text)
{
    static constexpr std::pair<QByteArrayView, char> Entities[] = {
        {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}};
    for (const auto &[spelling, character] : Entities) {
        if (startsWith(spelling)) {
            text->append(QLatin1Char(character));
            m_pos += spelling.size();
            return true;
        }
    }
    if (!startsWith("&#"))
        return false;
    qsizetype at = m_pos + 2;
    const bool hex = at < m_data.size() && m_data[at] == 'x';
    if (hex)
        ++at;
    char32_t value = 0;
    int digits = 0;
    for (; at < m_data.size() && digits <= 8; ++at, ++digits) {
        const char c = m_data[at];
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0)
            break;
        value = value * (hex ? 16 : 10) + char32_t(digit);
    }
    if (digits == 0 || digits > 8 || at >= m_data.size() || m_data[at] != ';' || !isXmlChar(value))
        return false;
    text->append(QString::fromUcs4(&value, 1));
    m_pos = at + 1;
    return true;
}

// A property list uses a handful of element names over and over. Those are
// strings with static data, which every token shares without counting
// references; any other name, which only a damaged file has, is made anew.
QString QmdPlistScanner::nameFor(QByteArrayView name)
{
    for (const auto &[spelling, string] : KnownNames) {
        if (spelling == name)
            return string;
    }
    return QString::fromLatin1(name);
}

QmdXmlToken &QmdPlistScanner::unsupported()
{
    m_stage = Stage::Done;
    m_token.type = QmdXmlToken::Unsupported;
    return m_token;
}

bool QmdPlistScanner::startsWith(QByteArrayView literal) const
{
    return m_data.sliced(m_pos).startsWith(literal);
}

void QmdPlistScanner::skipBlanks()
{
    while (m_pos < m_data.size() && isBlank(m_data[m_pos]))
        ++m_pos;
}
