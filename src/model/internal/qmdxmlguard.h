#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <QStringDecoder>

// Screens a file before any XML parser sees it. Qt's DOM parser took time
// growing with the square of the nesting depth and of the number of
// attributes of one element, and parsers expand entities declared inside the
// document type, each use of which may cost thousands of characters; the
// reader keeps its own recursion as deep as the elements nest. Property
// lists need none of this, so files that use it are refused before anything
// is parsed or loaded. The guard checks the encoding and walks the markup
// once, in linear time.
//
// UTF-16 and UTF-32 are recognised by a byte order mark or their byte
// pattern. Otherwise an encoding the XML declaration names is followed when
// it is not one of the UTF family (ISO-8859-1, windows-1252 and whatever
// else Qt or ICU knows; an unknown one is refused), and the file is UTF-8
// if it names none or a UTF. A UTF-8 file is screened as it is, without
// decoding it; any other is decoded, and text() holds it.
//
// Not thread-safe; one guard screens one file at a time.
class QmdXmlGuard
{
    Q_DECLARE_TR_FUNCTIONS(QmdXmlGuard)

public:
    // Deep enough for any document, shallow enough for the stack of a
    // recursive reader.
    static constexpr int MaxDepth = 256;
    static constexpr int MaxAttributes = 64;

    // True when the file may be parsed.
    bool screen(const QByteArray &data);

    // Whether the file is UTF-8, to be parsed as its bytes; otherwise text()
    // holds it decoded.
    bool isUtf8() const { return m_utf8; }
    const QString &text() const { return m_text; }
    // Where (1-based, in characters) and why the file was refused.
    int errorLine() const { return m_errorLine; }
    int errorColumn() const { return m_errorColumn; }
    const QString &errorMessage() const { return m_errorMessage; }

private:
    // The XML declaration, the encoding it names and where that name starts.
    struct Declared
    {
        QByteArrayView declaration;
        QByteArray name;
        qsizetype nameOffset = 0;
    };
    static Declared declaredEncoding(QByteArrayView data);
    bool screenDeclared(const QByteArray &data, const Declared &declared);
    bool decode(QStringDecoder &decoder, const QByteArray &data);
    template <class Text> bool scanMarkup(Text text);
    bool refuseDecoded(qsizetype offset, const QString &message);
    bool refuseUtf8(qsizetype offset, const QString &message);

    QByteArrayView m_data;
    bool m_utf8 = true;
    QString m_text;
    int m_errorLine = 0;
    int m_errorColumn = 0;
    QString m_errorMessage;
};
