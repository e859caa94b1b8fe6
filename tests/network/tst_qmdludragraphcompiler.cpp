#include "networkdocument.h"
#include "qmdludragraphcompiler.h"

#include <QTest>

namespace {

using QmdLudra::TickPos;
constexpr qint64 P = QmdLudra::TicksPerPrincipal;

} // namespace

class TestQmdLudraGraphCompiler : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void travelTime_data();
    void travelTime();
    void updateCompilesWhatChanged();
};

void TestQmdLudraGraphCompiler::travelTime_data()
{
    QTest::addColumn<int>("path");
    QTest::addColumn<QString>("missing");
    QTest::addColumn<qint64>("ticks");
    QTest::addColumn<bool>("known");

    // The edge's path counts: by city block this would be 7.
    QTest::newRow("direct") << 2 << "" << 5 * P << true;
    QTest::newRow("city block") << 0 << "" << 7 * P << true;
    QTest::newRow("to-node missing") << 0 << "ToNode" << 0ll << false;
    QTest::newRow("from-node missing") << 0 << "FromNode" << 0ll << false;
}

void TestQmdLudraGraphCompiler::travelTime()
{
    QFETCH(int, path);
    QFETCH(QString, missing);
    QFETCH(qint64, ticks);
    QFETCH(bool, known);

    NetworkDocument doc;
    const QmdItemId edge = doc.addEdge(doc.addNode({0, 0}), doc.addNode({3 * P, 4 * P}));
    QVERIFY(doc.set(edge, "Path", path));
    if (!missing.isEmpty())
        QVERIFY(doc.set(edge, missing, 999u));

    const QmdLudraGraphCompiler::Result result = QmdLudraGraphCompiler(&doc.controller).compile();
    QCOMPARE(result.graph->element(edge)->travelKnown, known);
    QCOMPARE(result.graph->element(edge)->travelTicks, ticks);
}

// After an edit only what it touched is compiled again: a moved node's
// edges, added and removed elements. The counters of new elements come from
// their records.
void TestQmdLudraGraphCompiler::updateCompilesWhatChanged()
{
    NetworkDocument doc;
    const QmdItemId a = doc.addNode({0, 0});
    const QmdItemId b = doc.addNode({2 * P, 0});
    const QmdItemId c = doc.addNode({0, P});
    const QmdItemId ab = doc.addEdge(a, b);
    const QmdItemId ca = doc.addEdge(c, a);
    const QmdLudraGraphCompiler compiler(&doc.controller);
    const QmdLudraGraphCompiler::Result before = compiler.compile();

    QVERIFY(doc.set(b, "TickPos", QVariant::fromValue(TickPos{3 * P, P})));
    QVERIFY(doc.removeElements({c}));
    const QmdItemId d = doc.addNode({P, P});
    QVERIFY(doc.run(doc.controller.requestSetData("HitCount", 6, doc.state(d))));
    const QmdLudraGraphCompiler::Result after = compiler.update(*before.graph, {b, c, ca, d});

    QCOMPARE(after.graph->element(ab)->travelTicks, 4 * P);
    QVERIFY(!after.graph->element(c) && !after.graph->element(ca));
    QVERIFY(after.graph->element(d));
    QCOMPARE(after.states.value(d).hitCount, 6);
    QVERIFY(!after.states.contains(c));
    // The earlier graph is never changed.
    QCOMPARE(before.graph->element(ab)->travelTicks, 2 * P);
    QCOMPARE(after.graph->elements.size(), before.graph->elements.size() - 1);
}

QTEST_GUILESS_MAIN(TestQmdLudraGraphCompiler)
#include "tst_qmdludragraphcompiler.moc"
