#pragma once

#include <QCoreApplication>
#include <QString>

// Screens a file before Qt's DOM parser sees it. That parser takes time
// growing with the square of the nesting depth and of the number of
// attributes of one element, and expands entities declared inside the
// document type, each use of which may cost thousands of characters. Property
// lists need none of this, so files that use it are refused before anything
// is parsed or loaded. The guard decodes the bytes itself and walks the markup
// once, in linear time; the decoded text is what the parser then reads, so the
// two can never disagree about the encoding.
class QmdXmlGuard
{
    Q_DECLARE_TR_FUNCTIONS(QmdXmlGuard)

public:
    // Deep enough for any document, shallow enough for the stack of a
    // recursive reader.
    static constexpr int MaxDepth = 256;
    static constexpr int MaxAttributes = 64;

    // True when the file may be parsed; text() then holds it decoded. UTF-16
    // and UTF-32 are recognised by their byte pattern, anything else must be
    // UTF-8 whatever the XML declaration says.
    bool screen(const QByteArray &data);

    const QString &text() const { return m_text; }
    // Where (1-based) and why the file was refused.
    int errorLine() const { return m_errorLine; }
    int errorColumn() const { return m_errorColumn; }
    const QString &errorMessage() const { return m_errorMessage; }

private:
    bool scanMarkup();
    qsizetype skipPast(qsizetype from, QStringView terminator) const;
    bool refuse(qsizetype offset, const QString &message);

    QString m_text;
    int m_errorLine = 0;
    int m_errorColumn = 0;
    QString m_errorMessage;
};
