#include "modelbuild.h"
#include "modeldump.h"
#include "modelsignallog.h"
#include "propertylistrun.h"
#include "qmdmemmodel.h"
#include "qmdpropertylistimporter.h"
#include "qmdxmlguard.h"

#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

namespace {

using Run = PropertyListRun;

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

class TestQmdPropertyListHostile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void hostileFiles_data();
    void hostileFiles();
    void truncatedFiles();

private:
    QTemporaryDir m_dir;
    QString m_secretPath;
    QString m_dtdPath;
};

void TestQmdPropertyListHostile::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_secretPath = m_dir.filePath("secret.txt");
    QFile secret(m_secretPath);
    QVERIFY(secret.open(QIODevice::WriteOnly));
    secret.write("SECRET");
    m_dtdPath = m_dir.filePath("entities.dtd");
    QFile dtd(m_dtdPath);
    QVERIFY(dtd.open(QIODevice::WriteOnly));
    dtd.write("<!ENTITY y \"SECRET\">\n");
}

void TestQmdPropertyListHostile::hostileFiles_data()
{
    QTest::addColumn<QByteArray>("file");
    // Empty when the file loads.
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QStringList>("diagnostics");

    const QStringList none;
    const int deep = 100000;

    QTest::newRow("100000 nested dicts")
        << QByteArray(PlistStart + QByteArray("<dict>").repeated(deep) +
                      QByteArray("</dict>").repeated(deep) + "</plist>")
        // The plist element is the first level.
        << guardError(1, PlistStart.size() + 6 * (QmdXmlGuard::MaxDepth - 1) + 1, TooDeep)
        << OldTree << none;
    // The entries of the innermost dict make one level below the dicts.
    const int deepestDicts = QmdXmlGuard::MaxDepth - 2;
    QTest::newRow("deepest nesting that loads")
        << Run::file(nestedDicts(deepestDicts)) << QString() << nestedTree(deepestDicts) << none;
    const QByteArray tooDeep = Run::file(nestedDicts(deepestDicts + 1));
    const qsizetype innermostEntry = tooDeep.lastIndexOf("<key>ContainerType");
    QTest::newRow("one level deeper")
        << tooDeep
        << guardError(2, int(innermostEntry - tooDeep.lastIndexOf('\n', innermostEntry)), TooDeep)
        << OldTree << none;
    QTest::newRow("self-closing elements do not nest")
        << Run::file(Run::strDict("<key>a</key><dict/>" + QByteArray("<x/>").repeated(deep) +
                                  "<key>b</key><true/>"))
        << QString() << "S{a=-,b=bool:true}"
        << QStringList{"TODO: handle ContainerType error"} +
               QStringList(deep, "TODO: handle key MISSING error");
    QTest::newRow("'/>' inside attribute values ends no tag")
        << QByteArray(PlistStart + QByteArray("<a b=\"/>\" c='/>'>").repeated(deep))
        << guardError(1, PlistStart.size() + 17 * (QmdXmlGuard::MaxDepth - 1) + 1, TooDeep)
        << OldTree << none;
    const QByteArray quotes = "<!-- \" ' --><?pi \" ' ?><string><![CDATA[ \" ' ]]></string>";
    QTest::newRow("quotes outside tags do not hide tags")
        << QByteArray(PlistStart + quotes + QByteArray("<dict>").repeated(deep))
        << guardError(1, PlistStart.size() + quotes.size() + 6 * (QmdXmlGuard::MaxDepth - 1) + 1,
                      TooDeep)
        << OldTree << none;

    QTest::newRow("billion laughs")
        << billionLaughs() << guardError(2, 1, InternalSubset) << OldTree << none;
    QTest::newRow("external entity")
        << QByteArray("<?xml version=\"1.0\"?>\n<!DOCTYPE plist [<!ENTITY x SYSTEM \"file://" +
                      m_secretPath.toUtf8() + "\">]>\n<plist><string>&x;</string></plist>")
        << guardError(2, 1, InternalSubset) << OldTree << none;
    // Entities of an external document type are neither fetched nor read.
    QTest::newRow("external document type")
        << QByteArray("<!DOCTYPE plist SYSTEM \"file://" + m_dtdPath.toUtf8() + "\"><plist>" +
                      Run::strDict("<key>a</key><string>&y;</string>") + "</plist>")
        << QString() << "S{a=QString:}" << none;
    QTest::newRow("brackets in a quoted identifier")
        << QByteArray("<!DOCTYPE plist SYSTEM 'x[\"]'><plist><true/></plist>") << QString()
        << "bool:true" << none;

    QTest::newRow("100000 attributes")
        << manyAttributes(deep, "1") << guardError(1, 1, TooManyAttributes) << OldTree << none;
    QTest::newRow("most attributes that load")
        << manyAttributes(QmdXmlGuard::MaxAttributes, "=") << QString() << "bool:true" << none;

    QTest::newRow("invalid UTF-8") << QByteArray("<plist><string>a\xff</string></plist>")
                                   << guardError(1, 17, BadEncoding) << OldTree << none;
    // IBM037 (EBCDIC) would not spell the declaration in ASCII.
    QTest::newRow("declared encoding the file is not in")
        << QByteArray("<?xml version=\"1.0\" encoding=\"IBM037\"?>\n<plist><string>caf\xc3\xa9"
                      "</string></plist>")
        << guardError(1, 31, "The file is not written in its declared encoding IBM037.") << OldTree
        << none;
    QTest::newRow("unknown declared encoding")
        << QByteArray("<?xml version='1.0' encoding='x-nowhere'?><plist><true/></plist>")
        << guardError(1, 31, "The file's encoding x-nowhere is not known.") << OldTree << none;
    QTest::newRow("a declared UTF is UTF-8 without a byte order mark")
        << QByteArray("<?xml version=\"1.0\" encoding=\"utf-16\"?><plist><string>caf\xc3\xa9"
                      "</string></plist>")
        << QString() << "QString:caf\u00e9" << none;
    QStringEncoder utf16(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom);
    QTest::newRow("UTF-16 with byte order mark")
        << QByteArray(utf16.encode(u"<plist version=\"1.0\"><string>\u4e2d</string></plist>"))
        << QString() << "QString:\u4e2d" << none;
    const QByteArray nul = QByteArray("<plist><string>a\0b</string></plist>", 35);
    QTest::newRow("NUL character") << nul << Run::parserError(nul) << OldTree << none;

    QTest::newRow("huge numbers")
        << Run::file(Run::intDict(
               "<key>1</key><integer>" + QByteArray(5000, '9') + "</integer>" +
               "<key>2</key><real>1" + QByteArray(5000, '0') + "</real>" +
               "<key>3</key><real>-1e999999999999</real><key>4</key><real>1e-999999999</real>" +
               "<key>5</key><integer>-" + QByteArray(5000, '9') + "</integer>" + "<key>" +
               QByteArray(5000, '7') + "</key><true/>"))
        << QString() << "I{1=int:0,2=double:inf,3=double:-inf,4=double:0,5=int:0}"
        << QStringList{"TODO: handle key INVALID error"};
    QTest::newRow("largest file") << QByteArray(Run::file("<true/>").leftJustified(
                                         QmdPropertyListImporter::MaxFileSize))
                                  << QString() << "bool:true" << none;
    QTest::newRow("file too large")
        << QByteArray(Run::file("<true/>").leftJustified(QmdPropertyListImporter::MaxFileSize + 1))
        << "The file is larger than 128 MiB." << OldTree << none;
}

// Files made to exhaust the parser or to read other files are refused before
// the model is touched; files that are only odd load.
void TestQmdPropertyListHostile::hostileFiles()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, error);
    QFETCH(QString, expected);
    QFETCH(QStringList, diagnostics);

    QmdMemModel model;
    QVERIFY(ModelBuild::tree(model, OldTree));
    const int undoSteps = model.undoRedoCount();
    const ModelSignalLog signalLog(&model);
    const Run::Read read = Run::read(model, file);
    QCOMPARE(read.error, error);
    QCOMPARE(read.accepted, error.isEmpty());
    QCOMPARE(read.diagnostics, error.isEmpty() ? diagnostics : QStringList{error});
    QCOMPARE(ModelDump::tree(model), expected);
    QVERIFY(!ModelDump::tree(model).contains("SECRET"));
    if (!read.accepted) {
        QCOMPARE(signalLog.lines(), QStringList());
        QCOMPARE(model.undoRedoCount(), undoSteps);
    }
}

// Every cut of a written file short of its last tag is rejected.
void TestQmdPropertyListHostile::truncatedFiles()
{
    QmdMemModel source;
    QVERIFY(ModelBuild::tree(source, "S{Elements=I{1=S{Name=QString:n\u00e9,Pitch=int:60},"
                                     "2=S{Length=double:2.5,On=bool:true}},Tempo=double:120}"));
    const QByteArray file = Run::write(source);
    const qsizetype complete = file.lastIndexOf('>') + 1;
    for (qsizetype size = 0; size < complete; ++size) {
        QmdMemModel model;
        QVERIFY(ModelBuild::tree(model, OldTree));
        const ModelSignalLog signalLog(&model);
        const Run::Read read = Run::read(model, file.first(size));
        QVERIFY2(!read.accepted, qPrintable(QString("cut at %1").arg(size)));
        QVERIFY(read.error.startsWith("Parse error at line "));
        QCOMPARE(ModelDump::tree(model), OldTree);
        QCOMPARE(signalLog.lines(), QStringList());
    }
    QmdMemModel model;
    QVERIFY(Run::read(model, file.first(complete)).accepted);
    QCOMPARE(ModelDump::tree(model), ModelDump::tree(source));
}

QTEST_GUILESS_MAIN(TestQmdPropertyListHostile)
#include "tst_qmdpropertylisthostile.moc"
