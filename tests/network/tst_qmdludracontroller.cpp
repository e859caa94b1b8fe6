#include "modeldump.h"
#include "modelsignallog.h"
#include "networkdocument.h"
#include "qmdludra.h"
#include "qmdludracontroller.h"
#include "qmdludrapalette.h"
#include "qmdludrastylepresets.h"
#include "qmdmemmodel.h"

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

// The unlocked model mutators are the controller's own: called from outside
// they would bypass its lock, the undo history and the change signals.
template <class C>
concept ChangesTheModelDirectly = requires(C c) {
    c.setData(QString(), QVariant());
    c.remove(QString());
    c.addType(Qmd::StrDict);
};
static_assert(!ChangesTheModelDirectly<QmdLudraController>);

class TestQmdLudraController : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void resetDefaults_data();
    void resetDefaults();
    void resetRepairsContainersAndClearsTemp();
    void resetRebuildsElementStates();
    void resetSignalsDoNotGrowWithTheDocument();
    void resetIsNotUndoable();
    void convertsOrderedArcUsages_data();
    void convertsOrderedArcUsages();
    void movesInstrumentsOutOfVoiceGroups_data();
    void movesInstrumentsOutOfVoiceGroups();
    void toggles_data();
    void toggles();
    void presetThenUndoRestoresColours_data();
    void presetThenUndoRestoresColours();
    void unknownPresetChangesNothing();
    void paletteOutOfRange();
    void templateLoads();

private:
};

void TestQmdLudraController::resetDefaults_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QVariant>("expected");

    const QVariant none;
    QTest::newRow("Tempo default") << "Tempo" << none << QVariant(120u);
    QTest::newRow("Tempo kept") << "Tempo" << QVariant(90) << QVariant(90);
    QTest::newRow("sync default") << "SyncType" << none << QVariant("internal");
    QTest::newRow("tool default") << "Tool" << none << QVariant(2);
    QTest::newRow("tool always 2") << "Tool" << QVariant(5) << QVariant(2);
    QTest::newRow("no display mode") << "PlaybackPosDisplayMode" << none << none;
    QTest::newRow("display mode kept") << "PlaybackPosDisplayMode" << QVariant(1) << QVariant(1);
    QTest::newRow("background default")
        << "StyleBackgroundColor" << none << QVariant(QColor(39, 39, 47));
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
    controller.setPlaybackServices(NetworkDocument::quietServices());
    controller.setModel(&model);
    const QVariant value = controller.data(controller.index(key));
    QCOMPARE(value.metaType(), expected.metaType());
    QCOMPARE(value, expected);
}

void TestQmdLudraController::resetRepairsContainersAndClearsTemp()
{
    QmdMemModel model(Qmd::StrDict);
    model.setTypes(QHash<QString, Qmd::ContainerType>{
        {"SyncMidiInputs", Qmd::StrDict}, {"Instruments", Qmd::IntDict}, {"Temp", Qmd::StrDict}});
    model.setTypes(QHash<QString, Qmd::ContainerType>{{"Port", Qmd::StrDict}},
                   model.index("SyncMidiInputs"));
    model.setTypes(QHash<QmdItemId, Qmd::ContainerType>{{6, Qmd::StrDict}},
                   model.index("Instruments"));
    model.setData(QHash<QString, QVariant>{{"Leftover", 1}}, model.index("Temp"));
    // Damaged: a container of the wrong kind; missing: "SyncMidiOutputs", as
    // in every new document.
    model.setTypes(QHash<QString, Qmd::ContainerType>{{"Elements", Qmd::StrDict}});

    QmdLudraController controller;

    controller.setPlaybackServices(NetworkDocument::quietServices());
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

    controller.setPlaybackServices(NetworkDocument::quietServices());
    controller.setModel(&model);

    const QmdIndex rebuilt = controller.elementStatesIndex();
    QCOMPARE(ModelDump::tree(model, rebuilt),
             QString("I{1=S{CurrentDurationId=int:0,CurrentEdgeUsageId=uint:0,"
                     "CurrentEdgeUsageUses=int:0,CurrentPitchId=int:0,"
                     "CurrentUserMidiMessageId=int:0,CurrentVelocityId=int:0,HitCount=int:0},"
                     "2=S{CurrentScaleId=int:0}}"));
}

// The state records are put in place whole: a reset costs the same few
// signals however many elements there are.
void TestQmdLudraController::resetSignalsDoNotGrowWithTheDocument()
{
    QList<qsizetype> counts;
    for (const QmdItemId nodes : {2u, 40u}) {
        QmdMemModel model(Qmd::StrDict);
        for (QmdItemId id = 1; id <= nodes; ++id)
            addElement(model, id, {{"Type", 2u}});
        QmdLudraController controller;
        controller.setPlaybackServices(NetworkDocument::quietServices());
        controller.setModel(&model);
        const ModelSignalLog log(&model);
        controller.reset();
        QCOMPARE(controller.ids(controller.elementStatesIndex()).size(), qsizetype(nodes));
        counts << log.lines().size();
    }
    QCOMPARE(counts.at(1), counts.at(0));
}

void TestQmdLudraController::resetIsNotUndoable()
{
    QmdMemModel model;
    QmdLudraController controller;
    controller.setPlaybackServices(NetworkDocument::quietServices());
    controller.setModel(&model);
    controller.requestSetData("Title", "First");
    QCOMPARE(model.undoRedoCount(), 1);
    QSignalSpy modelReset(&controller, &QmdLudraController::modelReset);
    controller.reset();
    QCOMPARE(modelReset.count(), 1);
    QCOMPARE(model.undoRedoCount(), 1);
    QCOMPARE(model.undoText(), QString("Set Data"));
}

void TestQmdLudraController::convertsOrderedArcUsages_data()
{
    QTest::addColumn<QList<std::pair<uint, int>>>("usages");
    QTest::addColumn<QString>("list");

    using Usages = QList<std::pair<uint, int>>;
    QTest::newRow("two entries") << Usages{{7, 2}, {9, 1}} << "7=2,9=1";
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
    controller.setPlaybackServices(NetworkDocument::quietServices());
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

    controller.setPlaybackServices(NetworkDocument::quietServices());
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
    controller.setPlaybackServices(NetworkDocument::quietServices());
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
    controller.setPlaybackServices(NetworkDocument::quietServices());
    controller.setModel(&model);
    if (customised) {
        QHash<QString, QVariant> own;
        for (int i = 0; i < StyleKeys.size(); ++i)
            own.insert(StyleKeys.at(i), QColor(i, 2 * i, 3 * i, 100 + i));
        controller.requestSetData(own);
    }
    const QHash<QString, QColor> before = styleColors(controller);

    const QmdRequestId rid = controller.requestLoadStylePreset("Light");
    QVERIFY(rid != 0);
    QCOMPARE(model.undoText(), QString("Color Preset: Light"));
    QmdLudraStylePresets::Colors light;
    QVERIFY(QmdLudraStylePresets::colors("Light", &light));
    QCOMPARE(styleColors(controller), light);

    controller.requestUndo();
    QCOMPARE(styleColors(controller), before);
}

void TestQmdLudraController::unknownPresetChangesNothing()
{
    QmdMemModel model;
    QmdLudraController controller;
    controller.setPlaybackServices(NetworkDocument::quietServices());
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

void TestQmdLudraController::paletteOutOfRange()
{
    for (int position : {-1, QmdLudraPalette::size()}) {
        QCOMPARE(QmdLudraPalette::name(position), QString());
        QCOMPARE(QmdLudraPalette::color(position), QColor(Qt::black));
    }
}

void TestQmdLudraController::templateLoads()
{
    const QString fileName = qEnvironmentVariable("LUDRA_SOURCE_DIR") + "/resources/template.ldx";
    QVERIFY2(QFile::exists(fileName), qPrintable(fileName));
    QmdMemModel model;
    QmdLudraController controller;
    controller.setPlaybackServices(NetworkDocument::quietServices());
    controller.setModel(&model);
    QSignalSpy loaded(&controller, &QmdLudraController::templateLoaded);
    controller.requestLoadTemplate(fileName);
    QCOMPARE(loaded.count(), 1);
    QVERIFY(controller.fileName().isEmpty());
    QVERIFY(model.isAtCleanState());

    // One instrument and no elements: a document to start from.
    QCOMPARE(controller.ids(controller.instrumentsIndex()).size(), 1);
    QVERIFY(controller.ids(controller.elementsIndex()).isEmpty());
}

QTEST_GUILESS_MAIN(TestQmdLudraController)
#include "tst_qmdludracontroller.moc"
