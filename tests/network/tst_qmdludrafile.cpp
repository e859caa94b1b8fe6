#include "modeldump.h"
#include "qmdludra.h"
#include "qmdludracontroller.h"
#include "qmdmemmodel.h"

#include <QBitArray>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

using QmdLudra::TickPos;

namespace {

QByteArray plist(const QByteArray &rootDict)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n"
           "<dict><key>ContainerType</key><string>StrDict</string>" +
           rootDict + "</dict>\n</plist>\n";
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

} // namespace

class TestQmdLudraFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void roundTripKeepsEveryValueKind();
    void saveFollowsTheFileMode_data();
    void saveFollowsTheFileMode();
    void loadReplacesDocumentAndHistory();

private:
    // A document with every kind of value a network holds.
    static void fillDocument(QmdMemModel &model);
};

void TestQmdLudraFile::fillDocument(QmdMemModel &model)
{
    const QHash<QString, QVariant> root{{"Tempo", 97u},
                                        {"PrincipalsToBeatsNumerator", 3u},
                                        {"PrincipalsToBeatsDenominator", 2u},
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
                    {"DurationList", "100% 50%"},
                    {"SignallingMethod", 0},
                    {"ArcUsageList", "4=1,5=3"},
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
                                           {"MidiProgram", 42},
                                           {"MidiBankLSB", 7}},
                  model.index(2, instruments));
    model.setTypes(QHash<QmdItemId, Qmd::ContainerType>{{3, Qmd::StrDict}}, instruments);
    model.setData(QHash<QString, QVariant>{{"Type", "midi"}, {"Color", QColor(1, 2, 3, 10)}},
                  model.index(3, instruments));
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
    for (const char *text :
         {"<string>TextBox</string>", "<string>VoiceGroup</string>", "<string>CityBlock</string>",
          "<string>Direct</string>", "<string>Random</string>",
          "<string>{-665280, 12884901889}</string>", "<string>1000000001000001</string>",
          "<string>#01020300</string>", "<string>#ff8000</string>", "<string>#0a010203</string>"})
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

void TestQmdLudraFile::saveFollowsTheFileMode_data()
{
    QTest::addColumn<QString>("name");
    // Of a file there before; none when empty.
    QTest::addColumn<QFileDevice::Permissions>("permissions");
    QTest::addColumn<bool>("saved");

    const QFileDevice::Permissions readable =
        QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    QTest::newRow("new name") << "doc.ldx" << QFileDevice::Permissions() << true;
    QTest::newRow("writable by owner") << "doc.ldx" << (readable | QFileDevice::WriteOwner) << true;
    QTest::newRow("writable by group only")
        << "doc.ldx" << (readable | QFileDevice::WriteGroup) << true;
    // The superuser could still write these, so what counts is the mode,
    // not whether a write would go through; others are not who saves.
    QTest::newRow("read-only for everybody") << "doc.ldx" << readable << false;
    QTest::newRow("writable by others only")
        << "doc.ldx" << (readable | QFileDevice::WriteOther) << false;
    QTest::newRow("missing folder") << "missing/doc.ldx" << QFileDevice::Permissions() << false;
}

void TestQmdLudraFile::saveFollowsTheFileMode()
{
    QFETCH(QString, name);
    QFETCH(QFileDevice::Permissions, permissions);
    QFETCH(bool, saved);

    QTemporaryDir dir;
    const QString fileName = dir.filePath(name);
    const bool existed = permissions != QFileDevice::Permissions();
    if (existed) {
        QFile file(fileName);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("old content") > 0);
        file.close();
        QVERIFY(QFile::setPermissions(fileName, permissions));
    }
    QmdMemModel model;
    QmdLudraController controller;
    controller.setModel(&model);
    controller.requestSetData("Tempo", 77u);
    QSignalSpy errors(&controller, &QmdLudraController::fileSaveError);
    controller.requestSave(fileName);

    QCOMPARE(errors.isEmpty(), saved);
    QCOMPARE(controller.fileName(), saved ? fileName : QString());
    QCOMPARE(controller.lastFileErrorString().isEmpty(), saved);
    if (saved) {
        QVERIFY(readAll(fileName).contains("<key>Tempo</key>\n        <integer>77</integer>"));
    } else if (existed) {
        QCOMPARE(errors.first().at(1).value<QFile::FileError>(), QFile::PermissionsError);
        QCOMPARE(readAll(fileName), QByteArray("old content"));
    }
    // Nothing of the writing is left beside the file.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
             saved || existed ? QStringList{name} : QStringList());
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
