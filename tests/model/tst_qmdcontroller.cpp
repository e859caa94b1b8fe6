#include "controllersignalrecorder.h"
#include "qmdcontroller.h"
#include "qmdmemmodel.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QtTest>

#include <functional>

namespace {

class CounterController : public QmdController
{
public:
    using QmdController::setRequestCounter;
};

// Logs the hooks, the reset, and the model's begin and end into one list, so the
// order in which they run can be checked.
class LoggingModel : public QmdMemModel
{
public:
    explicit LoggingModel(QStringList *log) : QmdMemModel(Qmd::StrDict), m_log(log) {}
    void beginRequest(QmdRequestId rid, const QmdRequestOptions &options,
                      const QString &text) override
    {
        m_log->append("model begin");
        QmdMemModel::beginRequest(rid, options, text);
    }
    void endRequest() override
    {
        m_log->append("model end");
        QmdMemModel::endRequest();
    }

private:
    QStringList *m_log;
};

class LoggingController : public QmdController
{
public:
    explicit LoggingController(QStringList *log) : m_log(log)
    {
        connect(this, &QmdController::modelAboutToBeReset, this,
                [log] { log->append("about to be reset"); });
        connect(this, &QmdController::modelReset, this, [log] { log->append("reset"); });
    }

protected:
    void resetDocument() override
    {
        m_log->append("reset document");
        QmdController::resetDocument();
    }
    void requestFinishedHook(QmdRequestId rid) override
    {
        m_log->append(QStringLiteral("finished hook %1").arg(rid));
    }
    void beforeReadHook() const override { m_log->append("before read"); }
    void afterReadHook() const override { m_log->append("after read"); }
    void beforeRequestHook() const override { m_log->append("before request"); }
    void afterRequestHook() const override { m_log->append("after request"); }

private:
    QStringList *m_log;
};

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
    void requestIds();
    void dataRequests_data();
    void dataRequests();
    void reusedRequestIdMergesUndoSteps();
    void ifInvalid_data();
    void ifInvalid();
    void undoRequests_data();
    void undoRequests();
    void setModelSwitchesModels();
    void resetIsAnnouncedBeforeItRuns();
    void requestOrderOfHooks_data();
    void requestOrderOfHooks();
    void requestFinishedHandling();
};

// Ids start at 2; a request that names an id keeps it and issues none; the
// counter wraps past the largest id to 1, never to 0.
void TestQmdController::requestIds()
{
    QmdMemModel model(Qmd::StrDict);
    CounterController controller;
    controller.setModel(&model);
    const QString a = QStringLiteral("A");
    QCOMPARE(controller.requestSetData(a, 1), QmdRequestId(2));
    QCOMPARE(controller.requestSetData(a, 2, QmdIndex(), QmdRequestOptions(0, a, 77)),
             QmdRequestId(77));
    QCOMPARE(controller.requestSetData(a, 3), QmdRequestId(3));
    controller.setRequestCounter(4294967294u);
    QCOMPARE(controller.requestSetData(a, 4), QmdRequestId(4294967295u));
    QCOMPARE(controller.requestSetData(a, 5), QmdRequestId(1));
}

void TestQmdController::dataRequests_data()
{
    QTest::addColumn<Request>("request");
    QTest::addColumn<QString>("changeSignal");
    QTest::addColumn<QString>("text");

    const QString keys = QStringLiteral("itemsChanged(keys)");
    const QString ids = QStringLiteral("itemsChanged(ids)");
    const QString removedKeys = QStringLiteral("itemsRemoved(keys)");
    const QString removedIds = QStringLiteral("itemsRemoved(ids)");
    const QString root = QStringLiteral("rootChanged");
    using C = QmdController;
    using I = const QmdIndex &;

    QTest::newRow("add values") << Request([](C &c, I l) {
        return c.requestAddData(QList<QVariant>{7, 8}, l);
    }) << ids << "Add Data";
    QTest::newRow("set values by key") << Request([](C &c, I) {
        return c.requestSetData(QHash<QString, QVariant>{{"A", 1}, {"C", 2}});
    }) << keys << "Set Data";
    QTest::newRow("set values by index") << Request([](C &c, I l) {
        return c.requestSetData(QHash<QmdIndex, QVariant>{{c.index(QmdItemId(1), l), 3}});
    }) << ids << "Set Data";
    QTest::newRow("set root") << Request([](C &c, I) { return c.requestSetRoot(5); }) << root
                              << "Set Root";
    QTest::newRow("add one type") << Request([](C &c, I l) {
        return c.requestAddType(Qmd::StrDict, l);
    }) << ids << "Add Type";
    QTest::newRow("set types by id") << Request([](C &c, I l) {
        return c.requestSetTypes(QHash<QmdItemId, Qmd::ContainerType>{{4, Qmd::IntDict}}, l);
    }) << ids << "Set Types";
    QTest::newRow("set one type by index") << Request([](C &c, I) {
        return c.requestSetType(c.index(QStringLiteral("B")), Qmd::StrDict);
    }) << keys << "Set Type";
    QTest::newRow("set type if invalid by key") << Request([](C &c, I) {
        return c.requestSetTypeIfInvalid(QStringLiteral("A"), Qmd::StrDict);
    }) << keys << "Set Type If Invalid";
    QTest::newRow("remove by ids") << Request([](C &c, I l) {
        return c.requestRemove(QmdItemIdList{1, 2}, l);
    }) << removedIds << "Remove";
    QTest::newRow("remove by keys") << Request([](C &c, I) {
        return c.requestRemove(QStringList{"B", "Empty"});
    }) << removedKeys << "Remove";
    QTest::newRow("clear") << Request([](C &c, I l) { return c.requestClear(l); }) << removedIds
                           << "Clear";
}

// Each request returns its id before any signal; its change signal, the undo
// state signals and last requestFinished follow from the event loop, all
// with that id, and the request is one undo step under its default text.
void TestQmdController::dataRequests()
{
    QFETCH(Request, request);
    QFETCH(QString, changeSignal);
    QFETCH(QString, text);

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
    QCOMPARE(recorder.only({"undoTextChanged"}).first().args, QVariantList{text});
    QCOMPARE(f.controller.undoText(), text);
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

void TestQmdController::ifInvalid_data()
{
    QTest::addColumn<bool>("byKey");
    QTest::addColumn<bool>("setsType");
    QTest::addColumn<bool>("exists");

    for (const bool byKey : {true, false}) {
        for (const bool setsType : {false, true}) {
            for (const bool exists : {true, false}) {
                QTest::addRow("%s, %s, %s", byKey ? "key" : "id", setsType ? "type" : "data",
                              exists ? "existing with invalid value" : "missing")
                    << byKey << setsType << exists;
            }
        }
    }
}

// An item that exists, even with an invalid value, is left alone; a missing
// one is created.
void TestQmdController::ifInvalid()
{
    QFETCH(bool, byKey);
    QFETCH(bool, setsType);
    QFETCH(bool, exists);

    Fixture f;
    const QString key = QStringLiteral("Item");
    const QmdItemId id = 7;
    const QmdIndex parent = byKey ? QmdIndex() : f.list;
    const QmdRequestOptions setup(Qmd::NoUndo, QStringLiteral("setup"));
    if (exists) {
        if (byKey)
            f.controller.requestSetType(key, Qmd::NoContainer, parent, setup);
        else
            f.controller.requestSetType(id, Qmd::NoContainer, parent, setup);
        QCoreApplication::processEvents();
    }
    const auto item = [&] {
        return byKey ? f.controller.index(key) : f.controller.index(id, parent);
    };
    QCOMPARE(f.controller.isValid(item()), exists);

    ControllerSignalRecorder recorder(&f.controller);
    QmdRequestId rid = 0;
    if (setsType) {
        rid = byKey ? f.controller.requestSetTypeIfInvalid(key, Qmd::StrDict, parent)
                    : f.controller.requestSetTypeIfInvalid(id, Qmd::StrDict, parent);
    } else {
        rid = byKey ? f.controller.requestSetDataIfInvalid(key, 42, parent)
                    : f.controller.requestSetDataIfInvalid(id, 42, parent);
    }
    QCoreApplication::processEvents();

    QVERIFY(f.controller.isValid(item()));
    QCOMPARE(f.controller.containerType(item()),
             setsType && !exists ? Qmd::StrDict : Qmd::NoContainer);
    QCOMPARE(f.controller.data(item()), setsType || exists ? QVariant() : QVariant(42));
    const QStringList changes =
        recorder.names().filter(QRegularExpression(QStringLiteral("^items")));
    QCOMPARE(changes.size(), exists ? 0 : 1);
    QCOMPARE(f.controller.undoRedoCount(), exists ? 0 : 1);
    // The request is served either way.
    QCOMPARE(recorder.namesFor(rid).last(), QStringLiteral("requestFinished"));
}

void TestQmdController::undoRequests_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<bool>("isReplay");
    QTest::addColumn<int>("undoRedoCount");
    QTest::addColumn<QVariant>("valueOfA");

    // Before each: A = 1 then A = 2 as two undo steps, one of them undone.
    QTest::newRow("undo") << "undo" << true << 2 << QVariant();
    QTest::newRow("redo") << "redo" << true << 2 << QVariant(2);
    QTest::newRow("mark clean") << "clean" << false << 2 << QVariant(1);
    QTest::newRow("limit") << "limit" << false << 1 << QVariant(1);
}

void TestQmdController::undoRequests()
{
    QFETCH(QString, which);
    QFETCH(bool, isReplay);
    QFETCH(int, undoRedoCount);
    QFETCH(QVariant, valueOfA);

    QmdMemModel model(Qmd::StrDict);
    QmdController controller;
    controller.setModel(&model);
    controller.requestSetData(QStringLiteral("A"), 1);
    controller.requestSetData(QStringLiteral("A"), 2);
    const QmdRequestId undone = controller.requestUndo();
    QCoreApplication::processEvents();
    QVERIFY(!controller.isUndoRedoRequest(undone));

    QList<bool> replayWhenFinished;
    connect(&controller, &QmdController::requestFinished, this, [&](QmdRequestId rid) {
        replayWhenFinished.append(controller.isUndoRedoRequest(rid));
    });

    QmdRequestId rid = 0;
    if (which == "undo")
        rid = controller.requestUndo();
    else if (which == "redo")
        rid = controller.requestRedo();
    else if (which == "clean")
        rid = controller.requestMarkAsCleanState();
    else
        rid = controller.requestSetUndoRedoLimit(1);

    QCOMPARE(controller.isUndoRedoRequest(rid), isReplay);
    // The request itself is no undo step.
    QCOMPARE(controller.undoRedoCount(), undoRedoCount);
    QCOMPARE(controller.data(controller.index(QStringLiteral("A"))), valueOfA);

    QCoreApplication::processEvents();
    QCOMPARE(replayWhenFinished, QList<bool>{isReplay});
    QVERIFY(!controller.isUndoRedoRequest(rid));
    if (which == "clean")
        QVERIFY(controller.isAtCleanState());
    if (which == "limit")
        QCOMPARE(controller.undoRedoLimit(), 1);
}

void TestQmdController::setModelSwitchesModels()
{
    QmdMemModel first(Qmd::StrDict);
    QmdMemModel second(Qmd::StrDict);
    QmdController controller;
    ControllerSignalRecorder recorder(&controller);

    controller.setModel(&first);
    QCOMPARE(recorder.names(), QStringList{"modelReset"});
    controller.setModel(&second);
    QCOMPARE(recorder.names(), QStringList({"modelReset", "modelReset"}));
    recorder.clear();

    // The old model's signals no longer reach the controller.
    first.setData(QHash<QString, QVariant>{{"Old", 1}});
    second.setData(QHash<QString, QVariant>{{"New", 1}});
    QCoreApplication::processEvents();
    const QList<ControllerEvent> changes = recorder.only({"itemsChanged(keys)"});
    QCOMPARE(changes.size(), 1);
    QCOMPARE(changes.first().args.at(1).toStringList(), QStringList{"New"});
    QCOMPARE(controller.model(), &second);
}

void TestQmdController::resetIsAnnouncedBeforeItRuns()
{
    QStringList log;
    LoggingController controller(&log);
    QmdMemModel model(Qmd::StrDict);
    controller.setModel(&model);
    controller.reset();
    const QStringList once{"about to be reset", "reset document", "reset"};
    QCOMPARE(log.filter(QStringLiteral("reset")), once + once);
}

void TestQmdController::requestOrderOfHooks_data()
{
    QTest::addColumn<Request>("request");
    QTest::addColumn<QStringList>("expected");
    const QStringList plain{"before request", "model begin", "model end", "after request"};
    // Each synchronous read is one section between the read hooks.
    QTest::newRow("every read") << Request([](QmdController &c, const QmdIndex &) {
        c.isValid(QmdIndex());
        c.index(QStringLiteral("A"));
        c.index(QmdItemId(1));
        c.parent(QmdIndex());
        c.hasChildren();
        c.children(QmdIndex());
        c.data(QmdIndex());
        c.containerType(QmdIndex());
        c.ids();
        c.keys();
        c.undoRedoLimit();
        c.isAtCleanState();
        c.undoRedoCount();
        c.canRedo();
        c.canUndo();
        c.redoText();
        c.undoText();
        return QmdRequestId(0);
    }) << QStringList(17, QStringLiteral("before read|after read")).join('|').split('|');
    QTest::newRow("set data") << Request([](QmdController &c, const QmdIndex &) {
        return c.requestSetData(QStringLiteral("A"), 1);
    }) << plain;
    // The existence check reads inside the request.
    QTest::newRow("set data if invalid") << Request([](QmdController &c, const QmdIndex &) {
        return c.requestSetDataIfInvalid(QStringLiteral("A"), 1);
    }) << QStringList{"before request", "model begin", "before read", "after read",
                      "before read",    "after read",  "model end",   "after request"};
}

void TestQmdController::requestOrderOfHooks()
{
    QFETCH(Request, request);
    QFETCH(QStringList, expected);
    QStringList log;
    LoggingModel model(&log);
    LoggingController controller(&log);
    controller.setModel(&model);
    log.clear();
    request(controller, QmdIndex());
    QCOMPARE(log, expected);
}

// requestFinished is emitted before the request hooks are taken to forget the
// request and run the request-finished hook.
void TestQmdController::requestFinishedHandling()
{
    QStringList log;
    LoggingModel model(&log);
    LoggingController controller(&log);
    controller.setModel(&model);
    connect(&controller, &QmdController::requestFinished, this,
            [&](QmdRequestId rid, int) { log.append(QStringLiteral("signal %1").arg(rid)); });
    const QmdRequestId rid = controller.requestSetData(QStringLiteral("A"), 1);
    log.clear();
    QCoreApplication::processEvents();
    const qsizetype at = log.indexOf(QStringLiteral("signal %1").arg(rid));
    QVERIFY(at >= 2);
    QCOMPARE(log.mid(at - 2),
             QStringList({"before read", "after read", QStringLiteral("signal %1").arg(rid),
                          "before request", QStringLiteral("finished hook %1").arg(rid),
                          "after request"}));
}

QTEST_GUILESS_MAIN(TestQmdController)
#include "tst_qmdcontroller.moc"
