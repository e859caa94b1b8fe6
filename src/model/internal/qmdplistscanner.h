#pragma once

#include "qmdxmltoken.h"

#include <QByteArrayView>
#include <QList>

// Tokenizes the XML that property-list writers produce, straight from its
// UTF-8 bytes, several times faster than QXmlStreamReader, which decodes and
// appends one character at a time.
//
// It reads a strict subset of XML: the XML declaration and document type as
// written by QmdPropertyListExporter (or none), elements with simple ASCII
// names and no attributes but the document element's version, character
// data with the five predefined entities and character references, and
// blanks (space, tab, line feed) around them. Within that subset it reports
// the tokens QXmlStreamReader would, less the runs of blanks beside child
// elements, which the reader drops anyway; at the first thing outside it
// (comments, CDATA sections, other attributes, carriage returns, elements
// nested deeper than QmdXmlGuard allows, anything malformed...) it reports
// Unsupported and stops, and the document is to be read again by
// QXmlStreamReader, behind the guard, which also words every error. Nothing
// in the subset is what the guard refuses. The fuzz target of the importer
// holds the two readers to the same results.
//
// The bytes must be valid UTF-8 and outlive the scanner. Not thread-safe;
// one scanner reads one document on one thread.
class QmdPlistScanner
{
public:
    explicit QmdPlistScanner(QByteArrayView utf8);

    // The next token; after EndOfDocument or Unsupported, that token again.
    // The token may be changed, its text taken: next() fills it anew.
    QmdXmlToken &next();

private:
    enum class Stage { Prolog, Content, Epilog, Done };

    bool readProlog();
    bool readMarkup();
    bool readText();
    bool readReference(QString *text);
    static QString nameFor(QByteArrayView name);
    QmdXmlToken &unsupported();
    bool startsWith(QByteArrayView literal) const;
    void skipBlanks();

    const QByteArrayView m_data;
    qsizetype m_pos = 0;
    Stage m_stage = Stage::Prolog;
    // The open elements, innermost last.
    QList<QByteArrayView> m_open;
    // An empty element ends right after its start.
    bool m_pendingEnd = false;
    // The last token was the start of an element that is not empty.
    bool m_afterStart = false;
    QmdXmlToken m_token;
};
