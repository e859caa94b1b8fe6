#include "qmdcontroller.h"
#include "qmdmemmodel.h"
#include "qmdsyncronizedcontroller.h"

#include <QCoreApplication>
#include <QSemaphore>
#include <QtTest>

#include <atomic>
#include <thread>
#include <vector>

namespace {

const QString keyA = QStringLiteral("A");
const QString keyB = QStringLiteral("B");
constexpr int fillerKeys = 300;
constexpr int pairRequests = 1500;

// Sets "A" and "B" to one value in one request, with many other keys written
// between the two, so that a reader not kept out would see them differ.
class PairController : public QmdSyncronizedController<QmdController>
{
public:
    QmdRequestId requestSetPair(int value)
    {
        QHash<QString, QVariant> filler;
        for (int i = 0; i < fillerKeys; ++i)
            filler.insert(QStringLiteral("F%1").arg(i), value);
        const QmdRequestId rid = startRequest(QmdRequestOptions(Qmd::NoUndo, "Pair"));
        setData(keyA, value);
        setData(filler);
        setData(keyB, value);
        endRequest();
        return rid;
    }
};

// Issues ids with a pause between reading and writing the counter, so that
// two threads not kept apart by the counter lock would issue the same id.
class SlowCounterController : public QmdController
{
protected:
    QmdRequestId nextRequestId() override
    {
        const QmdRequestId counter = QmdController::requestCounter();
        std::this_thread::yield();
        QmdController::setRequestCounter(counter);
        return QmdController::nextRequestId();
    }
};

struct ReadResult
{
    int reads = 0;
    int mismatches = 0;
};

// Reads A and B under the data lock until the writer is done, and once more
// after that.
ReadResult readPairs(PairController &controller, const std::atomic<bool> &writerDone,
                     QSemaphore &started)
{
    ReadResult result;
    bool first = true;
    for (;;) {
        const bool done = writerDone.load();
        QVariant a;
        QVariant b;
        {
            const std::lock_guard locker(controller.dataLock());
            a = controller.data(controller.index(keyA));
            b = controller.data(controller.index(keyB));
        }
        ++result.reads;
        if (a != b)
            ++result.mismatches;
        if (first) {
            started.release();
            first = false;
        }
        if (done)
            return result;
    }
}

} // namespace

class TestQmdSyncronizedController : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readerNeverSeesHalfARequest();
    void requestIdsAreUniqueAcrossThreads();
};

// A reader under the data lock sees A and B from the same request, never
// from either side of one.
void TestQmdSyncronizedController::readerNeverSeesHalfARequest()
{
    QmdMemModel model(Qmd::StrDict);
    PairController controller;
    controller.setModel(&model);
    controller.requestSetPair(0);

    std::atomic<bool> writerDone{false};
    QSemaphore started;
    ReadResult result;
    // Standard threads: joining one is visible to race checkers.
    std::thread reader([&] { result = readPairs(controller, writerDone, started); });
    started.acquire();

    for (int i = 1; i <= pairRequests; ++i)
        controller.requestSetPair(i);
    writerDone.store(true);
    reader.join();
    QCoreApplication::processEvents();

    QVERIFY(result.reads >= 2);
    QCOMPARE(controller.data(controller.index(keyB)), QVariant(pairRequests));
    QCOMPARE(result.mismatches, 0);
}

// Requests made from several threads at once get distinct, non-zero ids,
// and each is served whole.
void TestQmdSyncronizedController::requestIdsAreUniqueAcrossThreads()
{
    constexpr int threads = 4;
    constexpr int perThread = 500;
    QmdMemModel model(Qmd::StrDict);
    QmdSyncronizedController<SlowCounterController> controller;
    controller.setModel(&model);
    int finished = 0;
    connect(&controller, &QmdController::requestFinished, this, [&] { ++finished; });

    std::vector<QList<QmdRequestId>> issued(threads);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&controller, &issued, t] {
            const QString key = QStringLiteral("T%1").arg(t);
            for (int i = 0; i < perThread; ++i)
                issued[t].append(controller.requestSetData(key, i, QmdIndex(),
                                                           QmdRequestOptions(Qmd::NoUndo, "t")));
        });
    }
    for (std::thread &worker : workers)
        worker.join();
    QCoreApplication::processEvents();

    QSet<QmdRequestId> distinct;
    for (const QList<QmdRequestId> &ids : issued) {
        QCOMPARE(ids.size(), perThread);
        for (QmdRequestId rid : ids)
            distinct.insert(rid);
    }
    QCOMPARE(distinct.size(), threads * perThread);
    QVERIFY(!distinct.contains(0));
    QCOMPARE(finished, threads * perThread);
    for (int t = 0; t < threads; ++t)
        QCOMPARE(controller.data(controller.index(QStringLiteral("T%1").arg(t))),
                 QVariant(perThread - 1));
}

QTEST_GUILESS_MAIN(TestQmdSyncronizedController)
#include "tst_qmdsyncronizedcontroller.moc"
