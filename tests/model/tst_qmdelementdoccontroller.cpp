#include "controllersignalrecorder.h"
#include "modelbuild.h"
#include "qmdelementdoccontroller.h"
#include "qmdmemmodel.h"

#include <QCoreApplication>
#include <QtTest>

#include <functional>

namespace {

using Change = std::function<void(QmdElementDocController &, QmdItemId element)>;

const QString elementsKey = QStringLiteral("Elements");

} // namespace

Q_DECLARE_METATYPE(Change)

class TestQmdElementDocController : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void resetLayout_data();
    void resetLayout();
    void elementSignals_data();
    void elementSignals();
    void addElementIsOneUndoStep();
    void selectionFollowsTheElements();
};

void TestQmdElementDocController::resetLayout_data()
{
    QTest::addColumn<QString>("tree");
    QTest::addColumn<QmdItemIdList>("elements");
    QTest::addColumn<QStringList>("keys");

    QTest::newRow("invalid root") << "-" << QmdItemIdList() << QStringList{elementsKey};
    QTest::newRow("plain value at Elements") << "S{Elements=int:5,Tempo=int:120}" << QmdItemIdList()
                                             << QStringList{elementsKey, "Tempo"};
    QTest::newRow("existing elements stay")
        << "S{Elements=I{3=S{}}}" << QmdItemIdList{3} << QStringList{elementsKey};
}

// Whatever the model holds, the reset leaves a StrDict root with an IntDict
// "Elements" (keeping existing elements) as a request that is no undo step.
void TestQmdElementDocController::resetLayout()
{
    QFETCH(QString, tree);
    QFETCH(QmdItemIdList, elements);
    QFETCH(QStringList, keys);

    QmdMemModel model;
    QVERIFY(ModelBuild::tree(model, tree));
    const int undoSteps = model.undoRedoCount();
    Qmd::RequestFlags resetFlags = 0;
    connect(&model, &QmdModel::requestFinished, this,
            [&](QmdRequestId, Qmd::RequestFlags flags) { resetFlags = flags; });

    QmdElementDocController controller;
    ControllerSignalRecorder recorder(&controller);
    controller.setModel(&model);
    QCOMPARE(recorder.names(), QStringList{"modelReset"});
    QCOMPARE(resetFlags, Qmd::RequestFlags(Qmd::NoUndo));
    QCOMPARE(model.undoRedoCount(), undoSteps);

    QCOMPARE(controller.containerType(QmdIndex()), Qmd::StrDict);
    QStringList rootKeys = controller.keys();
    rootKeys.sort();
    QCOMPARE(rootKeys, keys);
    const QmdIndex elementsIndex = controller.elementsIndex();
    QCOMPARE(elementsIndex, controller.index(elementsKey));
    QCOMPARE(controller.containerType(elementsIndex), Qmd::IntDict);
    QCOMPARE(controller.ids(elementsIndex), elements);

    // A second reset changes nothing.
    controller.reset();
    QCOMPARE(controller.elementsIndex(), elementsIndex);
    QCOMPARE(controller.ids(elementsIndex), elements);
}

void TestQmdElementDocController::elementSignals_data()
{
    QTest::addColumn<Change>("change");
    QTest::addColumn<QStringList>("emitted");
    QTest::addColumn<QStringList>("elementKeys"); // keys named by the element signal

    using C = QmdElementDocController;
    QTest::newRow("add element") << Change([](C &c, QmdItemId) {
        c.requestAddElement(1, {{"Name", "n"}}, {{"List", Qmd::IntDict}}, QStringLiteral("Add"));
    }) << QStringList{"elementsAdded",      "itemsChanged(ids)",  "elementDataChanged",
                      "itemsChanged(keys)", "elementDataChanged", "itemsChanged(keys)"}
                                 << QStringList{"Name", "Type"};
    QTest::newRow("set element key") << Change([](C &c, QmdItemId id) {
        c.requestSetData(QStringLiteral("Name"), "m", c.index(id, c.elementsIndex()));
    }) << QStringList{"elementDataChanged", "itemsChanged(keys)"}
                                     << QStringList{"Name"};
    QTest::newRow("remove element key") << Change([](C &c, QmdItemId id) {
        c.requestRemove(QStringLiteral("Name"), c.index(id, c.elementsIndex()));
    }) << QStringList{"elementDataRemoved", "itemsRemoved(keys)"}
                                        << QStringList{"Name"};
    QTest::newRow("remove element")
        << Change([](C &c, QmdItemId id) { c.requestRemove(id, c.elementsIndex()); })
        << QStringList{"elementsRemoved", "itemsRemoved(ids)"} << QStringList();
    QTest::newRow("inside an element's container") << Change([](C &c, QmdItemId id) {
        const QmdIndex list = c.index(QStringLiteral("List"), c.index(id, c.elementsIndex()));
        c.requestSetData(QmdItemId(4), 1, list);
    }) << QStringList{"itemsChanged(ids)"} << QStringList();
    QTest::newRow("at the root") << Change([](C &c, QmdItemId) {
        c.requestSetData(QStringLiteral("Tempo"), 120);
    }) << QStringList{"itemsChanged(keys)"}
                                 << QStringList();
}

// The element signal comes first, then the generic one; deeper changes and
// changes outside the elements give only the generic signal.
void TestQmdElementDocController::elementSignals()
{
    QFETCH(Change, change);
    QFETCH(QStringList, emitted);
    QFETCH(QStringList, elementKeys);

    QmdMemModel model;
    QmdElementDocController controller;
    controller.setModel(&model);
    QmdItemId id = 0;
    controller.requestAddElement(2, {{"Name", "e"}}, {{"List", Qmd::IntDict}},
                                 QStringLiteral("Add"), &id);
    QCoreApplication::processEvents();
    ControllerSignalRecorder recorder(&controller);

    change(controller, id);
    QCoreApplication::processEvents();
    const QList<ControllerEvent> events = recorder.only(
        {"elementsAdded", "elementsRemoved", "elementDataChanged", "elementDataRemoved",
         "itemsChanged(ids)", "itemsChanged(keys)", "itemsRemoved(ids)", "itemsRemoved(keys)"});
    QStringList names;
    for (const ControllerEvent &e : events)
        names.append(e.name);
    QCOMPARE(names, emitted);

    for (const ControllerEvent &e : events) {
        if (e.name.startsWith("elementData")) {
            QStringList keys = e.args.at(1).toStringList();
            keys.sort();
            QCOMPARE(keys, elementKeys);
            // A new element follows the one made before the change.
            QCOMPARE(e.args.at(0).toUInt(), names.first() == "elementsAdded" ? id + 1 : id);
            break;
        }
    }
    const ControllerEvent &first = events.first();
    if (first.name.startsWith("elements")) {
        // The element list is the generic signal's id list.
        QCOMPARE(first.args.at(0).value<QmdItemIdList>(),
                 events.at(1).args.at(1).value<QmdItemIdList>());
        QCOMPARE(events.at(1).args.at(0).value<QmdIndex>(), controller.elementsIndex());
    }
    QVERIFY(!recorder.count("elementSelectionChanged"));
}

void TestQmdElementDocController::addElementIsOneUndoStep()
{
    QmdMemModel model;
    QmdElementDocController controller;
    controller.setModel(&model);
    const QmdIndex elements = controller.elementsIndex();

    QmdItemId id = 0;
    const QmdRequestId rid = controller.requestAddElement(
        2, {{"Name", "n"}, {"Type", 99}}, {{"Lists", Qmd::IntDict}, {"Style", Qmd::StrDict}},
        QStringLiteral("Add Node"), &id);
    QVERIFY(rid != 0);
    QCOMPARE(id, QmdItemId(1));
    const QmdIndex element = controller.index(id, elements);
    QCOMPARE(controller.containerType(element), Qmd::StrDict);
    const QVariant type = controller.data(controller.index(QStringLiteral("Type"), element));
    QCOMPARE(type.typeId(), QMetaType::UInt);
    QCOMPARE(type.toInt(), 2);
    QCOMPARE(controller.containerType(controller.index(QStringLiteral("Style"), element)),
             Qmd::StrDict);
    QCOMPARE(controller.undoRedoCount(), 1);

    controller.requestUndo();
    QVERIFY(controller.ids(elements).isEmpty());
    QVERIFY(!controller.canUndo());
}

// The selection is no document data; removed elements leave it, with the
// request that removed them, and a reset empties it. Elements are typed
// unsigned, as a file holds them.
void TestQmdElementDocController::selectionFollowsTheElements()
{
    QmdMemModel model(Qmd::StrDict);
    QmdElementDocController controller;
    controller.setModel(&model);
    QmdItemId a = 0;
    QmdItemId b = 0;
    controller.requestAddElement(2, {}, {}, QString(), &a);
    controller.requestAddElement(2, {}, {}, QString(), &b);
    QCoreApplication::processEvents();
    const QVariant type = controller.data(controller.index(
        QStringLiteral("Type"), controller.index(a, controller.elementsIndex())));
    QCOMPARE(type.metaType(), QMetaType::fromType<uint>());
    QSignalSpy changed(&controller, &QmdElementDocController::elementSelectionChanged);

    controller.setElementSelection({a, b});
    controller.setElementSelection({a, b});
    QCOMPARE(changed.count(), 1);
    const QmdRequestId removal = controller.requestRemove(a, controller.elementsIndex());
    QCoreApplication::processEvents();
    QCOMPARE(controller.elementSelection(), QmdItemIdSet{b});
    QCOMPARE(changed.last().at(1).value<QmdItemIdSet>(), QmdItemIdSet{a});
    QCOMPARE(changed.last().at(2).value<QmdRequestId>(), removal);
    controller.reset();
    QVERIFY(controller.elementSelection().isEmpty());
}

QTEST_GUILESS_MAIN(TestQmdElementDocController)
#include "tst_qmdelementdoccontroller.moc"
