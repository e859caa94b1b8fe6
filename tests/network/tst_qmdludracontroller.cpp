#include "modeldump.h"
#include "qmdludra.h"
#include "qmdludracontroller.h"
#include "qmdludrapalette.h"
#include "qmdludrastylepresets.h"
#include "qmdmemmodel.h"
#include "recordinginstrument.h"

#include <QBitArray>
#include <QColor>
#include <QSignalSpy>
#include <QTest>

namespace {

const QStringList StyleKeys{"StyleBackgroundColor",      "StylePrincipalLinesColor",
                            "StylePrincipalPointsColor", "StyleDivisionLinesColor",
                            "StyleDivisionPointsColor",  "StyleAnnotationColor",
                            "StyleNodesColor",           "StyleEdgesColor"};

QHash<QString, QColor> styleColors(const QmdLudraController &controller)
{
    QHash<QString, QColor> colors;
    for (const QString &key : StyleKeys)
        colors.insert(key, controller.data(controller.index(key)).value<QColor>());
    return colors;
}

// Adds an element record straight into the tree, as a file would hold it.
QmdIndex addElement(QmdMemModel &model, QmdItemId id, const QHash<QString, QVariant> &values)
{
    if (model.containerType(model.index("Elements")) != Qmd::IntDict)
        model.setTypes(QHash<QString, Qmd::ContainerType>{{"Elements", Qmd::IntDict}});
    const QmdIndex elements = model.index("Elements");
    model.setTypes(QHash<QmdItemId, Qmd::ContainerType>{{id, Qmd::StrDict}}, elements);
    model.setData(values, model.index(id, elements));
    return model.index(id, elements);
}

} // namespace

class TestQmdLudraController : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void registersTickPos();
    void resetDefaults_data();
    void resetDefaults();
    void resetKeepsContainersAndClearsTemp();
    void resetRebuildsElementStates();
    void resetIsNotUndoable();
    void resetReplacesDamagedContainers();
    void convertsOrderedArcUsages_data();
    void convertsOrderedArcUsages();
    void movesInstrumentsOutOfVoiceGroups_data();
    void movesInstrumentsOutOfVoiceGroups();
    void conversionIsNotSignalled();
    void toggles_data();
    void toggles();
    void presetNames();
    void presetThenUndoRestoresColours_data();
    void presetThenUndoRestoresColours();
    void unknownPresetChangesNothing();
    void palette_data();
    void palette();
    void templateLoads();

private:
    // The documents here are about editing: their instruments must not
    // reach for MIDI ports and write the port they found back.
    InstrumentRecorder m_instruments;
};

void TestQmdLudraController::registersTickPos()
{
    QmdLudraController controller;
    const QMetaType type = QMetaType::fromName("QmdLudra::TickPos");
    QVERIFY(type.isValid());
    QCOMPARE(type, QMetaType::fromType<QmdLudra::TickPos>());
}

void TestQmdLudraController::resetDefaults_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QVariant>("expected");

    const QVariant none;
    QTest::newRow("Tempo default") << "Tempo" << none << QVariant(120u);
    QTest::newRow("Tempo kept") << "Tempo" << QVariant(90) << QVariant(90);
    QTest::newRow("numerator default") << "PrincipalsToBeatsNumerator" << none << QVariant(1u);
    QTest::newRow("numerator kept") << "PrincipalsToBeatsNumerator" << QVariant(3) << QVariant(3);
    QTest::newRow("denominator default") << "PrincipalsToBeatsDenominator" << none << QVariant(1u);
    QTest::newRow("denominator kept")
        << "PrincipalsToBeatsDenominator" << QVariant(7u) << QVariant(7u);
    QTest::newRow("divisions default") << "DivsPerPrincipal" << none << QVariant(4u);
    QTest::newRow("divisions kept") << "DivsPerPrincipal" << QVariant(3) << QVariant(3);
    QTest::newRow("grid default") << "ShowGrid" << none << QVariant(true);
    QTest::newRow("grid kept") << "ShowGrid" << QVariant(false) << QVariant(false);
    QTest::newRow("snap default") << "SnapToGrid" << none << QVariant(true);
    QTest::newRow("snap kept") << "SnapToGrid" << QVariant(false) << QVariant(false);
    QTest::newRow("counters default") << "ShowNodeCounters" << none << QVariant(false);
    QTest::newRow("counters kept") << "ShowNodeCounters" << QVariant(true) << QVariant(true);
    QTest::newRow("zoom default") << "ZoomScale" << none << QVariant(1.0);
    QTest::newRow("zoom kept") << "ZoomScale" << QVariant(2.5) << QVariant(2.5);
    QTest::newRow("sync default") << "SyncType" << none << QVariant("internal");
    QTest::newRow("sync kept") << "SyncType" << QVariant("midi") << QVariant("midi");
    QTest::newRow("tool default") << "Tool" << none << QVariant(2);
    QTest::newRow("tool always 2") << "Tool" << QVariant(5) << QVariant(2);
    QTest::newRow("no display mode") << "PlaybackPosDisplayMode" << none << none;
    QTest::newRow("display mode kept") << "PlaybackPosDisplayMode" << QVariant(1) << QVariant(1);
    QTest::newRow("background default")
        << "StyleBackgroundColor" << none << QVariant(QColor(39, 39, 47));
    QTest::newRow("principal lines default")
        << "StylePrincipalLinesColor" << none << QVariant(QColor(46, 46, 54));
    QTest::newRow("principal points default")
        << "StylePrincipalPointsColor" << none << QVariant(QColor(200, 200, 200));
    QTest::newRow("division lines default")
        << "StyleDivisionLinesColor" << none << QVariant(QColor(Qt::transparent));
    QTest::newRow("division points default")
        << "StyleDivisionPointsColor" << none << QVariant(QColor(128, 128, 128));
    QTest::newRow("annotation default")
        << "StyleAnnotationColor" << none << QVariant(QColor(255, 255, 255, 128));
    QTest::newRow("nodes default") << "StyleNodesColor" << none << QVariant(QColor(155, 158, 255));
    QTest::newRow("edges default") << "StyleEdgesColor" << none << QVariant(QColor(113, 117, 137));
    QTest::newRow("nodes colour kept")
        << "StyleNodesColor" << QVariant(QColor(1, 2, 3, 4)) << QVariant(QColor(1, 2, 3, 4));
    QTest::newRow("title kept") << "Title" << QVariant("Etude") << QVariant("Etude");
}

void TestQmdLudraController::resetDefaults()
{
    QFETCH(QString, key);
    QFETCH(QVariant, stored);
    QFETCH(QVariant, expected);

    QmdMemModel model(Qmd::StrDict);
    if (stored.isValid())
        model.setData(QHash<QString, QVariant>{{key, stored}});
    QmdLudraController controller;
    controller.setModel(&model);
    const QVariant value = controller.data(controller.index(key));
    QCOMPARE(value.metaType(), expected.metaType());
    QCOMPARE(value, expected);
}

void TestQmdLudraController::resetKeepsContainersAndClearsTemp()
{
    QmdMemModel model(Qmd::StrDict);
    model.setTypes(QHash<QString, Qmd::ContainerType>{
        {"SyncMidiInputs", Qmd::StrDict}, {"Instruments", Qmd::IntDict}, {"Temp", Qmd::StrDict}});
    model.setTypes(QHash<QString, Qmd::ContainerType>{{"Port", Qmd::StrDict}},
                   model.index("SyncMidiInputs"));
    model.setTypes(QHash<QmdItemId, Qmd::ContainerType>{{6, Qmd::StrDict}},
                   model.index("Instruments"));
    model.setData(QHash<QString, QVariant>{{"Leftover", 1}}, model.index("Temp"));

    QmdLudraController controller;
    controller.setModel(&model);

    QCOMPARE(controller.keys(controller.syncMidiInputsIndex()), QStringList{"Port"});
    QCOMPARE(controller.ids(controller.instrumentsIndex()), QmdItemIdList{6});
    QCOMPARE(controller.containerType(controller.syncMidiOutputsIndex()), Qmd::StrDict);
    QCOMPARE(controller.containerType(controller.tempIndex()), Qmd::StrDict);
    QVERIFY(controller.keys(controller.tempIndex()).isEmpty());
    QCOMPARE(controller.containerType(controller.elementStatesIndex()), Qmd::IntDict);
    QCOMPARE(controller.containerType(controller.elementsIndex()), Qmd::IntDict);
    const QList<std::pair<QmdIndex, QString>> cached{
        {controller.tempIndex(), "Temp"},
        {controller.elementStatesIndex(), "ElementStates"},
        {controller.instrumentsIndex(), "Instruments"},
        {controller.syncMidiInputsIndex(), "SyncMidiInputs"},
        {controller.syncMidiOutputsIndex(), "SyncMidiOutputs"}};
    for (const auto &[index, key] : cached)
        QCOMPARE(index, controller.index(key));
}

void TestQmdLudraController::resetRebuildsElementStates()
{
    QmdMemModel model(Qmd::StrDict);
    addElement(model, 1, {{"Type", 2u}});
    addElement(model, 2, {{"Type", 1u}, {"FromNode", 1u}, {"ToNode", 1u}});
    addElement(model, 3, {{"Type", 3u}});
    addElement(model, 4, {{"Type", 4u}, {"ToNode", 1u}});
    addElement(model, 5, {{"Type", 9u}});
    // States of an earlier run, and of an element that is gone.
    model.setTypes(QHash<QString, Qmd::ContainerType>{{"ElementStates", Qmd::IntDict}});
    const QmdIndex states = model.index("ElementStates");
    model.setTypes(QHash<QmdItemId, Qmd::ContainerType>{{1, Qmd::StrDict}, {8, Qmd::StrDict}},
                   states);
    model.setData(QHash<QString, QVariant>{{"HitCount", 7}, {"CurrentPitchId", 3}},
                  model.index(1, states));

    QmdLudraController controller;
    controller.setModel(&model);

    const QmdIndex rebuilt = controller.elementStatesIndex();
    QCOMPARE(ModelDump::tree(model, rebuilt),
             QString("I{1=S{CurrentDurationId=int:0,CurrentEdgeUsageId=uint:0,"
                     "CurrentEdgeUsageUses=int:0,CurrentPitchId=int:0,"
                     "CurrentUserMidiMessageId=int:0,CurrentVelocityId=int:0,HitCount=int:0},"
                     "2=S{CurrentScaleId=int:0}}"));
}

void TestQmdLudraController::resetIsNotUndoable()
{
    QmdMemModel model;
    QmdLudraController controller;
    controller.setModel(&model);
    controller.requestSetData("Title", "First");
    QCOMPARE(model.undoRedoCount(), 1);
    QSignalSpy modelReset(&controller, &QmdLudraController::modelReset);
    controller.reset();
    QCOMPARE(modelReset.count(), 1);
    QCOMPARE(model.undoRedoCount(), 1);
    QCOMPARE(model.undoText(), QString("Set Data"));
}

void TestQmdLudraController::resetReplacesDamagedContainers()
{
    QmdMemModel model(Qmd::StrDict);
    model.setData(QHash<QString, QVariant>{{"Instruments", "broken"}, {"SyncMidiOutputs", 3}});
    model.setTypes(QHash<QString, Qmd::ContainerType>{{"SyncMidiInputs", Qmd::IntDict}});
    QmdLudraController controller;
    controller.setModel(&model);
    QCOMPARE(controller.containerType(controller.instrumentsIndex()), Qmd::IntDict);
    QCOMPARE(controller.containerType(controller.syncMidiInputsIndex()), Qmd::StrDict);
    QCOMPARE(controller.containerType(controller.syncMidiOutputsIndex()), Qmd::StrDict);
}

void TestQmdLudraController::convertsOrderedArcUsages_data()
{
    QTest::addColumn<QList<std::pair<uint, int>>>("usages");
    QTest::addColumn<QString>("list");

    using Usages = QList<std::pair<uint, int>>;
    QTest::newRow("two entries") << Usages{{7, 2}, {9, 1}} << "7=2,9=1";
    QTest::newRow("one entry") << Usages{{12, 4}} << "12=4";
    QTest::newRow("same edge twice") << Usages{{3, 1}, {5, 2}, {3, 6}} << "3=1,5=2,3=6";
    QTest::newRow("no entries") << Usages{} << "";
}

void TestQmdLudraController::convertsOrderedArcUsages()
{
    using Usages = QList<std::pair<uint, int>>;
    QFETCH(Usages, usages);
    QFETCH(QString, list);

    QmdMemModel model(Qmd::StrDict);
    const QmdIndex node = addElement(model, 1, {{"Type", 2u}, {"PitchList", "C3"}});
    model.setTypes(QHash<QString, Qmd::ContainerType>{{"OrderedArcUsages", Qmd::IntDict}}, node);
    const QmdIndex ordered = model.index("OrderedArcUsages", node);
    // Entries with ascending identifiers, the order the old format made them in.
    for (const auto &[arc, rule] : usages) {
        const QmdItemId id = model.addTypes({Qmd::StrDict}, ordered).value(0);
        model.setData(QHash<QString, QVariant>{{"Arc", arc}, {"UsageRule", rule}},
                      model.index(id, ordered));
    }
    QmdLudraController controller;
    controller.setModel(&model);

    const QmdIndex converted = controller.index(1, controller.elementsIndex());
    QCOMPARE(controller.data(controller.index("ArcUsageList", converted)), QVariant(list));
    QVERIFY(!controller.isValid(controller.index("OrderedArcUsages", converted)));
    QCOMPARE(controller.data(controller.index("PitchList", converted)), QVariant("C3"));
}

void TestQmdLudraController::movesInstrumentsOutOfVoiceGroups_data()
{
    QTest::addColumn<int>("identifier");
    QTest::addColumn<QColor>("color");
    QTest::addColumn<QString>("label");

    QTest::newRow("first") << 0 << QColor(255, 128, 0) << "Instrument 1";
    QTest::newRow("second") << 1 << QColor(131, 204, 7) << "Instrument 2";
    QTest::newRow("last in palette") << 7 << QColor(128, 128, 128) << "Instrument 8";
    QTest::newRow("beyond palette") << 9 << QColor(Qt::black) << "Instrument 10";
}

void TestQmdLudraController::movesInstrumentsOutOfVoiceGroups()
{
    QFETCH(int, identifier);
    QFETCH(QColor, color);
    QFETCH(QString, label);

    QBitArray channels(16);
    channels.setBit(4);
    const QHash<QString, QVariant> midi{
        {"MidiPort", "Synth"}, {"MidiChannels", channels}, {"MidiDoProgramChange", true},
        {"MidiProgram", 12},   {"MidiBankMSB", 1},         {"MidiBankLSB", 2}};
    QHash<QString, QVariant> voiceGroup = midi;
    voiceGroup.insert({{"Type", 4u},
                       {"ToNode", 1u},
                       {"InitialPitch", "D3"},
                       {"Identifier", identifier},
                       {"OutputType", "midi"}});
    QmdMemModel model(Qmd::StrDict);
    addElement(model, 1, {{"Type", 2u}});
    addElement(model, 2, voiceGroup);
    // A voice group of the present form is left alone.
    addElement(model, 3, {{"Type", 4u}, {"ToNode", 1u}, {"InitialInstrument", 0u}});

    QmdLudraController controller;
    controller.setModel(&model);

    const QmdIndex instruments = controller.instrumentsIndex();
    const QmdItemIdList ids = controller.ids(instruments);
    QCOMPARE(ids.size(), 1);
    const QmdIndex instrument = controller.index(ids.first(), instruments);
    QCOMPARE(controller.data(controller.index("Color", instrument)).value<QColor>(), color);
    QCOMPARE(controller.data(controller.index("Label", instrument)), QVariant(label));
    QCOMPARE(controller.data(controller.index("Type", instrument)), QVariant("midi"));
    for (auto it = midi.cbegin(); it != midi.cend(); ++it)
        QCOMPARE(controller.data(controller.index(it.key(), instrument)), it.value());

    const QmdIndex group = controller.index(2, controller.elementsIndex());
    QStringList keys = controller.keys(group);
    keys.sort();
    QCOMPARE(keys, (QStringList{"InitialInstrument", "InitialPitch", "ToNode", "Type"}));
    QCOMPARE(controller.data(controller.index("InitialInstrument", group)).toUInt(), ids.first());
    const QmdIndex untouched = controller.index(3, controller.elementsIndex());
    QCOMPARE(controller.data(controller.index("InitialInstrument", untouched)), QVariant(0u));
}

void TestQmdLudraController::conversionIsNotSignalled()
{
    QmdMemModel model(Qmd::StrDict);
    addElement(model, 1, {{"Type", 4u}, {"Identifier", 0}, {"OutputType", "midi"}});
    QmdLudraController controller;
    QSignalSpy removedKeys(&model, qOverload<const QmdIndex &, const QStringList &, QmdRequestId>(
                                       &QmdModel::itemsRemoved));
    QSignalSpy changedIds(&model, qOverload<const QmdIndex &, const QmdItemIdList &, QmdRequestId>(
                                      &QmdModel::itemsChanged));
    controller.setModel(&model);
    QCOMPARE(removedKeys.count(), 0);
    // The only identifier items announced are the element states.
    for (const QList<QVariant> &signal : changedIds)
        QCOMPARE(signal.at(0).value<QmdIndex>(), controller.elementStatesIndex());
    QCOMPARE(controller.ids(controller.instrumentsIndex()).size(), 1);
}

void TestQmdLudraController::toggles_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("initial");

    QTest::newRow("grid") << "ShowGrid" << true;
    QTest::newRow("snap") << "SnapToGrid" << true;
    QTest::newRow("counters") << "ShowNodeCounters" << false;
}

void TestQmdLudraController::toggles()
{
    QFETCH(QString, key);
    QFETCH(bool, initial);

    QmdMemModel model;
    QmdLudraController controller;
    controller.setModel(&model);
    controller.requestSetData("Title", "undoable");
    const auto toggle = [&] {
        if (key == "ShowGrid")
            return controller.requestToggleShowGrid();
        if (key == "SnapToGrid")
            return controller.requestToggleSnapToGrid();
        return controller.requestToggleShowNodeCounters();
    };
    QCOMPARE(controller.data(controller.index(key)), QVariant(initial));
    QVERIFY(toggle() != 0);
    QCOMPARE(controller.data(controller.index(key)), QVariant(!initial));
    QCOMPARE(model.undoRedoCount(), 1);
    QCOMPARE(model.undoText(), QString("Set Data"));
    toggle();
    QCOMPARE(controller.data(controller.index(key)), QVariant(initial));
    QCOMPARE(model.undoRedoCount(), 1);
    QVERIFY(!model.canRedo());
}

void TestQmdLudraController::presetNames()
{
    QCOMPARE(QmdLudraStylePresets::names(), (QStringList{"Dark", "Light"}));
}

void TestQmdLudraController::presetThenUndoRestoresColours_data()
{
    QTest::addColumn<bool>("customised");

    QTest::newRow("from the defaults") << false;
    QTest::newRow("from own colours") << true;
}

void TestQmdLudraController::presetThenUndoRestoresColours()
{
    QFETCH(bool, customised);

    QmdMemModel model;
    QmdLudraController controller;
    controller.setModel(&model);
    if (customised) {
        QHash<QString, QVariant> own;
        for (int i = 0; i < StyleKeys.size(); ++i)
            own.insert(StyleKeys.at(i), QColor(i, 2 * i, 3 * i, 100 + i));
        controller.requestSetData(own);
    }
    const QHash<QString, QColor> before = styleColors(controller);
    QSignalSpy finished(&controller, &QmdLudraController::requestFinished);

    const QmdRequestId rid = controller.requestLoadStylePreset("Light");
    QVERIFY(rid != 0);
    QCOMPARE(model.undoText(), QString("Color Preset: Light"));
    QmdLudraStylePresets::Colors light;
    QVERIFY(QmdLudraStylePresets::colors("Light", &light));
    QCOMPARE(styleColors(controller), light);
    QCOMPARE(light.value("StyleNodesColor"), QColor(44, 101, 169));
    QCOMPARE(light.value("StylePrincipalPointsColor"), QColor(Qt::transparent));
    const auto finishedIds = [&finished] {
        QList<QmdRequestId> ids;
        for (const QList<QVariant> &signal : finished)
            ids << signal.at(0).value<QmdRequestId>();
        return ids;
    };
    QTRY_VERIFY(finishedIds().contains(rid));

    controller.requestUndo();
    QCOMPARE(styleColors(controller), before);
}

void TestQmdLudraController::unknownPresetChangesNothing()
{
    QmdMemModel model;
    QmdLudraController controller;
    controller.setModel(&model);
    controller.requestLoadStylePreset("Dark");
    const QString before = ModelDump::tree(model);
    const int steps = model.undoRedoCount();
    QCOMPARE(steps, 1);
    QCOMPARE(controller.requestLoadStylePreset("Sepia"), QmdRequestId(0));
    QCOMPARE(controller.requestLoadStylePreset("light"), QmdRequestId(0));
    QCOMPARE(ModelDump::tree(model), before);
    QCOMPARE(model.undoRedoCount(), steps);
}

void TestQmdLudraController::palette_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QColor>("color");

    QTest::newRow("0") << 0 << "Tangerine" << QColor(255, 128, 0);
    QTest::newRow("1") << 1 << "Pistachio" << QColor(131, 204, 7);
    QTest::newRow("2") << 2 << "Aqua" << QColor(0, 128, 255);
    QTest::newRow("3") << 3 << "Grape" << QColor(128, 0, 255);
    QTest::newRow("4") << 4 << "Strawberry" << QColor(255, 0, 128);
    QTest::newRow("5") << 5 << "Asparagus" << QColor(128, 128, 0);
    QTest::newRow("6") << 6 << "Mocha" << QColor(128, 64, 0);
    QTest::newRow("7") << 7 << "Nickel" << QColor(128, 128, 128);
    QTest::newRow("before") << -1 << "" << QColor(Qt::black);
    QTest::newRow("after") << 8 << "" << QColor(Qt::black);
}

void TestQmdLudraController::palette()
{
    QFETCH(int, position);
    QFETCH(QString, name);
    QFETCH(QColor, color);

    QCOMPARE(QmdLudraPalette::size(), 8);
    QCOMPARE(QmdLudraPalette::name(position), name);
    QCOMPARE(QmdLudraPalette::color(position), color);
}

void TestQmdLudraController::templateLoads()
{
    const QString fileName = qEnvironmentVariable("LUDRA_SOURCE_DIR") + "/resources/template.ldx";
    QVERIFY2(QFile::exists(fileName), qPrintable(fileName));
    QmdMemModel model;
    QmdLudraController controller;
    controller.setModel(&model);
    QSignalSpy loaded(&controller, &QmdLudraController::templateLoaded);
    controller.requestLoadTemplate(fileName);
    QCOMPARE(loaded.count(), 1);
    QVERIFY(controller.fileName().isEmpty());
    QVERIFY(model.isAtCleanState());

    const QmdIndex instruments = controller.instrumentsIndex();
    const QmdItemIdList ids = controller.ids(instruments);
    QCOMPARE(ids.size(), 1);
    const QmdIndex instrument = controller.index(ids.first(), instruments);
    QCOMPARE(controller.data(controller.index("Label", instrument)), QVariant("Instrument"));
    QCOMPARE(controller.data(controller.index("Color", instrument)).value<QColor>(),
             QmdLudraPalette::color(0));
    QBitArray firstChannel(16);
    firstChannel.setBit(0);
    QCOMPARE(controller.data(controller.index("MidiChannels", instrument)), QVariant(firstChannel));
    QCOMPARE(controller.data(controller.index("DivsPerPrincipal")).toUInt(), 4u);
    QCOMPARE(controller.data(controller.index("ShowGrid")), QVariant(true));
    QCOMPARE(controller.data(controller.index("SnapToGrid")), QVariant(true));
    QCOMPARE(controller.data(controller.index("Tempo")).toUInt(), 120u);
    QVERIFY(controller.ids(controller.elementsIndex()).isEmpty());
    QCOMPARE(controller.data(controller.index("StyleBackgroundColor")).value<QColor>(),
             QColor(39, 39, 47));
}

QTEST_GUILESS_MAIN(TestQmdLudraController)
#include "tst_qmdludracontroller.moc"
