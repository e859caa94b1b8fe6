#include "modelbuild.h"
#include "modeldump.h"
#include "modelsignallog.h"
#include "qmdmemmodel.h"
#include "qmdpropertylistexporter.h"
#include "qmdpropertylistimporter.h"
#include "qmdxmlguard.h"

#include <QBuffer>
#include <QDomDocument>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Collects the diagnostics of the reader while a read runs; the messages of
// other categories go on to the previous handler.
QStringList diagnostics;
QtMessageHandler previousHandler = nullptr;

void collect(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (qstrcmp(context.category, "ludra.model.plist") == 0)
        diagnostics << message;
    else
        previousHandler(type, context, message);
}

// One run of the writer or the reader over an in-memory buffer, and pieces
// of hand-written files.
struct Run
{
    struct Read
    {
        bool accepted = false;
        QString error;
        QStringList diagnostics;
    };

    static QByteArray write(QmdModel &model, const QmdIndex &index = QmdIndex())
    {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QmdPropertyListExporter(&model, &buffer).exportIndex(index);
        return buffer.data();
    }
    static Read read(QmdMemModel &model, QByteArray file)
    {
        QBuffer buffer(&file);
        buffer.open(QIODevice::ReadOnly);
        QmdPropertyListImporter importer(&model, &buffer);
        diagnostics.clear();
        previousHandler = qInstallMessageHandler(&collect);
        Read result;
        result.accepted = importer.importIndex();
        qInstallMessageHandler(previousHandler);
        result.error = importer.errorString();
        result.diagnostics = diagnostics;
        return result;
    }
    static QByteArray file(const QByteArray &content)
    {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">" + content +
               "</plist>\n";
    }
    static QByteArray strDict(const QByteArray &entries)
    {
        return "<dict><key>ContainerType</key><string>StrDict</string>" + entries + "</dict>";
    }
    static QByteArray intDict(const QByteArray &entries)
    {
        return "<dict><key>ContainerType</key><string>IntDict</string>" + entries + "</dict>";
    }
    // What the reader reports for a file that QDomDocument cannot parse.
    static QString parserError(const QByteArray &file)
    {
        QDomDocument document;
        QString message;
        int line = 0;
        int column = 0;
        document.setContent(QString::fromUtf8(file), false, &message, &line, &column);
        return QString("Parse error at line %1, column %2:\n%3").arg(line).arg(column).arg(message);
    }
};

const QString OldTree = QStringLiteral("S{Kept=I{3=int:1,5=QString:x}}");
const QByteArray PlistStart = "<plist version=\"1.0\">";

QString guardError(int line, int column, const QString &message)
{
    return QString("Parse error at line %1, column %2:\n%3").arg(line).arg(column).arg(message);
}

const QString TooDeep =
    QString("Elements are nested more than %1 levels deep.").arg(QmdXmlGuard::MaxDepth);
const QString TooManyAttributes =
    QString("An element has more than %1 attributes.").arg(QmdXmlGuard::MaxAttributes);
const QString InternalSubset = "Declarations inside the document type are not accepted.";
const QString BadEncoding = "Encountered incorrectly encoded content.";

// StrDicts nested to the given depth, each holding the next under "d".
QByteArray nestedDicts(int depth)
{
    QByteArray dicts = Run::strDict("");
    for (int i = 1; i < depth; ++i)
        dicts = Run::strDict("<key>d</key>" + dicts);
    return dicts;
}

QString nestedTree(int depth)
{
    return QString("S{d=").repeated(depth - 1) + "S{}" + QString("}").repeated(depth - 1);
}

QByteArray billionLaughs()
{
    QByteArray file = "<?xml version=\"1.0\"?>\n<!DOCTYPE plist [\n <!ENTITY l0 \"lol\">\n";
    for (int i = 1; i <= 9; ++i) {
        file += " <!ENTITY l" + QByteArray::number(i) + " \"" +
                QByteArray("&l" + QByteArray::number(i - 1) + ";").repeated(10) + "\">\n";
    }
    return file + "]>\n<plist version=\"1.0\"><string>&l9;</string></plist>\n";
}

QByteArray manyAttributes(int count, const QByteArray &value)
{
    QByteArray tag = "<plist version=\"1.0\"";
    for (int i = 1; i < count; ++i)
        tag += " a" + QByteArray::number(i) + "=\"" + value + "\"";
    return tag + "><true/></plist>";
}

} // namespace

class TestQmdPropertyList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void reading_data();
    void reading();
    void hostileFiles_data();
    void hostileFiles();

private:
    QTemporaryDir m_dir;
    QString m_dtdPath;
};

void TestQmdPropertyList::reading_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QStringList>("diagnostics");

    const QStringList none;
    const QString kindError = "TODO: handle ContainerType error";
    const QString invalid = "TODO: handle key INVALID error";

    QTest::newRow("ContainerType after other entries")
        << Run::file("<dict><key>a</key><integer>1</integer><key>ContainerType</key>"
                     "<string>StrDict</string><key>b</key><true/></dict>")
        << "S{a=int:1,b=bool:true}" << none;
    QTest::newRow("integers")
        << Run::file(
               Run::intDict("<key>1</key><integer>-2147483648</integer>"
                            "<key>2</key><integer>2147483648</integer>"
                            "<key>3</key><integer>12abc</integer><key>4</key><integer></integer>"
                            "<key>5</key><integer>99999999999999999999999999</integer>"
                            "<key>6</key><integer>1.5</integer>"))
        << "I{1=int:-2147483648,2=int:0,3=int:0,4=int:0,5=int:0,6=int:0}" << none;
    QTest::newRow("no ContainerType keeps the old root")
        << Run::file("<dict><key>a</key><integer>1</integer></dict>") << OldTree
        << QStringList{kindError};
    QTest::newRow("IntDict keys that are no identifier")
        << Run::file(Run::intDict("<key>x</key><integer>5</integer><key>-1</key><true/>"
                                  "<key>0</key><true/><key>4294967296</key><true/>"
                                  "<key>3</key><false/>"))
        << "I{3=bool:false}" << QStringList{invalid, invalid, invalid, invalid};
}

// Reading follows the rules entry by entry; damaged entries are reported and
// skipped, everything else loads.
void TestQmdPropertyList::reading()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, expected);
    QFETCH(QStringList, diagnostics);

    QmdMemModel model;
    QVERIFY(ModelBuild::tree(model, OldTree));
    const Run::Read read = Run::read(model, file);
    QVERIFY(read.accepted);
    QCOMPARE(read.error, QString());
    QCOMPARE(read.diagnostics, diagnostics);
    QCOMPARE(ModelDump::tree(model), expected);
}

void TestQmdPropertyList::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_dtdPath = m_dir.filePath("entities.dtd");
    QFile dtd(m_dtdPath);
    QVERIFY(dtd.open(QIODevice::WriteOnly));
    dtd.write("<!ENTITY y \"SECRET\">\n");
}

void TestQmdPropertyList::hostileFiles_data()
{
    QTest::addColumn<QByteArray>("file");
    // Empty when the file loads.
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("expected");
    const int deep = 100000;

    // The entries of the innermost dict make one level below the dicts.
    const int deepestDicts = QmdXmlGuard::MaxDepth - 2;
    QTest::newRow("deepest nesting that loads")
        << Run::file(nestedDicts(deepestDicts)) << QString() << nestedTree(deepestDicts);
    const QByteArray tooDeep = Run::file(nestedDicts(deepestDicts + 1));
    const qsizetype innermostEntry = tooDeep.lastIndexOf("<key>ContainerType");
    QTest::newRow("one level deeper")
        << tooDeep
        << guardError(2, int(innermostEntry - tooDeep.lastIndexOf('\n', innermostEntry)), TooDeep)
        << OldTree;
    QTest::newRow("billion laughs")
        << billionLaughs() << guardError(2, 1, InternalSubset) << OldTree;
    // Entities of an external document type are neither fetched nor read.
    QTest::newRow("external document type")
        << QByteArray("<!DOCTYPE plist SYSTEM \"file://" + m_dtdPath.toUtf8() + "\"><plist>" +
                      Run::strDict("<key>a</key><string>&y;</string>") + "</plist>")
        << QString() << "S{a=QString:}";
    QTest::newRow("100000 attributes")
        << manyAttributes(deep, "1") << guardError(1, 1, TooManyAttributes) << OldTree;
    QTest::newRow("invalid UTF-8") << QByteArray("<plist><string>a\xff</string></plist>")
                                   << guardError(1, 17, BadEncoding) << OldTree;
    QTest::newRow("unknown declared encoding")
        << QByteArray("<?xml version='1.0' encoding='x-nowhere'?><plist><true/></plist>")
        << guardError(1, 31, "The file's encoding x-nowhere is not known.") << OldTree;
    const QByteArray unclosed = "<?xml version=\"1.0\"?>\n<plist>\n  <dict>\n";
    QTest::newRow("unclosed elements") << unclosed << Run::parserError(unclosed) << OldTree;
    QTest::newRow("version 2.0") << QByteArray("<plist version=\"2.0\"><true/></plist>")
                                 << "The file is not a plist version 1.0 file." << OldTree;
    QTest::newRow("file too large")
        << QByteArray(Run::file("<true/>").leftJustified(QmdPropertyListImporter::MaxFileSize + 1))
        << "The file is larger than 128 MiB." << OldTree;
}

// Damaged files, and files made to exhaust the parser or to read other
// files, are refused before the model is touched. One row for each guard.
void TestQmdPropertyList::hostileFiles()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, error);
    QFETCH(QString, expected);

    QmdMemModel model;
    QVERIFY(ModelBuild::tree(model, OldTree));
    const int undoSteps = model.undoRedoCount();
    const ModelSignalLog signalLog(&model);
    const Run::Read read = Run::read(model, file);
    QCOMPARE(read.error, error);
    QCOMPARE(read.accepted, error.isEmpty());
    QCOMPARE(read.diagnostics, error.isEmpty() ? QStringList() : QStringList{error});
    QCOMPARE(ModelDump::tree(model), expected);
    QVERIFY(!ModelDump::tree(model).contains("SECRET"));
    if (!read.accepted) {
        QCOMPARE(signalLog.lines(), QStringList());
        QCOMPARE(model.undoRedoCount(), undoSteps);
    }
}

QTEST_GUILESS_MAIN(TestQmdPropertyList)
#include "tst_qmdpropertylist.moc"
