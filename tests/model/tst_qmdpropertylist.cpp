#include "diagnosticlog.h"
#include "modelbuild.h"
#include "modeldump.h"
#include "modelsignallog.h"
#include "propertylistrun.h"
#include "qmdmemmodel.h"
#include "qmdmemmodelbuilder.h"
#include "qmdpropertylistexporter.h"
#include "qmdpropertylistimporter.h"
#include "qmdpropertylistreader.h"

#include <QBuffer>
#include <QRegularExpression>
#include <QTest>

#include <limits>

namespace {

const QByteArray Header = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<!DOCTYPE plist PUBLIC \"-//Apple Computer//DTD PLIST 1.0//EN\" "
                          "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                          "<plist version=\"1.0\">\n";
const QByteArray Footer = "</plist>";

using Run = PropertyListRun;

const QString OldTree = QStringLiteral("S{Kept=I{3=int:1,5=QString:x}}");

// The tree the general reader alone makes of a file read over OldTree, and
// its diagnostics: what a file takes that the scanner leaves to it.
QString generalReading(const QByteArray &file, QStringList *diagnostics)
{
    QmdMemModel model;
    ModelBuild::tree(model, OldTree);
    QmdPropertyListImporter values(&model, nullptr);
    model.beginRequest(1, QmdRequestOptions(Qmd::NoUndo, QString()), QString());
    QmdMemModelBuilder builder(&model, QmdIndex());
    QmdPropertyListReader reader(&builder, [&values](const QString &tag, const QString &text,
                                                     const QmdIndex &index) {
        return values.readValue(tag, text, index);
    });
    if (reader.read(file, QmdPropertyListReader::Path::General))
        builder.put();
    model.endRequest();
    *diagnostics = reader.diagnostics();
    return ModelDump::tree(model);
}

} // namespace

class TestQmdPropertyList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void roundTrip_data();
    void roundTrip();
    void valueConversion_data();
    void valueConversion();
    void writtenFile_data();
    void writtenFile();
    void excludeIndexAdds();
    void reading_data();
    void reading();
    void rejected_data();
    void rejected();
    void importIntoItem_data();
    void importIntoItem();
    void deviceStaysTheCallers();
    void noDevice();
};

void TestQmdPropertyList::roundTrip_data()
{
    QTest::addColumn<QString>("tree");
    QTest::addColumn<QString>("exportPath");

    const QString nested =
        "S{Elements=I{1=S{Name=QString:node,Hidden=bool:false,Pitch=int:60},"
        "4=S{Length=double:2.5,Points=I{2=int:-3,9=int:2147483647},Flags=S{On=bool:true}}},"
        "Tempo=double:120.25,Playing=bool:true,Empty=I{},Blank=S{}}";
    QTest::newRow("nested dictionaries") << nested << "/";
    QTest::newRow("value inside a subtree") << nested << "/Elements/4/Length";
    QTest::newRow("identifiers at the extremes")
        << "I{1=int:1,4294967295=int:2,2147483648=S{x=bool:true},77=I{}}"
        << "/";
    QTest::newRow("doubles") << "I{1=double:0.1,2=double:-2.5e+10,3=double:1e-300,"
                                "4=double:3.141592653589793,5=double:0,6=double:inf}"
                             << "/";
    QTest::newRow("strings needing escapes")
        << "S{a=QString:<tag attr=\"1\">,b=QString:a & b,c=QString:caf\u00e9 \u4e2d\u6587,"
           "d=QString: padded ,e=QString:line\nbreak,f=QString:]]>,g=QString:'quoted',"
           "h=QString: \n ,i=QString:cr\rlf\r\n}"
        << "/";
    QTest::newRow("keys needing escapes")
        << "S{<a&b>=int:1,with space=int:2,\u00fcml=int:3,123=S{9=bool:false}}"
        << "/";
    QTest::newRow("root value") << "int:42"
                                << "/";
}

// A tree written and read back is the same tree, identifiers included.
void TestQmdPropertyList::roundTrip()
{
    QFETCH(QString, tree);
    QFETCH(QString, exportPath);

    QmdMemModel source;
    QVERIFY(ModelBuild::tree(source, tree));
    const QmdIndex exported = ModelBuild::indexAt(source, exportPath);
    QVERIFY(exportPath == "/" || source.isValid(exported));
    const QByteArray file = Run::write(source, exported);

    QmdMemModel target;
    QVERIFY(ModelBuild::tree(target, OldTree));
    const Run::Read read = Run::read(target, file);
    QVERIFY(read.accepted);
    QCOMPARE(read.diagnostics, QStringList());
    QCOMPARE(ModelDump::tree(target), ModelDump::tree(source, exported));
}

void TestQmdPropertyList::valueConversion_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QByteArray>("written");
    QTest::addColumn<QString>("readBack");

    QTest::newRow("true") << QVariant(true) << QByteArray("<true/>") << "bool:true";
    QTest::newRow("int") << QVariant(-7) << QByteArray("<integer>-7</integer>") << "int:-7";
    QTest::newRow("largest uint") << QVariant(std::numeric_limits<quint32>::max())
                                  << QByteArray("<integer>4294967295</integer>") << "int:0";
    QTest::newRow("signed 64-bit beyond 32 bits")
        << QVariant(qint64(1) << 40) << QByteArray("<string>1099511627776</string>")
        << "QString:1099511627776";
    QTest::newRow("double") << QVariant(0.1) << QByteArray("<real>0.1</real>") << "double:0.1";
    QTest::newRow("whole double") << QVariant(3.0) << QByteArray("<real>3</real>") << "double:3";
    QTest::newRow("float is not a double")
        << QVariant(1.5f) << QByteArray("<string>1.5</string>") << "QString:1.5";
    QTest::newRow("string with markup")
        << QVariant(QString("a<b & c>d")) << QByteArray("<string>a&lt;b &amp; c&gt;d</string>")
        << "QString:a<b & c>d";
    QTest::newRow("invalid value") << QVariant() << QByteArray("<string></string>") << "QString:";
}

// Each kind of value is written as its element and read back by the rules of
// the element, not of the original type.
void TestQmdPropertyList::valueConversion()
{
    QFETCH(QVariant, value);
    QFETCH(QByteArray, written);
    QFETCH(QString, readBack);

    QmdMemModel source(Qmd::StrDict);
    source.setData(QHash<QString, QVariant>{{"v", value}});
    const QByteArray file = Run::write(source);
    QCOMPARE(file, Header +
                       "    <dict>\n"
                       "        <key>ContainerType</key>\n"
                       "        <string>StrDict</string>\n"
                       "        <key>v</key>\n"
                       "        " +
                       written +
                       "\n"
                       "    </dict>\n" +
                       Footer);

    QmdMemModel target;
    const Run::Read read = Run::read(target, file);
    QVERIFY(read.accepted);
    QCOMPARE(ModelDump::tree(target), "S{v=" + readBack + "}");
}

void TestQmdPropertyList::writtenFile_data()
{
    QTest::addColumn<QString>("tree");
    QTest::addColumn<QString>("exportPath");
    QTest::addColumn<QStringList>("excluded");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray nested = Header +
                              "    <dict>\n"
                              "        <key>ContainerType</key>\n"
                              "        <string>StrDict</string>\n"
                              "        <key>Elements</key>\n"
                              "        <dict>\n"
                              "            <key>ContainerType</key>\n"
                              "            <string>IntDict</string>\n"
                              "            <key>7</key>\n"
                              "            <dict>\n"
                              "                <key>ContainerType</key>\n"
                              "                <string>StrDict</string>\n"
                              "                <key>Points</key>\n"
                              "                <dict>\n"
                              "                    <key>ContainerType</key>\n"
                              "                    <string>IntDict</string>\n"
                              "                </dict>\n"
                              "            </dict>\n"
                              "        </dict>\n"
                              "    </dict>\n" +
                              Footer;
    QTest::newRow("excluded items are left out")
        << "S{Elements=I{7=S{Points=I{},Name=QString:x},8=S{Name=QString:y}},Tempo=int:1}"
        << "/" << QStringList{"/Elements/8", "/Elements/7/Name", "/Tempo"} << nested;
    QTest::newRow("excluded subtree root")
        << "S{Elements=I{7=S{Points=I{}}}}"
        << "/Elements/7" << QStringList{"/Elements/7"}
        << QByteArray(Header).replace(">\n<plist version=\"1.0\">\n",
                                      ">\n<plist version=\"1.0\"/>");
    QTest::newRow("root value") << "bool:true"
                                << "/" << QStringList() << Header + "    <true/>\n" + Footer;
}

// The exact bytes of small files, written out by hand.
void TestQmdPropertyList::writtenFile()
{
    QFETCH(QString, tree);
    QFETCH(QString, exportPath);
    QFETCH(QStringList, excluded);
    QFETCH(QByteArray, expected);

    QmdMemModel model;
    QVERIFY(ModelBuild::tree(model, tree));
    QSet<QmdIndex> excludedIndexes;
    for (const QString &path : excluded) {
        excludedIndexes.insert(ModelBuild::indexAt(model, path));
        QVERIFY(model.isValid(ModelBuild::indexAt(model, path)));
    }
    QCOMPARE(Run::write(model, ModelBuild::indexAt(model, exportPath), excludedIndexes), expected);
}

// Excluding one more index keeps those excluded before, and all below them.
void TestQmdPropertyList::excludeIndexAdds()
{
    QmdMemModel source;
    QVERIFY(ModelBuild::tree(source, "S{A=I{1=S{x=int:1}},B=S{z=int:3},C=int:4}"));
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QmdPropertyListExporter exporter(&source, &buffer);
    exporter.setExcludedIndexes({ModelBuild::indexAt(source, "/A")});
    exporter.excludeIndex(ModelBuild::indexAt(source, "/B/z"));
    exporter.exportIndex();

    QmdMemModel target;
    QVERIFY(Run::read(target, buffer.data()).accepted);
    QCOMPARE(ModelDump::tree(target), "S{B=S{},C=int:4}");
}

void TestQmdPropertyList::reading_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QStringList>("diagnostics");

    const QStringList none;
    const QString kindError = "TODO: handle ContainerType error";
    const QString missing = "TODO: handle key MISSING error";
    const QString invalid = "TODO: handle key INVALID error";
    const QString twoKeys = "TODO: handle twos idList in a row error";

    QTest::newRow("ContainerType after other entries")
        << Run::file("<dict><key>a</key><integer>1</integer><key>ContainerType</key>"
                     "<string>StrDict</string><key>b</key><true/></dict>")
        << "S{a=int:1,b=bool:true}" << none;
    QTest::newRow("key ContainerType in a StrDict is skipped")
        << Run::file(
               Run::strDict("<key>x</key><true/><key>ContainerType</key><string>StrDict</string>"
                            "<key>y</key><false/>"))
        << "S{x=bool:true,y=bool:false}" << none;
    QTest::newRow("first ContainerType decides")
        << Run::file(
               "<dict><key>ContainerType</key><string>IntDict</string><key>ContainerType</key>"
               "<string>StrDict</string><key>2</key><integer>5</integer></dict>")
        << "I{2=int:5}" << none;
    QTest::newRow("no version attribute")
        << QByteArray("<plist>" + Run::strDict("<key>a</key><integer>1</integer>") + "</plist>")
        << "S{a=int:1}" << none;
    QTest::newRow("later top elements are ignored")
        << Run::file("<true/><false/>" + Run::strDict("")) << "bool:true" << none;
    QTest::newRow("top element unrecognised leaves the model")
        << Run::file("<array><string>a</string></array>") << OldTree << none;
    QTest::newRow("unrecognised value elements")
        << Run::file(Run::strDict(
               "<key>a</key><array/><key>b</key><data>AA==</data>"
               "<key>c</key><date>2020-01-01T00:00:00Z</date><key>d</key><int>1</int>"))
        << "S{a=-,b=-,c=-,d=-}" << none;
    QTest::newRow("a key closing its dict")
        << Run::file(Run::strDict("<key>a</key><integer>1</integer><key>b</key>"))
        << "S{a=int:1,b=-}" << none;
    QTest::newRow("integers")
        << Run::file(
               Run::intDict("<key>1</key><integer>-2147483648</integer>"
                            "<key>2</key><integer>2147483648</integer>"
                            "<key>3</key><integer>12abc</integer><key>4</key><integer></integer>"
                            "<key>5</key><integer>99999999999999999999999999</integer>"
                            "<key>6</key><integer>1.5</integer>"))
        << "I{1=int:-2147483648,2=int:0,3=int:0,4=int:0,5=int:0,6=int:0}" << none;
    QTest::newRow("reals") << Run::file(Run::intDict(
                                  "<key>1</key><real>-0.25</real><key>2</key><real>x</real>"
                                  "<key>3</key><real>1e999</real><key>4</key><real>7</real>"))
                           << "I{1=double:-0.25,2=double:0,3=double:inf,4=double:7}" << none;
    QTest::newRow("strings")
        << Run::file(
               Run::strDict("<key>a</key><string/><key>b</key><string>&lt;&amp;&gt;&#233;</string>"
                            "<key>c</key><string><![CDATA[<x>]]></string>"))
        << "S{a=QString:,b=QString:<&>\u00e9,c=QString:<x>}" << none;
    QTest::newRow("blanks alone are a value, beside child elements none")
        << Run::file(Run::strDict("\n <key>a</key>\n <string> \t</string>\n <key>b</key>"
                                  "<string> <i/> x </string><key>c</key><string>a&#13;b</string>"))
        << "S{a=QString: \t,b=QString: x ,c=QString:a\rb}" << none;
    QTest::newRow("booleans with content")
        << Run::file(Run::strDict("<key>a</key><true>no</true><key>b</key><false>yes</false>"))
        << "S{a=bool:true,b=bool:false}" << none;
    QTest::newRow("a duplicate key keeps the last value")
        << Run::file(Run::strDict("<key>a</key>" + Run::intDict("<key>1</key><true/>") +
                                  "<key>a</key><integer>3</integer>"))
        << "S{a=int:3}" << none;
    QTest::newRow("comments and instructions between entries")
        << Run::file(Run::strDict("<!-- c --><key>a</key><?pi x?><integer>3</integer>"))
        << "S{a=int:3}" << none;

    QTest::newRow("no ContainerType keeps the old root")
        << Run::file("<dict><key>a</key><integer>1</integer></dict>") << OldTree
        << QStringList{kindError};
    QTest::newRow("unknown ContainerType")
        << Run::file("<dict><key>ContainerType</key><string>List</string></dict>") << OldTree
        << QStringList{kindError};
    QTest::newRow("nested dict without ContainerType")
        << Run::file(
               Run::strDict("<key>a</key><dict><key>b</key><true/></dict><key>c</key><true/>"))
        << "S{a=-,c=bool:true}" << QStringList{kindError};
    QTest::newRow("value without a key")
        << Run::file(Run::strDict("<integer>5</integer><key>a</key><true/><string>x</string>"))
        << "S{a=bool:true}" << QStringList{missing, missing};
    QTest::newRow("empty key") << Run::file(Run::strDict(
                                      "<key></key><integer>5</integer><key>a</key><true/>"))
                               << "S{a=bool:true}" << QStringList{invalid, missing};
    QTest::newRow("IntDict keys that are no identifier")
        << Run::file(Run::intDict("<key>x</key><integer>5</integer><key>-1</key><true/>"
                                  "<key>0</key><true/><key>4294967296</key><true/>"
                                  "<key>3</key><false/>"))
        << "I{3=bool:false}" << QStringList{invalid, invalid, invalid, invalid};
    QTest::newRow("two keys in a row")
        << Run::file(
               Run::strDict("<key>a</key><key>b</key><integer>1</integer><key>c</key><true/>"))
        << "S{c=bool:true}" << QStringList{twoKeys, missing};
    QTest::newRow("errors inside nested dicts")
        << Run::file(Run::intDict(
               "<key>1</key>" + Run::strDict("<key>a</key><key>b</key><true/>") + "<key>2</key>" +
               Run::intDict("<key>0</key><true/><key>7</key><string>ok</string>")))
        << "I{1=S{},2=I{7=QString:ok}}" << QStringList{twoKeys, missing, invalid};
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

    QStringList general;
    QCOMPARE(generalReading(file, &general), expected);
    QCOMPARE(general, diagnostics);
}

void TestQmdPropertyList::rejected_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("error");

    const QByteArray unclosed = "<?xml version=\"1.0\"?>\n<plist>\n  <dict>\n";
    QTest::newRow("unclosed elements") << unclosed << Run::parserError(unclosed);
    QTest::newRow("error position")
        << QByteArray("<plist>\n<dict>\n  <key>a</key>\n  <b></c>\n</dict></plist>")
        << "Parse error at line 4, column 9:\nOpening and ending tag mismatch.";

    QTest::newRow("other document element")
        << QByteArray("<?xml version=\"1.0\"?><dict><key>ContainerType</key>"
                      "<string>StrDict</string></dict>")
        << "The file is not a plist file.";
    QTest::newRow("prefixed document element")
        << QByteArray("<a:plist xmlns:a=\"urn:x\" version=\"1.0\"><true/></a:plist>")
        << "The file is not a plist file.";
    QTest::newRow("version 2.0") << QByteArray("<plist version=\"2.0\"><true/></plist>")
                                 << "The file is not a plist version 1.0 file.";
    QTest::newRow("version 1.00") << QByteArray("<plist version=\"1.00\"><true/></plist>")
                                  << "The file is not a plist version 1.0 file.";
}

// A rejected file leaves the model exactly as it was, not even touched, and
// its one diagnostic is also what the caller is told.
void TestQmdPropertyList::rejected()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, error);

    QVERIFY(!error.isEmpty());
    QmdMemModel model;
    QVERIFY(ModelBuild::tree(model, OldTree));
    const int undoSteps = model.undoRedoCount();
    const ModelSignalLog signalLog(&model);
    const Run::Read read = Run::read(model, file);
    QVERIFY(!read.accepted);
    QCOMPARE(read.error, error);
    QCOMPARE(read.diagnostics, QStringList{error});
    QCOMPARE(ModelDump::tree(model), OldTree);
    QCOMPARE(signalLog.lines(), QStringList());
    QCOMPARE(model.undoRedoCount(), undoSteps);
}

void TestQmdPropertyList::importIntoItem_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("expected");

    QTest::newRow("dict into a StrDict item")
        << "/Doc" << Run::file(Run::intDict("<key>4</key><true/>"))
        << "S{Doc=I{4=bool:true},Other=I{1=int:1}}";
    QTest::newRow("value into an IntDict item") << "/Other/1" << Run::file("<string>v</string>")
                                                << "S{Doc=S{a=int:2},Other=I{1=QString:v}}";
    QTest::newRow("unusable dict leaves the item")
        << "/Doc" << Run::file("<dict/>") << "S{Doc=S{a=int:2},Other=I{1=int:1}}";
}

// Loading into an item replaces that item only.
void TestQmdPropertyList::importIntoItem()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, file);
    QFETCH(QString, expected);

    QmdMemModel model;
    QVERIFY(ModelBuild::tree(model, "S{Doc=S{a=int:2},Other=I{1=int:1}}"));
    const QmdIndex index = ModelBuild::indexAt(model, path);
    QVERIFY(model.isValid(index));
    QVERIFY(Run::read(model, file, index).accepted);
    QCOMPARE(ModelDump::tree(model), expected);
}

// Reader and writer neither close the device nor move it back.
void TestQmdPropertyList::deviceStaysTheCallers()
{
    QmdMemModel model;
    QVERIFY(ModelBuild::tree(model, "S{a=int:1}"));
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    out.write("prefix\n");
    QmdPropertyListExporter(&model, &out).exportIndex();
    QVERIFY(out.isOpen());
    QVERIFY(out.data().startsWith("prefix\n<?xml"));

    QByteArray file = out.data().mid(7);
    QBuffer in(&file);
    in.open(QIODevice::ReadOnly);
    QmdMemModel target;
    QVERIFY(QmdPropertyListImporter(&target, &in).importIndex());
    QVERIFY(in.isOpen());
    QVERIFY(in.atEnd());
    QCOMPARE(ModelDump::tree(target), "S{a=int:1}");
}

// Without a device, or once it is destroyed, nothing is written, and reading
// rejects the empty input.
void TestQmdPropertyList::noDevice()
{
    QmdMemModel model;
    QVERIFY(ModelBuild::tree(model, OldTree));
    QTest::failOnWarning(QRegularExpression("QXmlStreamWriter"));
    auto *destroyed = new QBuffer;
    destroyed->open(QIODevice::WriteOnly);
    QmdPropertyListExporter exporter(&model, destroyed);
    delete destroyed;
    QCOMPARE(exporter.device(), nullptr);
    exporter.exportIndex();
    QmdPropertyListExporter(&model, nullptr).exportIndex();
    QmdPropertyListImporter importer(&model, nullptr);
    const DiagnosticLog log("ludra.model.plist");
    QVERIFY(!importer.importIndex());
    QCOMPARE(importer.errorString(), Run::parserError(QByteArray()));
    QCOMPARE(log.messages(), QStringList{importer.errorString()});
    QCOMPARE(ModelDump::tree(model), OldTree);
}

QTEST_GUILESS_MAIN(TestQmdPropertyList)
#include "tst_qmdpropertylist.moc"
