#pragma once

#include "qmdmemmodelbuilder.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <array>
#include <functional>

struct QmdXmlToken;

// Reads an XML property list, as one stream of tokens, straight into a
// QmdMemModelBuilder; what QmdPropertyListImporter does once the file is in
// memory. The rules are the importer's (see there). The document never
// exists as a whole anywhere else: memory grows with the model alone, time
// with the file's size.
//
// Files that only use what property-list writers write are read by
// QmdPlistScanner; everything else, and anything the scanner finds amiss, is
// read (from the start) by QXmlStreamReader behind QmdXmlGuard; between
// them they word every error.
//
// Not thread-safe; one reader reads one file on one thread.
class QmdPropertyListReader
{
public:
    enum class Path {
        Fastest, // the scanner where it can
        General  // QXmlStreamReader only, for comparing the two
    };
    // The value an element other than a dict stands for; index is the item
    // it is read into.
    using ValueReader =
        std::function<QVariant(const QString &tag, const QString &text, const QmdIndex &index)>;

    QmdPropertyListReader(QmdMemModelBuilder *builder, ValueReader valueReader);
    ~QmdPropertyListReader();

    // Reads the whole file into the builder, without putting it in place.
    // False when the file is rejected: errorString() says why, and the
    // builder holds nothing.
    bool read(const QByteArray &data, Path path = Path::Fastest);

    const QString &errorString() const { return m_errorString; }
    // What was reported and skipped entry by entry, in file order.
    const QStringList &diagnostics() const { return m_diagnostics; }
    // Whether the last read was the scanner's.
    bool usedScanner() const { return m_usedScanner; }

private:
    class TokenSource;
    class ScannerSource;
    class StreamSource;
    class LiveChildren;
    class NodeChildren;
    struct Node;
    struct Target;
    enum class Outcome { Read, Rejected, Unsupported };

    Outcome readDocument(TokenSource &source);
    void readItem(TokenSource &source, const QString &tag, const Target &target);
    void readDict(TokenSource &source, const Target &target);
    void readItem(const Node &node, const Target &target);
    template <class Children>
    void readEntries(Children &children, QmdMemModelBuilder::Container container,
                     Qmd::ContainerType kind);
    QmdIndex indexOf(const Target &target) const;
    void store(const Target &target, const QVariant &value);
    QmdMemModelBuilder::Container storeContainer(const Target &target, Qmd::ContainerType kind);

    // Token by token; all false (or empty) once the source has failed.
    QmdXmlToken &next(TokenSource &source);
    bool nextChild(TokenSource &source, QString *tag);
    QString text(TokenSource &source);
    void skip(TokenSource &source);
    Node capture(TokenSource &source, const QString &tag);
    void captureChildren(TokenSource &source, Node *parent);

    QString internedKey(const QString &key);
    void diagnose(const QString &message) { m_diagnostics.append(message); }
    bool reject(const QString &message);
    void rejectParse(qint64 line, qint64 column, const QString &message);

    QmdMemModelBuilder *const m_builder;
    const ValueReader m_valueReader;
    QString m_errorString;
    QStringList m_diagnostics;
    bool m_usedScanner = false;
    // The token that stopped the source: Invalid or Unsupported.
    const QmdXmlToken *m_failure = nullptr;
    std::array<QString, 256> m_keys;
};
