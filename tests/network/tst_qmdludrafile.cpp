#include "modeldump.h"
#include "qmdludra.h"
#include "qmdludracontroller.h"
#include "qmdludraexporter.h"
#include "qmdludraimporter.h"
#include "qmdmemmodel.h"

#include <QBitArray>
#include <QBuffer>
#include <QColor>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

using QmdLudra::TickPos;

namespace {

// Where a value under test sits: the container of record 1 ("Elements" or
// "Instruments"), or the root.
const char *const InElement = "Elements";
const char *const InInstrument = "Instruments";
const char *const AtRoot = "";

QByteArray plist(const QByteArray &rootDict)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n"
           "<dict><key>ContainerType</key><string>StrDict</string>" +
           rootDict + "</dict>\n</plist>\n";
}

QByteArray placed(const QByteArray &place, const QByteArray &key, const QByteArray &valueElement)
{
    const QByteArray entry = "<key>" + key + "</key>" + valueElement;
    if (place.isEmpty())
        return entry;
    return "<key>" + place + "</key><dict><key>ContainerType</key><string>IntDict</string>" +
           "<key>1</key><dict><key>ContainerType</key><string>StrDict</string>" + entry +
           "</dict></dict>";
}

QmdIndex placedIndex(const QmdModel &model, const QString &place, const QString &key)
{
    return place.isEmpty() ? model.index(key)
                           : model.index(key, model.index(1, model.index(place)));
}

QBitArray bits(std::initializer_list<int> set, int size = 16)
{
    QBitArray result(size);
    for (int i : set)
        result.setBit(i);
    return result;
}

QByteArray readAll(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

QByteArray exported(QmdModel &model)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QmdLudraExporter exporter(&model, &buffer);
    exporter.exportIndex(QmdIndex());
    return buffer.data();
}

} // namespace

class TestQmdLudraFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readValue_data();
    void readValue();
    void writeValue_data();
    void writeValue();
    void roundTripKeepsEveryValueKind();
    void saveFails_data();
    void saveFails();
    void saveReplacesOrCreates_data();
    void saveReplacesOrCreates();
    void rejectedLoadKeepsDocument_data();
    void rejectedLoadKeepsDocument();
    void loadReplacesDocumentAndHistory();

private:
    // A document with every kind of value a network holds.
    static void fillDocument(QmdMemModel &model);
};

void TestQmdLudraFile::readValue_data()
{
    QTest::addColumn<QByteArray>("place");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("element");
    QTest::addColumn<QVariant>("expected");

    const auto row = [](const char *name, const char *place, const char *key, const char *element,
                        const QVariant &expected) {
        QTest::newRow(name) << QByteArray(place) << QByteArray(key) << QByteArray(element)
                            << expected;
    };
    row("kind arc", InElement, "Type", "<string>arc</string>", 1u);
    row("kind unknown", InElement, "Type", "<string>Cloud</string>", 0u);
    row("kind as integer", InElement, "Type", "<integer>2</integer>", 2);
    row("kind outside elements", AtRoot, "Type", "<string>Node</string>", QString("Node"));
    row("path flipped", InElement, "Path", "<string>CityBlockFlipped</string>", 1);
    row("signalling random", InElement, "SignallingMethod", "<string>Random</string>", 2);
    row("position beyond 32 bits", InElement, "TickPos",
        "<string>{-9223372036854775808, 9223372036854775807}</string>",
        QVariant::fromValue(
            TickPos{std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max()}));
    row("position space after brace", InElement, "TickPos", "<string>{ 1, 2}</string>",
        QString("{ 1, 2}"));
    row("position fraction", InElement, "TickPos", "<string>{1.5, 2}</string>",
        QString("{1.5, 2}"));
    row("position too large", InElement, "TickPos", "<string>{99999999999999999999, 2}</string>",
        QString("{99999999999999999999, 2}"));
    row("position outside elements", AtRoot, "TickPos", "<string>{1, 2}</string>",
        QString("{1, 2}"));
    row("channels anywhere", AtRoot, "MidiChannels", "<string>0101</string>", bits({1, 3}, 4));
    row("channels not binary", InInstrument, "MidiChannels", "<string>01a</string>",
        QString("01a"));
    row("style colour", AtRoot, "StyleNodesColor", "<string>#ff000080</string>",
        QColor(255, 0, 0, 128));
    row("style colour without alpha", AtRoot, "StyleEdgesColor", "<string>#00ff00</string>",
        QColor(0, 255, 0, 0));
    row("style colour bad alpha", AtRoot, "StyleAnnotationColor", "<string>#0000ffzz</string>",
        QColor(0, 0, 255, 0));
    row("style key in element", InElement, "StyleNodesColor", "<string>#ff0000ff</string>",
        QString("#ff0000ff"));
    row("instrument colour", InInstrument, "Color", "<string>#ff8000</string>",
        QColor(255, 128, 0));
    row("instrument colour with alpha", InInstrument, "Color", "<string>#0a010203</string>",
        QColor(1, 2, 3, 10));
}

void TestQmdLudraFile::readValue()
{
    QFETCH(QByteArray, place);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, element);
    QFETCH(QVariant, expected);

    QByteArray content = plist(placed(place, key, element));
    QBuffer buffer(&content);
    buffer.open(QIODevice::ReadOnly);
    QmdMemModel model;
    QmdLudraImporter importer(&model, &buffer);
    QVERIFY2(importer.importIndex(), qPrintable(importer.errorString()));
    const QVariant value =
        model.data(placedIndex(model, QString::fromLatin1(place), QString::fromLatin1(key)));
    QCOMPARE(value.metaType(), expected.metaType());
    QCOMPARE(value, expected);
}

void TestQmdLudraFile::writeValue_data()
{
    QTest::addColumn<QByteArray>("place");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QByteArray>("written");

    const auto row = [](const char *name, const char *place, const char *key, const QVariant &value,
                        const char *written) {
        QTest::newRow(name) << QByteArray(place) << QString(key) << value << QByteArray(written);
    };
    row("style colour alpha padded", AtRoot, "StyleAnnotationColor", QColor(1, 2, 3, 10),
        "<string>#0102030a</string>");
    row("style key in element", InElement, "StyleNodesColor", QColor(255, 0, 0),
        "<string>#ff0000</string>");
    row("colour with alpha elsewhere", InInstrument, "Color", QColor(1, 2, 3, 10),
        "<string>#0a010203</string>");
    row("kind outside elements", AtRoot, "Type", 4u, "<integer>4</integer>");
    row("path", InElement, "Path", 1, "<string>CityBlockFlipped</string>");
    row("position anywhere", AtRoot, "Anchor", QVariant::fromValue(TickPos{-3, 4}),
        "<string>{-3, 4}</string>");
    row("bit array anywhere", InElement, "Mask", bits({1, 2}, 4), "<string>0110</string>");
}

void TestQmdLudraFile::writeValue()
{
    QFETCH(QByteArray, place);
    QFETCH(QString, key);
    QFETCH(QVariant, value);
    QFETCH(QByteArray, written);

    QmdMemModel model(Qmd::StrDict);
    QmdIndex parent;
    if (!place.isEmpty()) {
        const QString container = QString::fromLatin1(place);
        model.setTypes(QHash<QString, Qmd::ContainerType>{{container, Qmd::IntDict}});
        model.setTypes(QHash<QmdItemId, Qmd::ContainerType>{{1, Qmd::StrDict}},
                       model.index(container));
        parent = model.index(1, model.index(container));
    }
    model.setData(QHash<QString, QVariant>{{key, value}}, parent);
    const QByteArray file = exported(model);
    const QByteArray entry = "<key>" + key.toLatin1() + "</key>";
    const qsizetype at = file.indexOf(entry);
    QVERIFY2(at >= 0, file.constData());
    const QByteArray after = file.mid(at + entry.size()).trimmed();
    QVERIFY2(after.startsWith(written), after.left(60).constData());
}

void TestQmdLudraFile::fillDocument(QmdMemModel &model)
{
    const QHash<QString, QVariant> root{{"Tempo", 97u},
                                        {"PrincipalsToBeatsNumerator", 3u},
                                        {"PrincipalsToBeatsDenominator", 2u},
                                        {"DivsPerPrincipal", 6u},
                                        {"ShowGrid", false},
                                        {"ZoomScale", 1.75},
                                        {"SyncType", "midi"},
                                        {"Title", QString::fromUtf8("Tänze & <Fugen>")},
                                        {"Comment", "two\nlines"},
                                        {"StyleBackgroundColor", QColor(1, 2, 3, 0)},
                                        {"StyleEdgesColor", QColor(250, 251, 252, 255)}};
    model.setData(root);
    model.setTypes(QHash<QString, Qmd::ContainerType>{{"Elements", Qmd::IntDict},
                                                      {"Instruments", Qmd::IntDict},
                                                      {"SyncMidiInputs", Qmd::StrDict},
                                                      {"SyncMidiOutputs", Qmd::StrDict}});
    const QmdIndex inputs = model.index("SyncMidiInputs");
    const QmdIndex outputs = model.index("SyncMidiOutputs");
    model.setTypes(QHash<QString, Qmd::ContainerType>{{"Keyboard In", Qmd::StrDict}}, inputs);
    model.setData(QHash<QString, QVariant>{{"MidiSync", true}}, model.index("Keyboard In", inputs));
    model.setTypes(QHash<QString, Qmd::ContainerType>{{"Synth Out", Qmd::StrDict}}, outputs);
    model.setData(QHash<QString, QVariant>{{"MidiSync", false}}, model.index("Synth Out", outputs));

    const QmdIndex elements = model.index("Elements");
    const auto element = [&](QmdItemId id, const QHash<QString, QVariant> &values) {
        model.setTypes(QHash<QmdItemId, Qmd::ContainerType>{{id, Qmd::StrDict}}, elements);
        model.setData(values, model.index(id, elements));
        return model.index(id, elements);
    };
    const qint64 min = std::numeric_limits<qint64>::min();
    const qint64 max = std::numeric_limits<qint64>::max();
    const QmdIndex node =
        element(1, {{"Type", 2u},
                    {"TickPos", QVariant::fromValue(TickPos{-665280, 3 * 4294967296LL + 1})},
                    {"PitchList", "C3 D#4"},
                    {"VelocityList", "64 100"},
                    {"DurationList", "100% 50%"},
                    {"UserMidiMessageList", "B0 07 7F"},
                    {"SignallingMethod", 0},
                    {"ArcUsageList", "4=1,5=3"},
                    {"DontPlayNote", true},
                    {"DoInstrumentChange", true},
                    {"Instrument", 2u},
                    {"IsHidden", false}});
    model.setTypes(QHash<QString, Qmd::ContainerType>{{"ArcIdentifiers", Qmd::IntDict}}, node);
    model.setData(QHash<QmdItemId, QVariant>{{4, 0}, {5, 1}}, model.index("ArcIdentifiers", node));
    element(2, {{"Type", 2u},
                {"TickPos", QVariant::fromValue(TickPos{min, max})},
                {"SignallingMethod", 2}});
    element(4, {{"Type", 1u}, {"FromNode", 1u}, {"ToNode", 2u}, {"Path", 0}});
    element(5, {{"Type", 1u}, {"FromNode", 1u}, {"ToNode", 2u}, {"Path", 2}, {"IsWormhole", true}});
    element(7, {{"Type", 4u},
                {"ToNode", 1u},
                {"InitialPitch", "E4"},
                {"InitialVelocity", "90"},
                {"InitialDuration", "0.5"},
                {"InitialInstrument", 2u},
                {"IsHidden", true}});
    element(8, {{"Type", 3u},
                {"TickPos", QVariant::fromValue(TickPos{-1, -2})},
                {"Text", "<html><body>Theme &amp; variations</body></html>"}});

    const QmdIndex instruments = model.index("Instruments");
    model.setTypes(QHash<QmdItemId, Qmd::ContainerType>{{2, Qmd::StrDict}}, instruments);
    model.setData(QHash<QString, QVariant>{{"Type", "midi"},
                                           {"Label", "Instrument"},
                                           {"Color", QColor(255, 128, 0)},
                                           {"MidiPort", "Synth Out"},
                                           {"MidiChannels", bits({0, 9, 15})},
                                           {"MidiDoProgramChange", true},
                                           {"MidiProgram", 42},
                                           {"MidiBankMSB", 3},
                                           {"MidiBankLSB", 7}},
                  model.index(2, instruments));
}

void TestQmdLudraFile::roundTripKeepsEveryValueKind()
{
    QTemporaryDir dir;
    const QString fileName = dir.filePath("every.ldx");
    QmdMemModel sourceModel(Qmd::StrDict);
    fillDocument(sourceModel);
    QmdLudraController source;
    source.setModel(&sourceModel);
    source.requestSetData("Scratch", 1, source.tempIndex());
    QSignalSpy saved(&source, &QmdLudraController::fileSaved);
    source.requestSave(fileName);
    QCOMPARE(saved.count(), 1);

    const QByteArray file = readAll(fileName);
    for (const char *text : {"<string>TextBox</string>", "<string>VoiceGroup</string>",
                             "<string>CityBlock</string>", "<string>Direct</string>",
                             "<string>Random</string>", "<string>{-665280, 12884901889}</string>",
                             "<string>1000000001000001</string>", "<string>#01020300</string>"})
        QVERIFY2(file.contains(text), text);
    QVERIFY(!file.contains("<key>Temp</key>"));
    QVERIFY(!file.contains("Scratch"));

    QmdMemModel loadedModel;
    QmdLudraController loaded;
    loaded.setModel(&loadedModel);
    QSignalSpy loadedSpy(&loaded, &QmdLudraController::fileLoaded);
    loaded.requestLoad(fileName);
    QCOMPARE(loadedSpy.count(), 1);
    QCOMPARE(loaded.fileName(), fileName);
    // The source's own scratch value is its own.
    source.requestClear(source.tempIndex());
    // Numbers may come back signed.
    const auto dump = [](const QmdModel &model) {
        return ModelDump::tree(model).replace("uint:", "int:").split("},");
    };
    QCOMPARE(dump(loadedModel), dump(sourceModel));
}

void TestQmdLudraFile::saveFails_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QFileDevice::Permissions>("permissions");

    const QFileDevice::Permissions readable =
        QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    // The superuser could still write these, so what counts is the mode,
    // not whether a write would go through; others are not who saves.
    QTest::newRow("read-only for everybody") << "protected.ldx" << readable;
    QTest::newRow("writable by others only")
        << "protected.ldx" << (readable | QFileDevice::WriteOther);
    QTest::newRow("missing folder") << "missing/doc.ldx" << QFileDevice::Permissions();
}

void TestQmdLudraFile::saveFails()
{
    QFETCH(QString, name);
    QFETCH(QFileDevice::Permissions, permissions);

    QTemporaryDir dir;
    const QString fileName = dir.filePath(name);
    const QByteArray original = plist("<key>Tempo</key><integer>60</integer>");
    const bool protectedFile = permissions != QFileDevice::Permissions();
    if (protectedFile) {
        QFile file(fileName);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(original);
        file.close();
        QVERIFY(QFile::setPermissions(fileName, permissions));
    }
    QmdMemModel model;
    QmdLudraController controller;
    controller.setModel(&model);
    QSignalSpy errors(&controller, &QmdLudraController::fileSaveError);
    QSignalSpy finished(&controller, &QmdLudraController::requestFinished);
    const QmdRequestId rid = controller.requestSave(fileName);

    QCOMPARE(errors.count(), 1);
    const auto error = errors.at(0).at(1).value<QFile::FileError>();
    QVERIFY(protectedFile ? error == QFile::PermissionsError : error != QFile::NoError);
    QVERIFY(!controller.lastFileErrorString().isEmpty());
    QVERIFY(controller.fileName().isEmpty());
    if (protectedFile)
        QCOMPARE(readAll(fileName), original);
    // Nothing of the writing is left.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
             protectedFile ? QStringList{name} : QStringList());
    // The save's own request ends with the failure status.
    const auto statusOf = [&finished](QmdRequestId id) {
        for (const QList<QVariant> &signal : finished) {
            if (signal.at(0).value<QmdRequestId>() == id)
                return signal.at(1).toInt();
        }
        return 1;
    };
    QTRY_COMPARE(statusOf(rid), -1);
}

void TestQmdLudraFile::saveReplacesOrCreates_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QFileDevice::Permissions>("permissions");

    const QFileDevice::Permissions readable =
        QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    QTest::newRow("new name") << false << QFileDevice::Permissions();
    QTest::newRow("writable by owner") << true << (readable | QFileDevice::WriteOwner);
    QTest::newRow("writable by group only") << true << (readable | QFileDevice::WriteGroup);
}

void TestQmdLudraFile::saveReplacesOrCreates()
{
    QFETCH(bool, exists);
    QFETCH(QFileDevice::Permissions, permissions);

    QTemporaryDir dir;
    const QString fileName = dir.filePath("doc.ldx");
    if (exists) {
        QFile file(fileName);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("old content");
        file.close();
        QVERIFY(QFile::setPermissions(fileName, permissions));
    }
    QmdMemModel model;
    QmdLudraController controller;
    controller.setModel(&model);
    controller.requestSetData("Tempo", 77u);
    QSignalSpy saved(&controller, &QmdLudraController::fileSaved);
    controller.requestSave(fileName);

    QCOMPARE(saved.count(), 1);
    QCOMPARE(controller.fileName(), fileName);
    QVERIFY(controller.lastFileErrorString().isEmpty());
    const QByteArray content = readAll(fileName);
    QVERIFY(content.startsWith("<?xml"));
    QVERIFY(content.contains("<key>Tempo</key>\n        <integer>77</integer>"));
    // Nothing of the writing is left beside the file.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"doc.ldx"});
}

void TestQmdLudraFile::rejectedLoadKeepsDocument_data()
{
    QTest::addColumn<QByteArray>("content");

    QTest::newRow("not xml") << QByteArray("this is not a document <<<");
    QTest::newRow("other version")
        << QByteArray("<?xml version=\"1.0\"?><plist version=\"2.0\"><dict/></plist>");
    QTest::newRow("cut short") << plist("<key>Tempo</key><integer>60</integer>").left(120);
}

void TestQmdLudraFile::rejectedLoadKeepsDocument()
{
    QFETCH(QByteArray, content);

    QTemporaryDir dir;
    const QString good = dir.filePath("good.ldx");
    const QString bad = dir.filePath("bad.ldx");
    {
        QFile file(bad);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    QmdMemModel model;
    QmdLudraController controller;
    controller.setModel(&model);
    controller.requestSetData("Tempo", 133u);
    controller.requestSave(good);
    controller.requestSetData("Title", "edited after saving");
    controller.requestSetData("Tempo", 134u);
    const QString before = ModelDump::tree(model);
    const int undoSteps = model.undoRedoCount();
    QVERIFY(undoSteps >= 2);

    QSignalSpy errors(&controller, &QmdLudraController::fileLoadError);
    QSignalSpy names(&controller, &QmdLudraController::fileNameChanged);
    controller.requestLoad(bad);

    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(1).value<QFile::FileError>(), QFile::ReadError);
    QVERIFY(!controller.lastFileErrorString().isEmpty());
    QCOMPARE(ModelDump::tree(model), before);
    QCOMPARE(controller.fileName(), good);
    QCOMPARE(names.count(), 0);
    QCOMPARE(model.undoRedoCount(), undoSteps);
    QCOMPARE(model.undoText(), QString("Set Data"));
    QVERIFY(!model.isAtCleanState());
    controller.requestUndo();
    QCOMPARE(controller.data(controller.index("Tempo")).toUInt(), 133u);
}

void TestQmdLudraFile::loadReplacesDocumentAndHistory()
{
    // Unknown names and kinds in the file fall back to defaults; values of
    // no known kind are left out, unknown keys kept. The file is read in the
    // encoding it declares.
    QTemporaryDir dir;
    const QString fileName = dir.filePath("doc.ldx");
    {
        QFile file(fileName);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(plist("<key>Tempo</key><integer>61</integer>"
                         "<key>Bogus</key><array/><key>Extra</key><string>kept</string>"
                         "<key>Elements</key><dict><key>ContainerType</key><string>IntDict</string>"
                         "<key>3</key><dict><key>ContainerType</key><string>StrDict</string>"
                         "<key>Type</key><string>Hexagon</string>"
                         "<key>Path</key><string>Wiggly</string></dict>"
                         "<key>4</key><dict><key>ContainerType</key><string>StrDict</string>"
                         "<key>Type</key><string>TextBox</string>"
                         "<key>Text</key><string>Caf\xe9 \xbd</string></dict></dict>"
                         "<key>Instruments</key><dict><key>ContainerType</key><string>Tree</string>"
                         "</dict>")
                       .replace("UTF-8", "ISO-8859-1"));
    }
    QmdMemModel model;
    QmdLudraController controller;
    controller.setModel(&model);
    controller.requestSetData("Comment", "only in the old document");
    controller.requestSetData("Tempo", 99u);
    controller.requestUndo();
    QVERIFY(model.canUndo() && model.canRedo());

    QSignalSpy canUndo(&controller, &QmdLudraController::canUndoChanged);
    QSignalSpy loaded(&controller, &QmdLudraController::fileLoaded);
    controller.requestLoad(fileName);
    QCOMPARE(loaded.count(), 1);
    QCOMPARE(model.undoRedoCount(), 0);
    QVERIFY(model.isAtCleanState());
    QCOMPARE(controller.data(controller.index("Tempo")), QVariant(61));
    QVERIFY(!controller.isValid(controller.index("Comment")));
    const QmdIndex element = controller.index(3, controller.elementsIndex());
    QCOMPARE(controller.data(controller.index("Type", element)), QVariant(0u));
    QCOMPARE(controller.data(controller.index("Path", element)), QVariant(0));
    const QmdIndex textBox = controller.index(4, controller.elementsIndex());
    QCOMPARE(controller.data(controller.index("Text", textBox)), QVariant("Caf\u00e9 \u00bd"));
    QCOMPARE(controller.data(controller.index("Extra")), QVariant("kept"));
    QVERIFY(!controller.data(controller.index("Bogus")).isValid());
    QCOMPARE(controller.containerType(controller.instrumentsIndex()), Qmd::IntDict);
    QTRY_VERIFY(!canUndo.isEmpty());
    QCOMPARE(canUndo.last().at(0).toBool(), false);
    // Undo has nothing left to act on.
    controller.requestUndo();
    QCOMPARE(controller.data(controller.index("Tempo")), QVariant(61));
}

QTEST_GUILESS_MAIN(TestQmdLudraFile)
#include "tst_qmdludrafile.moc"
