#include "modeldump.h"
#include "networkdocument.h"
#include "qmdludra.h"
#include "qmdludracontroller.h"
#include "qmdludrapalette.h"
#include "qmdmemmodel.h"

#include <QBitArray>
#include <QColor>
#include <QSignalSpy>
#include <QTest>

namespace {

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
    void movesInstrumentsOutOfVoiceGroups_data();
    void movesInstrumentsOutOfVoiceGroups();
};

void TestQmdLudraController::movesInstrumentsOutOfVoiceGroups_data()
{
    QTest::addColumn<int>("identifier");
    QTest::addColumn<QColor>("color");
    QTest::addColumn<QString>("label");

    QTest::newRow("first") << 0 << QColor(255, 128, 0) << "Instrument 1";
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

QTEST_GUILESS_MAIN(TestQmdLudraController)
#include "tst_qmdludracontroller.moc"
