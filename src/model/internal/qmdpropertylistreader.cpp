#include "qmdpropertylistreader.h"

#include "qmdplistscanner.h"
#include "qmdxmlguard.h"
#include "qmdxmltoken.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QStringDecoder>
#include <QXmlStreamReader>

#include <vector>

namespace {

// The messages belong to the importer, whose errors they are.
QString tr(const char *text)
{
    return QCoreApplication::translate("QmdPropertyListImporter", text);
}

const QString DictTag = QStringLiteral("dict");
const QString KeyTag = QStringLiteral("key");
const QString StringTag = QStringLiteral("string");
const QString ContainerTypeKey = QStringLiteral("ContainerType");

const char *const KindError = "TODO: handle ContainerType error";
const char *const KeyMissing = "TODO: handle key MISSING error";
const char *const KeyInvalid = "TODO: handle key INVALID error";
const char *const TwoKeys = "TODO: handle twos idList in a row error";

// A run of nothing but blanks between child elements is no text: the DOM
// that files were once read into dropped such runs, and the values read from
// the elements around them. An element without child elements keeps every
// character, blanks too, so that a value of spaces reads back as written.
bool isBlank(const QString &text)
{
    for (const QChar c : text) {
        if (!c.isSpace())
            return false;
    }
    return true;
}

Qmd::ContainerType kindNamed(const QString &name)
{
    if (name == QLatin1String("IntDict"))
        return Qmd::IntDict;
    if (name == QLatin1String("StrDict"))
        return Qmd::StrDict;
    return Qmd::NoContainer;
}

// Whether QXmlStreamReader, reading the bytes from a device, decodes them as
// UTF-8 just as it does decoded text: it follows the declared encoding of a
// device, so the declaration must name UTF-8 or none. When in doubt, no.
bool declaresUtf8OrNothing(QByteArrayView data)
{
    if (data.startsWith("\xef\xbb\xbf"))
        data = data.sliced(3);
    // A device shorter than four bytes reads as empty.
    if (data.size() < 4)
        return false;
    if (!data.startsWith("<?xml"))
        return true;
    const qsizetype end = data.indexOf("?>");
    if (end < 0)
        return false;
    const QByteArrayView declaration = data.first(end);
    const qsizetype at = declaration.indexOf("encoding");
    if (at < 0)
        return true;
    if (declaration.indexOf("encoding", at + 1) >= 0)
        return false;
    QByteArrayView rest = declaration.sliced(at + 8).trimmed();
    if (!rest.startsWith('='))
        return false;
    rest = rest.sliced(1).trimmed();
    return rest.size() >= 7 && (rest[0] == '"' || rest[0] == '\'') && rest[6] == rest[0] &&
           rest.sliced(1, 5).compare("UTF-8", Qt::CaseInsensitive) == 0;
}

} // namespace

// --- Token sources -----------------------------------------------------------

class QmdPropertyListReader::TokenSource
{
public:
    virtual ~TokenSource() = default;
    // The next token, which its reader may change: the source fills it anew.
    virtual QmdXmlToken &next() = 0;
};

class QmdPropertyListReader::ScannerSource : public TokenSource
{
public:
    explicit ScannerSource(QByteArrayView data) : m_scanner(data) {}
    QmdXmlToken &next() override { return m_scanner.next(); }

private:
    QmdPlistScanner m_scanner;
};

// QXmlStreamReader's tokens, less those no element holds. Namespaces are
// not processed: element names are read as they are written.
class QmdPropertyListReader::StreamSource : public TokenSource
{
public:
    explicit StreamSource(QIODevice *device) : m_reader(device) { init(); }
    explicit StreamSource(const QString &text) : m_reader(text) { init(); }

    QmdXmlToken &next() override
    {
        m_token.hasVersion = false;
        m_token.version.clear();
        while (true) {
            switch (m_reader.readNext()) {
            case QXmlStreamReader::StartElement:
                m_token.type = QmdXmlToken::StartElement;
                m_token.name = m_reader.qualifiedName().toString();
                if (m_depth++ == 0) {
                    const QXmlStreamAttributes attributes = m_reader.attributes();
                    m_token.hasVersion = attributes.hasAttribute(QLatin1String("version"));
                    m_token.version = attributes.value(QLatin1String("version")).toString();
                }
                return m_token;
            case QXmlStreamReader::EndElement:
                --m_depth;
                m_token.type = QmdXmlToken::EndElement;
                m_token.name = m_reader.qualifiedName().toString();
                return m_token;
            case QXmlStreamReader::Characters:
                // Outside the document element only blanks may stand.
                if (m_depth == 0 && m_reader.isWhitespace())
                    continue;
                m_token.type = QmdXmlToken::Characters;
                m_token.text = m_reader.text().toString();
                return m_token;
            case QXmlStreamReader::EndDocument:
                m_token.type = QmdXmlToken::EndOfDocument;
                return m_token;
            case QXmlStreamReader::Invalid:
                m_token.type = QmdXmlToken::Invalid;
                m_token.errorMessage = m_reader.errorString();
                m_token.errorLine = m_reader.lineNumber();
                m_token.errorColumn = m_reader.columnNumber();
                return m_token;
            default:
                // The declaration, the document type, comments, processing
                // instructions, entity references left unresolved.
                continue;
            }
        }
    }

private:
    void init() { m_reader.setNamespaceProcessing(false); }

    QXmlStreamReader m_reader;
    QmdXmlToken m_token;
    int m_depth = 0;
};

// --- Where values go ---------------------------------------------------------

// The item an element is read into: the top of what is built, or an item
// of a container being built.
struct QmdPropertyListReader::Target
{
    QmdMemModelBuilder::Container parent = nullptr;
    QmdItemId id = 0;
    QString key;
    bool isTop() const { return !parent; }
};

QmdIndex QmdPropertyListReader::indexOf(const Target &target) const
{
    if (target.isTop())
        return m_builder->place();
    if (target.id != 0)
        return m_builder->index(target.parent, target.id);
    return m_builder->index(target.parent, target.key);
}

void QmdPropertyListReader::store(const Target &target, const QVariant &value)
{
    if (target.isTop())
        m_builder->setTopValue(value);
    else if (target.id != 0)
        m_builder->setValue(target.parent, target.id, value);
    else
        m_builder->setValue(target.parent, target.key, value);
}

QmdMemModelBuilder::Container QmdPropertyListReader::storeContainer(const Target &target,
                                                                    Qmd::ContainerType kind)
{
    if (target.isTop())
        return m_builder->setTop(kind);
    if (target.id != 0)
        return m_builder->addContainer(target.parent, target.id, kind);
    return m_builder->addContainer(target.parent, target.key, kind);
}

// --- Dictionaries whose kind comes late --------------------------------------
//
// A dict's kind is named by the value after its first "ContainerType" key,
// wherever that key stands, and decides how every key of the dict reads.
// Writers put it first; a dict that does not is taken down as a small tree
// of its own and read from there.

struct QmdPropertyListReader::Node
{
    QString tag;
    std::vector<Node> children;
    // Runs of characters between pieces of markup, each after as many
    // children as it says.
    std::vector<std::pair<size_t, QString>> texts;

    // All the characters inside, in document order, as text() reads them.
    QString text() const
    {
        QString all;
        if (children.empty()) {
            for (const auto &run : texts)
                all += run.second;
        } else {
            appendNonBlankTo(&all);
        }
        return all;
    }
    void appendNonBlankTo(QString *all) const
    {
        size_t run = 0;
        for (size_t child = 0; child <= children.size(); ++child) {
            for (; run < texts.size() && texts[run].first == child; ++run) {
                if (!isBlank(texts[run].second))
                    *all += texts[run].second;
            }
            if (child < children.size())
                children[child].appendNonBlankTo(all);
        }
    }
    Qmd::ContainerType kind() const
    {
        for (size_t i = 0; i < children.size(); ++i) {
            if (children[i].tag != KeyTag || children[i].text() != ContainerTypeKey)
                continue;
            if (i + 1 >= children.size() || children[i + 1].tag != StringTag)
                return Qmd::NoContainer;
            return kindNamed(children[i + 1].text());
        }
        return Qmd::NoContainer;
    }
};

// The children of a dict as the stream delivers them.
class QmdPropertyListReader::LiveChildren
{
public:
    LiveChildren(QmdPropertyListReader *reader, TokenSource *source)
        : m_reader(reader), m_source(source)
    {
    }
    bool next(QString *tag) { return m_reader->nextChild(*m_source, tag); }
    QString text() { return m_reader->text(*m_source); }
    void skip() { m_reader->skip(*m_source); }
    void read(const QString &tag, const Target &target)
    {
        m_reader->readItem(*m_source, tag, target);
    }

private:
    QmdPropertyListReader *const m_reader;
    TokenSource *const m_source;
};

// The children of a dict taken down as a tree.
class QmdPropertyListReader::NodeChildren
{
public:
    NodeChildren(QmdPropertyListReader *reader, const Node &dict) : m_reader(reader), m_dict(dict)
    {
    }
    bool next(QString *tag)
    {
        if (++m_current >= m_dict.children.size())
            return false;
        *tag = m_dict.children[m_current].tag;
        return true;
    }
    QString text() { return m_dict.children[m_current].text(); }
    void skip() {}
    void read(const QString &, const Target &target)
    {
        m_reader->readItem(m_dict.children[m_current], target);
    }

private:
    QmdPropertyListReader *const m_reader;
    const Node &m_dict;
    size_t m_current = size_t(-1);
};

// --- Reading -----------------------------------------------------------------

QmdPropertyListReader::QmdPropertyListReader(QmdMemModelBuilder *builder, ValueReader valueReader)
    : m_builder(builder), m_valueReader(std::move(valueReader))
{
}

QmdPropertyListReader::~QmdPropertyListReader() = default;

bool QmdPropertyListReader::read(const QByteArray &data, Path path)
{
    m_errorString.clear();
    m_diagnostics.clear();
    m_usedScanner = false;
    Outcome outcome = Outcome::Unsupported;
    // Nothing the guard refuses is in what the scanner reads (see there), so
    // a file the scanner reads whole needs no screening; a UTF-8 byte order
    // mark it passes over itself.
    const auto encoding = QStringConverter::encodingForData(data, u'<');
    if (path == Path::Fastest && (!encoding || *encoding == QStringConverter::Utf8) &&
        data.isValidUtf8()) {
        ScannerSource source(data);
        outcome = readDocument(source);
        m_usedScanner = outcome != Outcome::Unsupported;
    }
    if (outcome == Outcome::Unsupported) {
        // What the scanner made of the start of the file counts for nothing.
        m_builder->clear();
        m_diagnostics.clear();
        QmdXmlGuard guard;
        if (!guard.screen(data)) {
            rejectParse(guard.errorLine(), guard.errorColumn(), guard.errorMessage());
            return false;
        }
        if (guard.isUtf8() && declaresUtf8OrNothing(data)) {
            // The device is read in small pieces: nothing but the file
            // itself is held in full.
            QByteArray bytes = data;
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::ReadOnly);
            StreamSource source(&buffer);
            outcome = readDocument(source);
        } else {
            StreamSource source(guard.isUtf8() ? QStringDecoder(QStringDecoder::Utf8).decode(data)
                                               : guard.text());
            outcome = readDocument(source);
        }
    }
    if (outcome != Outcome::Read) {
        m_diagnostics.clear();
        m_builder->clear();
        return false;
    }
    return true;
}

QmdPropertyListReader::Outcome QmdPropertyListReader::readDocument(TokenSource &source)
{
    m_failure = nullptr;
    m_diagnostics.clear();
    // The document element comes first: nothing else outside it is ever
    // reported but blanks, which are not.
    const QmdXmlToken &root = next(source);
    bool isPlist = false;
    bool isVersion1 = false;
    if (root.type == QmdXmlToken::StartElement) {
        isPlist = root.name == QLatin1String("plist");
        isVersion1 = !root.hasVersion || root.version == QLatin1String("1.0");
        QString tag;
        bool first = true;
        while (nextChild(source, &tag)) {
            // Only the first element inside counts; the others must still
            // be well-formed.
            if (first && isPlist && isVersion1)
                readItem(source, tag, Target());
            else
                skip(source);
            first = false;
        }
        // Past the document element come blanks at most: the end, or an
        // error.
        if (!m_failure)
            next(source);
    }
    if (m_failure && m_failure->type == QmdXmlToken::Unsupported)
        return Outcome::Unsupported;
    if (m_failure) {
        rejectParse(m_failure->errorLine, m_failure->errorColumn, m_failure->errorMessage);
        return Outcome::Rejected;
    }
    if (!isPlist) {
        reject(tr("The file is not a plist file."));
        return Outcome::Rejected;
    }
    if (!isVersion1) {
        reject(tr("The file is not a plist version 1.0 file."));
        return Outcome::Rejected;
    }
    return Outcome::Read;
}

void QmdPropertyListReader::readItem(TokenSource &source, const QString &tag, const Target &target)
{
    if (tag == DictTag) {
        readDict(source, target);
        return;
    }
    const QString content = text(source);
    if (m_failure)
        return;
    const QVariant value = m_valueReader(tag, content, indexOf(target));
    // A null value leaves an item invalid, and the top as it was.
    if (!value.isNull())
        store(target, value);
    else if (!target.isTop())
        store(target, QVariant());
}

void QmdPropertyListReader::readDict(TokenSource &source, const Target &target)
{
    // As written, "ContainerType" and its value come first, and the entries
    // follow as they are read.
    QString tag;
    if (!nextChild(source, &tag)) {
        if (!m_failure) {
            diagnose(tr(KindError));
            if (!target.isTop())
                store(target, QVariant());
        }
        return;
    }
    Node taken;
    if (tag == KeyTag) {
        const QString key = text(source);
        if (m_failure)
            return;
        if (key == ContainerTypeKey) {
            Qmd::ContainerType kind = Qmd::NoContainer;
            if (nextChild(source, &tag)) {
                if (tag == StringTag)
                    kind = kindNamed(text(source));
                else
                    skip(source);
                if (kind == Qmd::NoContainer) {
                    while (nextChild(source, &tag))
                        skip(source);
                }
            }
            if (m_failure)
                return;
            if (kind == Qmd::NoContainer) {
                diagnose(tr(KindError));
                if (!target.isTop())
                    store(target, QVariant());
                return;
            }
            LiveChildren children(this, &source);
            readEntries(children, storeContainer(target, kind), kind);
            return;
        }
        Node first{KeyTag, {}, {}};
        first.texts.emplace_back(0, key);
        taken.children.push_back(std::move(first));
    } else {
        taken.children.push_back(capture(source, tag));
    }
    taken.tag = DictTag;
    captureChildren(source, &taken);
    if (!m_failure)
        readItem(taken, target);
}

void QmdPropertyListReader::readItem(const Node &node, const Target &target)
{
    if (node.tag != DictTag) {
        const QVariant value = m_valueReader(node.tag, node.text(), indexOf(target));
        if (!value.isNull())
            store(target, value);
        else if (!target.isTop())
            store(target, QVariant());
        return;
    }
    const Qmd::ContainerType kind = node.kind();
    if (kind == Qmd::NoContainer) {
        diagnose(tr(KindError));
        if (!target.isTop())
            store(target, QVariant());
        return;
    }
    NodeChildren children(this, node);
    readEntries(children, storeContainer(target, kind), kind);
}

// Key and value elements in turn; whatever breaks the pattern is reported
// and passed over, and so is the value of an unusable key.
template <class Children>
void QmdPropertyListReader::readEntries(Children &children, QmdMemModelBuilder::Container container,
                                        Qmd::ContainerType kind)
{
    bool haveKey = false;
    QString key;
    QString tag;
    const auto target = [&](Target *item) {
        item->parent = container;
        if (kind == Qmd::IntDict) {
            bool ok = false;
            item->id = key.toUInt(&ok, 10);
            if (!ok || item->id == 0) {
                diagnose(tr(KeyInvalid));
                return false;
            }
        } else {
            item->key = internedKey(key);
        }
        return true;
    };
    while (children.next(&tag)) {
        if (!haveKey) {
            if (tag != KeyTag) {
                diagnose(tr(KeyMissing));
                children.skip();
                continue;
            }
            key = children.text();
            if (m_failure)
                return;
            if (key.isEmpty()) {
                diagnose(tr(KeyInvalid));
                continue;
            }
            haveKey = true;
            continue;
        }
        haveKey = false;
        if (key == ContainerTypeKey) {
            children.skip();
            continue;
        }
        if (tag == KeyTag) {
            diagnose(tr(TwoKeys));
            children.skip();
            continue;
        }
        Target item;
        if (!target(&item)) {
            children.skip();
            continue;
        }
        children.read(tag, item);
        if (m_failure)
            return;
    }
    // A key closing its dict leaves its item holding an invalid value.
    if (haveKey && !m_failure && key != ContainerTypeKey) {
        Target item;
        if (target(&item))
            store(item, QVariant());
    }
}

// --- Tokens ------------------------------------------------------------------

QmdXmlToken &QmdPropertyListReader::next(TokenSource &source)
{
    QmdXmlToken &token = source.next();
    if (token.type == QmdXmlToken::Invalid || token.type == QmdXmlToken::Unsupported)
        m_failure = &token;
    return token;
}

// Moves to the next child element of the element whose content is being
// read; false, with that element's end read, when there is none.
bool QmdPropertyListReader::nextChild(TokenSource &source, QString *tag)
{
    while (!m_failure) {
        const QmdXmlToken &token = next(source);
        switch (token.type) {
        case QmdXmlToken::StartElement:
            *tag = token.name;
            return true;
        case QmdXmlToken::EndElement:
            return false;
        case QmdXmlToken::Characters:
            continue;
        default:
            // The document cannot end inside an element.
            if (!m_failure)
                m_failure = &token;
            return false;
        }
    }
    return false;
}

// The text of the element just started, which is read to its end: all the
// characters inside it, in those of its descendants too.
QString QmdPropertyListReader::text(TokenSource &source)
{
    // Nearly every element holds one run of characters or none: those take
    // the short way, the run taken over without a copy.
    QmdXmlToken *token = &next(source);
    if (token->type == QmdXmlToken::EndElement)
        return QString();
    QString every;
    if (token->type == QmdXmlToken::Characters) {
        every = std::move(token->text);
        token = &next(source);
        if (token->type == QmdXmlToken::EndElement)
            return every;
    }
    // Every character, and the runs between pieces of markup that are not
    // blank, until a child element shows which of the two counts. A run may
    // come in several tokens: where a source cuts it does not matter.
    QString all;
    QString run = every;
    bool children = false;
    int depth = 1;
    const auto endRun = [&] {
        if (!isBlank(run))
            all += run;
        run.clear();
    };
    for (; !m_failure; token = &next(source)) {
        switch (token->type) {
        case QmdXmlToken::StartElement:
            endRun();
            ++depth;
            children = true;
            break;
        case QmdXmlToken::EndElement:
            endRun();
            if (--depth == 0)
                return children ? all : every;
            break;
        case QmdXmlToken::Characters:
            run += token->text;
            if (!children)
                every += token->text;
            break;
        default:
            if (!m_failure)
                m_failure = token;
            break;
        }
    }
    return QString();
}

void QmdPropertyListReader::skip(TokenSource &source)
{
    int depth = 1;
    while (!m_failure) {
        const QmdXmlToken &token = next(source);
        if (token.type == QmdXmlToken::StartElement) {
            ++depth;
        } else if (token.type == QmdXmlToken::EndElement) {
            if (--depth == 0)
                return;
        } else if (token.type != QmdXmlToken::Characters && !m_failure) {
            m_failure = &token;
        }
    }
}

QmdPropertyListReader::Node QmdPropertyListReader::capture(TokenSource &source, const QString &tag)
{
    Node node{tag, {}, {}};
    captureChildren(source, &node);
    return node;
}

// The rest of an element's content, to its end.
void QmdPropertyListReader::captureChildren(TokenSource &source, Node *parent)
{
    while (!m_failure) {
        const QmdXmlToken &token = next(source);
        switch (token.type) {
        case QmdXmlToken::StartElement: {
            const QString tag = token.name;
            parent->children.push_back(capture(source, tag));
            break;
        }
        case QmdXmlToken::EndElement:
            return;
        case QmdXmlToken::Characters:
            // One run, however many tokens it came in.
            if (!parent->texts.empty() && parent->texts.back().first == parent->children.size())
                parent->texts.back().second += token.text;
            else
                parent->texts.emplace_back(parent->children.size(), token.text);
            break;
        default:
            if (!m_failure)
                m_failure = &token;
            break;
        }
    }
}

// Keys repeat in every record: one copy of each serves them all. The copies
// sit in a small table at a cheap hash of their text; a key that meets
// another there takes its place, so the table never grows and no file can
// make a look-up slow.
QString QmdPropertyListReader::internedKey(const QString &key)
{
    size_t hash = size_t(key.size());
    for (const QChar c : key)
        hash = hash * 31 + c.unicode();
    QString &kept = m_keys[hash % m_keys.size()];
    if (kept != key)
        kept = key;
    return kept;
}

bool QmdPropertyListReader::reject(const QString &message)
{
    m_errorString = message;
    return false;
}

void QmdPropertyListReader::rejectParse(qint64 line, qint64 column, const QString &message)
{
    reject(tr("Parse error at line %1, column %2:\n%3")
               .arg(QString::number(line), QString::number(column), message));
}
