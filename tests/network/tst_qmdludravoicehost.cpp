#include "networkdocument.h"
#include "qmdludravoicehost.h"

#include <QTest>

namespace {

using QmdLudra::TickPos;
constexpr qint64 P = QmdLudra::TicksPerPrincipal;

// The document side only: the deliveries are a subclass's.
class DocumentHost : public QmdLudraVoiceHost
{
public:
    using QmdLudraVoiceHost::QmdLudraVoiceHost;
    bool deliverNotePair(QmdItemId, const InstrumentEvent &, const InstrumentEvent &) override
    {
        return false;
    }
    bool deliverEvent(QmdItemId, const InstrumentEvent &) override { return false; }
    bool appendFiredNode(const FiredNode &) override { return false; }
    AbstractSync *timingSource() const override { return nullptr; }
};

} // namespace

class TestQmdLudraVoiceHost : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void reads();
    void stateWritesStayOutOfUndo_data();
    void stateWritesStayOutOfUndo();
    void travelTime_data();
    void travelTime();
};

void TestQmdLudraVoiceHost::reads()
{
    NetworkDocument doc;
    const QmdItemId node = doc.addNode();
    const QmdItemId group = doc.addVoiceGroup(node);
    DocumentHost host(&doc.controller);

    QCOMPARE(host.elementValue(node, "PitchList"), QVariant("C3"));
    QVERIFY(host.hasElement(node) && host.hasElementState(node));
    QCOMPARE(host.elementStateValue(node, "HitCount"), QVariant(0));
    QCOMPARE(host.elementValue(node, "Absent"), QVariant());
    QCOMPARE(host.elementStateValue(node, "Absent"), QVariant());
    // A voice group has no state record.
    QCOMPARE(host.elementValue(group, "InitialPitch"), QVariant("C3"));
    QVERIFY(host.hasElement(group) && !host.hasElementState(group));
    QCOMPARE(host.elementStateValue(group, "HitCount"), QVariant());
    // An element that is not there reads as nothing.
    QVERIFY(!host.hasElement(999) && !host.hasElementState(999));
    QCOMPARE(host.elementValue(999, "PitchList"), QVariant());
    QCOMPARE(host.elementStateValue(999, "HitCount"), QVariant());
}

void TestQmdLudraVoiceHost::stateWritesStayOutOfUndo_data()
{
    QTest::addColumn<bool>("onNode");

    QTest::newRow("node state record") << true;
    // A voice group has no state record, and none is made by writing.
    QTest::newRow("no state record") << false;
}

void TestQmdLudraVoiceHost::stateWritesStayOutOfUndo()
{
    QFETCH(bool, onNode);

    NetworkDocument doc;
    const QmdItemId node = doc.addNode();
    const QmdItemId target = onNode ? node : doc.addVoiceGroup(node);
    const int undoSteps = doc.controller.undoRedoCount();
    const QString undoText = doc.controller.undoText();
    DocumentHost host(&doc.controller);

    host.writeElementState(target, {{"HitCount", 5}, {"CurrentPitchId", 2}});
    QTest::qWait(0);

    QCOMPARE(host.elementStateValue(target, "HitCount"), onNode ? QVariant(5) : QVariant());
    QCOMPARE(host.elementStateValue(target, "CurrentPitchId"), onNode ? QVariant(2) : QVariant());
    QCOMPARE(host.hasElementState(target), onNode);
    QCOMPARE(doc.controller.undoRedoCount(), undoSteps);
    QCOMPARE(doc.controller.undoText(), undoText);
}

void TestQmdLudraVoiceHost::travelTime_data()
{
    QTest::addColumn<TickPos>("from");
    QTest::addColumn<TickPos>("to");
    QTest::addColumn<int>("path");
    QTest::addColumn<QString>("missing");
    QTest::addColumn<qint64>("ticks");
    QTest::addColumn<bool>("ok");

    const TickPos origin{0, 0};
    // The edge's path counts: by city block this would be 7.
    QTest::newRow("direct") << origin << TickPos{3 * P, 4 * P} << 2 << "" << 5 * P << true;
    QTest::newRow("to-node missing") << origin << TickPos{P, 0} << 0 << "ToNode" << 0ll << false;
    QTest::newRow("from-node missing")
        << origin << TickPos{P, 0} << 0 << "FromNode" << 0ll << false;
    QTest::newRow("edge missing") << origin << TickPos{P, 0} << 0 << "edge" << 0ll << false;
}

void TestQmdLudraVoiceHost::travelTime()
{
    QFETCH(TickPos, from);
    QFETCH(TickPos, to);
    QFETCH(int, path);
    QFETCH(QString, missing);
    QFETCH(qint64, ticks);
    QFETCH(bool, ok);

    NetworkDocument doc;
    const QmdItemId edge = doc.addEdge(doc.addNode(from), doc.addNode(to));
    QVERIFY(doc.set(edge, "Path", path));
    if (missing == QLatin1String("edge"))
        QVERIFY(doc.removeElements({edge}));
    else if (!missing.isEmpty())
        QVERIFY(doc.set(edge, missing, 999u));
    DocumentHost host(&doc.controller);

    bool usable = !ok;
    QCOMPARE(host.travelTime(edge, &usable), ticks);
    QCOMPARE(usable, ok);
}

QTEST_GUILESS_MAIN(TestQmdLudraVoiceHost)
#include "tst_qmdludravoicehost.moc"
