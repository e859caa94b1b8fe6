#include "qmdludra.h"
#include "qmdludraedgeusage.h"

#include <QTest>

#include <limits>

using namespace QmdLudra;

// The arithmetic of edge lengths and of the edge-usage lists of nodes.
class TestQmdLudra : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void edgeLength();
    void edgeUsageLists();
};

void TestQmdLudra::edgeLength()
{
    const qint64 big = std::numeric_limits<qint64>::max();
    const struct
    {
        const char *name;
        int path;
        TickPos a;
        TickPos b;
        qint64 length;
        bool ok;
    } rows[] = {
        {"direct 3-4-5", Direct, {0, 0}, {3, 4}, 5, true},
        {"direct rounds up", Direct, {0, 0}, {2, 3}, 4, true},
        {"city block, backwards", CityBlock, {10, 10}, {4, 2}, 14, true},
        {"unknown path", 7, {0, 0}, {3, 4}, 0, true},
        {"beyond 32 bits", Direct, {-5000000000, 0}, {5000000000, 0}, 10000000000, true},
        {"direct overflow", Direct, {-big, -big}, {big, big}, 0, false},
        {"city block overflow", CityBlock, {-big, 0}, {big, 0}, 0, false},
    };
    for (const auto &row : rows) {
        bool ok = !row.ok;
        const qint64 length = QmdLudra::edgeLength(row.path, row.a, row.b, &ok);
        QVERIFY2(length == row.length && ok == row.ok, row.name);
    }
}

void TestQmdLudra::edgeUsageLists()
{
    using Usage = QmdLudraEdgeUsage;
    QCOMPARE(Usage::entryEdge("12=3"), QmdItemId(12));
    QCOMPARE(Usage::entryEdge("7"), QmdItemId(7));
    QCOMPARE(Usage::entryEdge("-3=1"), QmdItemId(0));
    QCOMPARE(Usage::withEdgeAppended("3=2,5=1", 9), QString("3=2,5=1,9=1"));
    QCOMPARE(Usage::withoutEdge("7=1,3=1,7=5", 7), QString("3=1"));
    // Only the whole number names an edge.
    QCOMPARE(Usage::withoutEdge("70=1,7=1,17=1", 7), QString("70=1,17=1"));
    // Copies keep the entries of copied edges under their new ids.
    QCOMPARE(Usage::renumbered(",3=2,,5=1,3=4", {{3, 30}}), QString("30=2,30=4"));
    QCOMPARE(Usage::renumbered("3=1,5=2", {{3, 5}, {5, 3}}), QString("5=1,3=2"));
}

QTEST_GUILESS_MAIN(TestQmdLudra)
#include "tst_qmdludra.moc"
