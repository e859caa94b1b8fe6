#pragma once

#include <QString>

// One token of an XML document as the property-list reader sees it: what
// QXmlStreamReader reports, less what a property list never looks at
// (comments, processing instructions, the document type, unresolved entity
// references: none of them is an element or holds text of one).
struct QmdXmlToken
{
    enum Type {
        StartElement,
        EndElement,
        // A run of character data between two pieces of markup, references
        // resolved, cut where QXmlStreamReader cuts it.
        Characters,
        EndOfDocument,
        // Not well-formed; the error fields say where and why.
        Invalid,
        // Only from QmdPlistScanner: something it does not read, which the
        // general reader will.
        Unsupported
    };

    Type type = Invalid;
    // The qualified name of an element.
    QString name;
    // The characters of a Characters token.
    QString text;
    // The "version" attribute of a StartElement; filled for the document
    // element only, the one whose attributes matter.
    bool hasVersion = false;
    QString version;

    QString errorMessage;
    qint64 errorLine = 0;
    qint64 errorColumn = 0;
};
