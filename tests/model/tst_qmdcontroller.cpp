#include "controllersignalrecorder.h"
#include "qmdcontroller.h"
#include "qmdelementdoccontroller.h"
#include "qmdmemmodel.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QtTest>

#include <functional>

namespace {

// The fixture of the request rows: a StrDict root holding "B" = "b", an
// IntDict "List" with items 1 and 2, and an item "Empty" that exists with an
// invalid value; all made without undo, so the undo state is untouched.
struct Fixture
{
    Fixture()
    {
        controller.setModel(&model);
        const QmdRequestOptions setup(Qmd::NoUndo, QStringLiteral("setup"));
        controller.requestSetType(QStringLiteral("List"), Qmd::IntDict, QmdIndex(), setup);
        list = controller.index(QStringLiteral("List"));
        controller.requestSetData(QHash<QmdItemId, QVariant>{{1, "x"}, {2, "y"}}, list, setup);
        controller.requestSetData(QStringLiteral("B"), "b", QmdIndex(), setup);
        controller.requestSetType(QStringLiteral("Empty"), Qmd::NoContainer, QmdIndex(), setup);
        QCoreApplication::processEvents();
    }

    QmdMemModel model{Qmd::StrDict};
    QmdController controller;
    QmdIndex list;
};

using Request = std::function<QmdRequestId(QmdController &, const QmdIndex &list)>;

} // namespace

Q_DECLARE_METATYPE(Request)

class TestQmdController : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void dataRequests_data();
    void dataRequests();
    void reusedRequestIdMergesUndoSteps();
    void selectionFollowsTheElements();
};

void TestQmdController::dataRequests_data()
{
    QTest::addColumn<Request>("request");
    QTest::addColumn<QString>("changeSignal");

    using C = QmdController;
    using I = const QmdIndex &;
    QTest::newRow("set values by key") << Request([](C &c, I) {
        return c.requestSetData(QHash<QString, QVariant>{{"A", 1}, {"C", 2}});
    }) << "itemsChanged(keys)";
    QTest::newRow("set root") << Request([](C &c, I) { return c.requestSetRoot(5); })
                              << "rootChanged";
    QTest::newRow("remove by keys") << Request([](C &c, I) {
        return c.requestRemove(QStringList{"B", "Empty"});
    }) << "itemsRemoved(keys)";
    QTest::newRow("clear") << Request([](C &c, I l) { return c.requestClear(l); })
                           << "itemsRemoved(ids)";
}

// Each request returns its id before any signal; its change signal, the undo
// state signals and last requestFinished follow from the event loop, all
// with that id, and the request is one undo step.
void TestQmdController::dataRequests()
{
    QFETCH(Request, request);
    QFETCH(QString, changeSignal);

    Fixture f;
    ControllerSignalRecorder recorder(&f.controller);

    const QmdRequestId rid = request(f.controller, f.list);
    QVERIFY(rid != 0);
    QVERIFY2(recorder.events().isEmpty(), qPrintable(recorder.names().join(", ")));

    QCoreApplication::processEvents();
    const QStringList expected{changeSignal, "atCleanStateChanged", "canUndoChanged",
                               "undoTextChanged", "requestFinished"};
    QCOMPARE(recorder.names(), expected);
    for (const ControllerEvent &e : recorder.events())
        QCOMPARE(e.rid, rid);
    QCOMPARE(recorder.events().last().args, QVariantList{0});
    QCOMPARE(f.controller.undoRedoCount(), 1);
}

void TestQmdController::reusedRequestIdMergesUndoSteps()
{
    QmdMemModel model(Qmd::StrDict);
    QmdController controller;
    controller.setModel(&model);
    ControllerSignalRecorder recorder(&controller);

    const QmdRequestId first = controller.requestSetData(QStringLiteral("A"), 1);
    const QmdRequestId second = controller.requestSetData(
        QStringLiteral("B"), 2, QmdIndex(), QmdRequestOptions(0, QStringLiteral("Other"), first));
    QCOMPARE(second, first);
    QCOMPARE(controller.undoRedoCount(), 1);
    QCOMPARE(controller.undoText(), QStringLiteral("Set Data"));

    QCoreApplication::processEvents();
    // Both requests finish under the one id.
    QCOMPARE(recorder.count("requestFinished"), 2);
    QCOMPARE(recorder.namesFor(first).size(), recorder.events().size());

    controller.requestUndo();
    QVERIFY(!controller.isValid(controller.index(QStringLiteral("A"))));
    QVERIFY(!controller.isValid(controller.index(QStringLiteral("B"))));
    QVERIFY(!controller.canUndo());
}

// The selection is no document data; removed elements leave it, with the
// request that removed them, and a reset empties it. Elements are typed
// unsigned, as a file holds them.
void TestQmdController::selectionFollowsTheElements()
{
    QmdMemModel model(Qmd::StrDict);
    QmdElementDocController controller;
    controller.setModel(&model);
    QmdItemId a = 0;
    QmdItemId b = 0;
    controller.requestAddElement(2, {}, {}, QString(), &a);
    controller.requestAddElement(2, {}, {}, QString(), &b);
    QCoreApplication::processEvents();
    const QVariant type = controller.data(
        controller.index(QStringLiteral("Type"), controller.index(a, controller.elementsIndex())));
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

QTEST_GUILESS_MAIN(TestQmdController)
#include "tst_qmdcontroller.moc"
