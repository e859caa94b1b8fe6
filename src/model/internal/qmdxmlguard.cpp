#include "qmdxmlguard.h"

#include <QStringDecoder>

bool QmdXmlGuard::screen(const QByteArray &data)
{
    m_errorLine = m_errorColumn = 0;
    m_errorMessage.clear();
    const auto encoding =
        QStringConverter::encodingForData(data, u'<').value_or(QStringConverter::Utf8);
    // Stateless, so that a sequence cut off at the end counts as an error.
    QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
    m_text = decoder.decode(data);
    if (decoder.hasError())
        return refuse(m_text.indexOf(QChar::ReplacementCharacter),
                      tr("Encountered incorrectly encoded content."));
    return scanMarkup();
}

// Walks from one '<' to the next. Only constructs that may hold a '<' or a
// '>' of their own are told apart: comments, CDATA sections, processing
// instructions, and quoted values inside tags and declarations. This is exact
// for every well-formed prefix of a document, which is all that matters: the
// parser stops at the first error.
bool QmdXmlGuard::scanMarkup()
{
    const QStringView text(m_text);
    int depth = 0;
    qsizetype pos = text.indexOf(u'<');
    while (pos >= 0) {
        const QStringView markup = text.sliced(pos);
        qsizetype end = -1;
        if (markup.startsWith(u"<!--")) {
            end = skipPast(pos + 4, u"-->");
        } else if (markup.startsWith(u"<![CDATA[")) {
            end = skipPast(pos + 9, u"]]>");
        } else if (markup.startsWith(u"<?")) {
            end = skipPast(pos + 2, u"?>");
        } else if (markup.startsWith(u"</")) {
            --depth;
            end = skipPast(pos + 2, u">");
        } else {
            const bool declaration = markup.startsWith(u"<!");
            QChar quote;
            int equalSigns = 0;
            qsizetype i = pos + 1;
            for (; i < text.size() && (!quote.isNull() || text[i] != u'>'); ++i) {
                const QChar c = text[i];
                if (!quote.isNull()) {
                    if (c == quote)
                        quote = QChar();
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
                if (!declaration && text[i - 1] != u'/' && ++depth > MaxDepth)
                    return refuse(
                        pos, tr("Elements are nested more than %1 levels deep.").arg(MaxDepth));
            }
        }
        // Whatever is left unterminated, the parser reports.
        if (end < 0)
            break;
        pos = text.indexOf(u'<', end);
    }
    return true;
}

qsizetype QmdXmlGuard::skipPast(qsizetype from, QStringView terminator) const
{
    const qsizetype found = QStringView(m_text).indexOf(terminator, from);
    return found < 0 ? -1 : found + terminator.size();
}

bool QmdXmlGuard::refuse(qsizetype offset, const QString &message)
{
    if (offset < 0)
        offset = m_text.size();
    const QStringView before = QStringView(m_text).first(offset);
    m_errorLine = int(before.count(u'\n')) + 1;
    m_errorColumn = int(offset - before.lastIndexOf(u'\n'));
    m_errorMessage = message;
    return false;
}
