#include "controllersignalrecorder.h"
#include "midioutput.h"
#include "modeldump.h"
#include "modelsignallog.h"
#include "networkdocument.h"
#include "qmdludrapalette.h"

#include <QBitArray>
#include <QColor>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

using QmdLudra::TickPos;
constexpr qint64 P = QmdLudra::TicksPerPrincipal;

QBitArray channelBits(const QList<int> &channels)
{
    QBitArray bits(16);
    for (int channel : channels)
        bits.setBit(channel);
    return bits;
}

// The model's end-of-request reports for one request: a reaction that wrote
// during a replay would add one.
int modelRequestsFinished(const QStringList &log, QmdRequestId rid)
{
    return int(
        log.filter(QRegularExpression(QStringLiteral("^requestFinished\\(%1,").arg(rid))).size());
}

} // namespace

class TestQmdLudraEditing : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void elementDefaults_data();
    void elementDefaults();
    void edgeEntersItsFromNode();
    void edgeWithoutFromNode();
    void olderNodeGetsIdentifiers();
    void freedIdentifierIsReused();
    void deletingNodeRemovesDependentsInOneStep();
    void undoneRemovalKeepsFromNodesKnown();
    void resetRebuildsFromNodes();
    void instrumentDefaults_data();
    void instrumentDefaults();
    void voiceGroupTakesFirstInstrument();
    void deletingInstrumentResetsReferences();
    void instrumentDataSignals();

private:
};

void TestQmdLudraEditing::elementDefaults_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("hidden");

    for (const QString kind : {"node", "edge", "voice group", "text box"}) {
        QTest::addRow("%s", qPrintable(kind)) << kind << false;
        QTest::addRow("%s hidden", qPrintable(kind)) << kind << true;
    }
}

void TestQmdLudraEditing::elementDefaults()
{
    QFETCH(QString, kind);
    QFETCH(bool, hidden);

    NetworkDocument doc;
    const QmdItemId a = doc.addNode({P, -P});
    const QmdItemId b = doc.addNode({3 * P, 0});
    const QmdLudraController::CreationFlags flags =
        hidden ? QmdLudraController::CreateHidden : QmdLudraController::CreationFlags();
    QmdLudraController &c = doc.controller;
    const TickPos pos{-5, 7};
    QVariantMap expected;
    QString undoText;
    QStringList containers;
    QmdItemId id = 0;
    // Views hear of nodes and edges after their state records are there.
    bool hadState = false;
    QObject::connect(&c, &QmdLudraController::elementsAdded,
                     [&](const QmdItemIdList &ids, QmdRequestId) {
                         hadState = c.isValid(doc.state(ids.value(0)));
                     });
    if (kind == "node") {
        id = doc.add(doc.elements(), [&] { return c.requestAddNode(pos, flags); });
        expected = {{"Type", 2},
                    {"PitchList", "C3"},
                    {"VelocityList", "64"},
                    {"DurationList", "100%"},
                    {"TickPos", QVariant::fromValue(pos)},
                    {"SignallingMethod", 0}};
        containers = {"ArcIdentifiers"};
        undoText = "Node";
    } else if (kind == "edge") {
        id = doc.add(doc.elements(), [&] {
            return c.requestAddEdge(doc.element(a), doc.element(b), QmdLudra::Direct, flags);
        });
        expected = {{"Type", 1}, {"FromNode", a}, {"ToNode", b}, {"Path", 2}};
        undoText = "Edge";
    } else if (kind == "voice group") {
        id = doc.add(doc.elements(), [&] { return c.requestAddVoiceGroup(doc.element(b), flags); });
        expected = {{"Type", 4},
                    {"InitialPitch", "C3"},
                    {"InitialVelocity", "64"},
                    {"InitialDuration", "1.0"},
                    {"InitialInstrument", 0u},
                    {"ToNode", b}};
        undoText = "Voice Group";
    } else {
        id = doc.add(doc.elements(), [&] {
            return c.requestAddTextBox(pos, "<html><body>Text</body></html>", flags);
        });
        expected = {{"Type", 3},
                    {"TickPos", QVariant::fromValue(pos)},
                    {"Text", "<html><body>Text</body></html>"}};
        undoText = "Text Box";
    }
    QVERIFY(id != 0);
    if (hidden)
        expected.insert("IsHidden", true);

    QStringList keys = c.keys(doc.element(id));
    keys.sort();
    QStringList expectedKeys = expected.keys() + containers;
    expectedKeys.sort();
    QCOMPARE(keys, expectedKeys);
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        QCOMPARE(doc.value(id, it.key()), it.value());
    for (const QString key : {"FromNode", "ToNode", "InitialInstrument"}) {
        if (expected.contains(key))
            QCOMPARE(doc.value(id, key).typeId(), QMetaType::UInt);
    }
    for (const QString &container : containers) {
        const QmdIndex index = c.index(container, doc.element(id));
        QCOMPARE(c.containerType(index), Qmd::IntDict);
        QVERIFY(c.ids(index).isEmpty());
    }
    QCOMPARE(c.undoText(), undoText);
    QCOMPARE(hadState, kind == "node" || kind == "edge");
    QCOMPARE(c.isValid(doc.state(id)), hadState);
}

void TestQmdLudraEditing::edgeEntersItsFromNode()
{
    NetworkDocument doc;
    const QmdItemId from = doc.addNode();
    const QmdItemId to = doc.addNode({P, 0});
    const QString before = ModelDump::tree(doc.model);
    const int steps = doc.model.undoRedoCount();
    ControllerSignalRecorder recorder(&doc.controller);

    // One step, reported finished once, reactions included.
    const QmdItemId edge = doc.addEdge(from, to);
    QVERIFY(edge != 0);
    QCOMPARE(doc.model.undoRedoCount(), steps + 1);
    QTest::qWait(20);
    QVERIFY(!recorder.events().isEmpty());
    const QmdRequestId rid = recorder.events().first().rid;
    for (const ControllerEvent &event : recorder.events())
        QCOMPARE(event.rid, rid);
    const QStringList names = recorder.namesFor(rid);
    QCOMPARE(names.count("requestFinished"), 1);
    QCOMPARE(names.last(), QString("requestFinished"));
    QVERIFY(names.contains("elementsAdded"));
    QCOMPARE(doc.idsIn(from, "ArcIdentifiers"), QmdItemIdList{edge});
    const QmdIndex identifiers = doc.controller.index("ArcIdentifiers", doc.element(from));
    QCOMPARE(doc.controller.data(doc.controller.index(edge, identifiers)), QVariant(0));
    QCOMPARE(doc.value(from, "ArcUsageList"), QVariant(QString("%1=1").arg(edge)));
    QVERIFY(!doc.controller.isValid(doc.controller.index("ArcUsageList", doc.element(to))));
    QVERIFY(doc.controller.isValid(doc.state(edge)));
    const QString after = ModelDump::tree(doc.model);

    ModelSignalLog log(&doc.model);
    const QmdRequestId undo = doc.controller.requestUndo();
    QVERIFY(doc.run(undo));
    QCOMPARE(ModelDump::tree(doc.model), before);
    const QmdRequestId redo = doc.controller.requestRedo();
    QVERIFY(doc.run(redo));
    QCOMPARE(ModelDump::tree(doc.model), after);
    QCOMPARE(modelRequestsFinished(log.lines(), undo), 1);
    QCOMPARE(modelRequestsFinished(log.lines(), redo), 1);
}

void TestQmdLudraEditing::edgeWithoutFromNode()
{
    NetworkDocument doc;
    const QmdItemId to = doc.addNode();
    const QString target = ModelDump::tree(doc.model, doc.element(to));
    const QmdItemId edge = doc.add(
        doc.elements(), [&] { return doc.controller.requestAddEdge(QmdIndex(), doc.element(to)); });
    QVERIFY(edge != 0);
    QVERIFY(!doc.controller.isValid(doc.controller.index("FromNode", doc.element(edge))));
    QCOMPARE(doc.value(edge, "ToNode"), QVariant(to));
    QCOMPARE(ModelDump::tree(doc.model, doc.element(to)), target);
    QVERIFY(doc.controller.isValid(doc.state(edge)));
}

void TestQmdLudraEditing::olderNodeGetsIdentifiers()
{
    NetworkDocument doc;
    QmdItemId old = 0;
    QVERIFY(doc.run(doc.controller.requestAddElement(
        QmdLudra::Node, {{"TickPos", QVariant::fromValue(TickPos{0, 0})}}, {}, QString("Old"),
        &old)));
    const QmdItemId to = doc.addNode({P, 0});
    const QmdItemId edge = doc.addEdge(old, to);
    QVERIFY(edge != 0);
    const QmdIndex identifiers = doc.controller.index("ArcIdentifiers", doc.element(old));
    QCOMPARE(doc.controller.containerType(identifiers), Qmd::IntDict);
    QCOMPARE(doc.controller.data(doc.controller.index(edge, identifiers)), QVariant(0));
    QCOMPARE(doc.value(old, "ArcUsageList"), QVariant(QString("%1=1").arg(edge)));
}

void TestQmdLudraEditing::freedIdentifierIsReused()
{
    NetworkDocument doc;
    const QmdItemId from = doc.addNode();
    const QmdItemId to = doc.addNode({P, 0});
    QmdItemIdList edges;
    for (int i = 0; i < 3; ++i)
        edges << doc.addEdge(from, to);
    const QmdIndex identifiers = doc.controller.index("ArcIdentifiers", doc.element(from));
    const auto identifierOf = [&](QmdItemId edge) {
        return doc.controller.data(doc.controller.index(edge, identifiers));
    };
    QCOMPARE(identifierOf(edges[0]), QVariant(0));
    QCOMPARE(identifierOf(edges[1]), QVariant(1));
    QCOMPARE(identifierOf(edges[2]), QVariant(2));

    QVERIFY(doc.removeElements({edges[1]}));
    QCOMPARE(doc.idsIn(from, "ArcIdentifiers").size(), 2);
    QCOMPARE(doc.value(from, "ArcUsageList"),
             QVariant(QString("%1=1,%2=1").arg(edges[0]).arg(edges[2])));

    const QmdItemId added = doc.addEdge(from, to);
    QCOMPARE(identifierOf(added), QVariant(1));
    QCOMPARE(identifierOf(edges[0]), QVariant(0));
    QCOMPARE(identifierOf(edges[2]), QVariant(2));
    QCOMPARE(doc.value(from, "ArcUsageList"),
             QVariant(QString("%1=1,%2=1,%3=1").arg(edges[0]).arg(edges[2]).arg(added)));
}

void TestQmdLudraEditing::deletingNodeRemovesDependentsInOneStep()
{
    NetworkDocument doc;
    const QmdItemId m = doc.addNode({0, 0});
    const QmdItemId n = doc.addNode({P, 0});
    const QmdItemId a = doc.addNode({2 * P, 0});
    const QmdItemId b = doc.addNode({2 * P, P});
    const QmdItemId into = doc.addEdge(m, n);
    const QmdItemId other = doc.addEdge(m, a);
    const QmdItemId out1 = doc.addEdge(n, a);
    const QmdItemId out2 = doc.addEdge(n, b);
    const QmdItemId group = doc.addVoiceGroup(n);
    const QmdItemId keptGroup = doc.addVoiceGroup(a);
    QVERIFY(doc.set(m, "ArcUsageList", QString("%1=2,%2=1,%1=3").arg(other).arg(into)));
    const QmdItemIdList gone{n, into, out1, out2, group};
    const QString before = ModelDump::tree(doc.model);
    const int steps = doc.model.undoRedoCount();

    ControllerSignalRecorder recorder(&doc.controller);
    ModelSignalLog log(&doc.model);
    const QmdRequestId rid = doc.controller.requestRemove(n, doc.elements(), QString("Delete"));
    QVERIFY(doc.run(rid));

    QmdItemIdList left = doc.controller.ids(doc.elements());
    std::sort(left.begin(), left.end());
    QCOMPARE(left, (QmdItemIdList{m, a, b, other, keptGroup}));
    for (QmdItemId id : gone)
        QVERIFY(!doc.controller.isValid(doc.state(id)));
    QVERIFY(doc.controller.isValid(doc.state(other)));
    QCOMPARE(doc.idsIn(m, "ArcIdentifiers"), QmdItemIdList{other});
    QCOMPARE(doc.value(m, "ArcUsageList"), QVariant(QString("%1=2,%1=3").arg(other)));
    QCOMPARE(doc.model.undoRedoCount(), steps + 1);
    QCOMPARE(doc.controller.undoText(), QString("Delete"));
    QCOMPARE(recorder.namesFor(rid).count("requestFinished"), 1);
    QmdItemIdSet removedIds;
    for (const ControllerEvent &event : recorder.only({"elementsRemoved"})) {
        for (QmdItemId id : event.args.at(0).value<QmdItemIdList>())
            removedIds.insert(id);
    }
    QCOMPARE(removedIds, QmdItemIdSet(gone.cbegin(), gone.cend()));
    const QString after = ModelDump::tree(doc.model);

    log.take();
    const QmdRequestId undo = doc.controller.requestUndo();
    QVERIFY(doc.run(undo));
    QCOMPARE(ModelDump::tree(doc.model), before);
    QCOMPARE(modelRequestsFinished(log.take(), undo), 1);

    QVERIFY(doc.run(doc.controller.requestRedo()));
    QTest::qWait(20);
    QCOMPARE(ModelDump::tree(doc.model), after);
    const QStringList redoLog = log.take();
    QCOMPARE(redoLog.filter("requestFinished(").size(), 1);
    QCOMPARE(doc.model.undoRedoCount(), steps + 1);
    QVERIFY(!doc.model.canRedo());
}

void TestQmdLudraEditing::undoneRemovalKeepsFromNodesKnown()
{
    // The edge records are gone when their removal is handled: the from-node
    // must be known from before, also for edges that came back by undo.
    NetworkDocument doc;
    const QmdItemId from = doc.addNode();
    const QmdItemId to = doc.addNode({P, 0});
    const QmdItemId first = doc.addEdge(from, to);
    const QmdItemId second = doc.addEdge(from, to);
    QVERIFY(doc.removeElements({to}));
    QVERIFY(doc.idsIn(from, "ArcIdentifiers").isEmpty());
    QVERIFY(doc.run(doc.controller.requestUndo()));
    QCOMPARE(doc.idsIn(from, "ArcIdentifiers").size(), 2);

    QVERIFY(doc.removeElements({first}));
    QCOMPARE(doc.idsIn(from, "ArcIdentifiers"), QmdItemIdList{second});
    QCOMPARE(doc.value(from, "ArcUsageList"), QVariant(QString("%1=1").arg(second)));
}

void TestQmdLudraEditing::resetRebuildsFromNodes()
{
    QmdMemModel model;
    QmdItemId from = 0;
    QmdItemId edge = 0;
    {
        auto first = std::make_unique<QmdLudraController>();
        first->setModel(&model);
        QmdRequestId rid = first->requestAddNode({});
        QVERIFY(finishRequest(first.get(), rid));
        from = first->ids(first->elementsIndex()).first();
        rid = first->requestAddEdge(first->index(from, first->elementsIndex()));
        QVERIFY(finishRequest(first.get(), rid));
        for (QmdItemId id : first->ids(first->elementsIndex()))
            edge = id != from ? id : edge;
    }
    QmdLudraController controller;
    controller.setPlaybackServices(NetworkDocument::quietServices());
    controller.setModel(&model);
    const QmdIndex node = controller.index(from, controller.elementsIndex());
    QCOMPARE(controller.ids(controller.index("ArcIdentifiers", node)), QmdItemIdList{edge});
    QVERIFY(finishRequest(&controller, controller.requestRemove(edge, controller.elementsIndex())));
    QVERIFY(controller.ids(controller.index("ArcIdentifiers", node)).isEmpty());
    QCOMPARE(controller.data(controller.index("ArcUsageList", node)), QVariant(QString()));
}

void TestQmdLudraEditing::instrumentDefaults_data()
{
    QTest::addColumn<QStringList>("labels");
    QTest::addColumn<QList<QColor>>("colors");
    QTest::addColumn<QList<QBitArray>>("channels");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QColor>("color");
    QTest::addColumn<QBitArray>("channel");

    const auto palette = QmdLudraPalette::color;
    QTest::newRow("first") << QStringList{} << QList<QColor>{} << QList<QBitArray>{} << "Instrument"
                           << palette(0) << channelBits({0});
    QTest::newRow("labels 1 and 3")
        << QStringList{"Instrument", "Instrument 3"} << QList<QColor>{palette(0), palette(2)}
        << QList<QBitArray>{channelBits({0}), channelBits({2})} << "Instrument 2" << palette(1)
        << channelBits({1});
    QTest::newRow("labels 1 and 2")
        << QStringList{"Instrument 2", "Instrument"} << QList<QColor>{palette(5), palette(0)}
        << QList<QBitArray>{channelBits({}), channelBits({})} << "Instrument 3" << palette(1)
        << channelBits({0});
    QTest::newRow("channels spread")
        << QStringList{"a", "b"} << QList<QColor>{QColor(1, 2, 3), palette(1)}
        << QList<QBitArray>{channelBits({0, 1}), channelBits({2, 5})} << "Instrument" << palette(0)
        << channelBits({3});
    QList<int> all;
    for (int i = 0; i < 16; ++i)
        all << i;
    QTest::newRow("all channels taken")
        << QStringList{"a", "b"} << QList<QColor>{palette(0), palette(1)}
        << QList<QBitArray>{channelBits(all.mid(0, 9)), channelBits(all.mid(9))} << "Instrument"
        << palette(2) << channelBits({});
    QStringList labels;
    QList<QColor> colors;
    QList<QBitArray> channels;
    for (int i = 0; i < QmdLudraPalette::size(); ++i) {
        labels << QString("i%1").arg(i);
        colors << palette(i);
        channels << channelBits({i});
    }
    QTest::newRow("all colours taken")
        << labels << colors << channels << "Instrument" << QColor() << channelBits({8});
}

void TestQmdLudraEditing::instrumentDefaults()
{
    QFETCH(QStringList, labels);
    QFETCH(QList<QColor>, colors);
    QFETCH(QList<QBitArray>, channels);
    QFETCH(QString, label);
    QFETCH(QColor, color);
    QFETCH(QBitArray, channel);

    NetworkDocument doc;
    QmdLudraController &c = doc.controller;
    for (int i = 0; i < labels.size(); ++i) {
        QVERIFY(doc.add(c.instrumentsIndex(), [&] {
            return c.requestAddInstrument(labels.at(i), colors.at(i), channels.at(i));
        }) != 0);
    }
    QSignalSpy added(&c, &QmdLudraController::instrumentsAdded);
    const QmdItemIdList before = c.ids(c.instrumentsIndex());
    const QmdRequestId rid = c.requestAddInstrument();
    QVERIFY(doc.run(rid));
    QCOMPARE(c.ids(c.instrumentsIndex()).size(), labels.size() + 1);
    QmdItemId id = 0;
    for (QmdItemId candidate : c.ids(c.instrumentsIndex()))
        id = before.contains(candidate) ? id : candidate;

    QCOMPARE(doc.instrumentValue(id, "Label"), QVariant(label));
    QCOMPARE(doc.instrumentValue(id, "Color").value<QColor>(), color);
    QCOMPARE(doc.instrumentValue(id, "MidiChannels"), QVariant(channel));
    QCOMPARE(doc.instrumentValue(id, "MidiPort"), QVariant(MidiOutput::defaultOutputPortName()));
    QCOMPARE(c.undoText(), QString("Instrument"));
    QCOMPARE(added.count(), 1);
    QCOMPARE(added.first().at(0).value<QmdItemIdList>(), QmdItemIdList{id});
    QCOMPARE(added.first().at(1).value<QmdRequestId>(), rid);
}

void TestQmdLudraEditing::voiceGroupTakesFirstInstrument()
{
    NetworkDocument doc;
    const QmdItemId node = doc.addNode();
    QCOMPARE(doc.value(doc.addVoiceGroup(node), "InitialInstrument"), QVariant(0u));
    QmdItemIdList instruments{doc.addInstrument(), doc.addInstrument(), doc.addInstrument()};
    std::sort(instruments.begin(), instruments.end());
    QVERIFY(doc.run(
        doc.controller.requestRemove(instruments.first(), doc.controller.instrumentsIndex())));
    QCOMPARE(doc.value(doc.addVoiceGroup(node), "InitialInstrument"), QVariant(instruments.at(1)));
}

void TestQmdLudraEditing::deletingInstrumentResetsReferences()
{
    NetworkDocument doc;
    QmdLudraController &c = doc.controller;
    const QmdItemId gone = doc.addInstrument();
    const QmdItemId stays = doc.addInstrument();
    const QmdItemId switching =
        doc.node(0, 0, {{"DoInstrumentChange", true}, {"Instrument", gone}});
    const QmdItemId other = doc.node(1, 0, {{"DoInstrumentChange", true}, {"Instrument", stays}});
    const QmdItemId group = doc.group(switching, {{"InitialInstrument", gone}});
    const QmdItemId keptGroup = doc.group(other, {{"InitialInstrument", stays}});
    const QString before = ModelDump::tree(doc.model);
    const int steps = doc.model.undoRedoCount();

    QSignalSpy removed(&c, &QmdLudraController::instrumentsRemoved);
    QSignalSpy added(&c, &QmdLudraController::instrumentsAdded);
    const QmdRequestId rid = c.requestRemove(gone, c.instrumentsIndex(), QString("Delete"));
    QVERIFY(doc.run(rid));
    QCOMPARE(doc.value(switching, "DoInstrumentChange"), QVariant(false));
    QCOMPARE(doc.value(switching, "Instrument"), QVariant(0u));
    QCOMPARE(doc.value(group, "InitialInstrument"), QVariant(0u));
    QCOMPARE(doc.value(other, "DoInstrumentChange"), QVariant(true));
    QCOMPARE(doc.value(other, "Instrument"), QVariant(stays));
    QCOMPARE(doc.value(keptGroup, "InitialInstrument"), QVariant(stays));
    QCOMPARE(doc.model.undoRedoCount(), steps + 1);
    QCOMPARE(removed.count(), 1);
    QCOMPARE(removed.first().at(0).value<QmdItemIdList>(), QmdItemIdList{gone});
    QCOMPARE(removed.first().at(1).value<QmdRequestId>(), rid);

    ModelSignalLog log(&doc.model);
    const QmdRequestId undo = c.requestUndo();
    QVERIFY(doc.run(undo));
    QCOMPARE(ModelDump::tree(doc.model), before);
    QCOMPARE(modelRequestsFinished(log.take(), undo), 1);
    QCOMPARE(added.count(), 1);
    QCOMPARE(added.first().at(0).value<QmdItemIdList>(), QmdItemIdList{gone});

    const QmdRequestId redo = c.requestRedo();
    QVERIFY(doc.run(redo));
    QCOMPARE(doc.value(switching, "Instrument"), QVariant(0u));
    QCOMPARE(log.take().filter("requestFinished(").size(), 1);
    QCOMPARE(removed.count(), 2);
}

void TestQmdLudraEditing::instrumentDataSignals()
{
    NetworkDocument doc;
    QmdLudraController &c = doc.controller;
    const QmdItemId instrument = doc.addInstrument();
    const QmdItemId node = doc.addNode();
    QSignalSpy changed(&c, &QmdLudraController::instrumentDataChanged);
    QSignalSpy removed(&c, &QmdLudraController::instrumentDataRemoved);

    const QmdRequestId set = c.requestSetData("Label", "Bass", doc.instrument(instrument));
    QVERIFY(doc.run(set));
    QVERIFY(doc.set(node, "Label", "not an instrument"));
    const QmdRequestId cut = c.requestRemove("MidiProgram", doc.instrument(instrument));
    QVERIFY(doc.run(cut));

    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.first().at(0).value<QmdItemId>(), instrument);
    QCOMPARE(changed.first().at(1).toStringList(), QStringList{"Label"});
    QCOMPARE(changed.first().at(2).value<QmdRequestId>(), set);
    QCOMPARE(removed.count(), 1);
    QCOMPARE(removed.first().at(0).value<QmdItemId>(), instrument);
    QCOMPARE(removed.first().at(1).toStringList(), QStringList{"MidiProgram"});
    QCOMPARE(removed.first().at(2).value<QmdRequestId>(), cut);
}

QTEST_GUILESS_MAIN(TestQmdLudraEditing)
#include "tst_qmdludraediting.moc"
