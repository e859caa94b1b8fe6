#include "qmdludraedgeusage.h"

#include <QTest>

using IdMap = QHash<QmdItemId, QmdItemId>;

class TestQmdLudraEdgeUsage : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void entryEdge_data();
    void entryEdge();
    void withEdgeAppended_data();
    void withEdgeAppended();
    void withoutEdge_data();
    void withoutEdge();
    void renumbered_data();
    void renumbered();
    void freeIdentifier_data();
    void freeIdentifier();
};

void TestQmdLudraEdgeUsage::entryEdge_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QmdItemId>("edge");

    QTest::newRow("plain") << "12=3" << QmdItemId(12);
    QTest::newRow("first equals sign counts") << "12=3=4" << QmdItemId(12);
    QTest::newRow("no uses") << "7" << QmdItemId(7);
    QTest::newRow("empty") << "" << QmdItemId(0);
    QTest::newRow("not a number") << "x=2" << QmdItemId(0);
    QTest::newRow("negative") << "-3=1" << QmdItemId(0);
}

void TestQmdLudraEdgeUsage::entryEdge()
{
    QFETCH(QString, entry);
    QFETCH(QmdItemId, edge);
    QCOMPARE(QmdLudraEdgeUsage::entryEdge(entry), edge);
}

void TestQmdLudraEdgeUsage::withEdgeAppended_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QmdItemId>("edge");
    QTest::addColumn<QString>("expected");

    QTest::newRow("after others") << "3=2,5=1" << QmdItemId(9) << "3=2,5=1,9=1";
    QTest::newRow("trailing comma kept") << "3=2," << QmdItemId(9) << "3=2,,9=1";
}

void TestQmdLudraEdgeUsage::withEdgeAppended()
{
    QFETCH(QString, list);
    QFETCH(QmdItemId, edge);
    QFETCH(QString, expected);
    QCOMPARE(QmdLudraEdgeUsage::withEdgeAppended(list, edge), expected);
}

void TestQmdLudraEdgeUsage::withoutEdge_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QmdItemId>("edge");
    QTest::addColumn<QString>("expected");

    QTest::newRow("only entry") << "7=1" << QmdItemId(7) << "";
    QTest::newRow("named twice") << "7=1,3=1,7=5" << QmdItemId(7) << "3=1";
    QTest::newRow("empty parts kept") << "3=1,,7=1,5=2," << QmdItemId(7) << "3=1,,5=2,";
    QTest::newRow("prefix is another edge") << "70=1,7=1,17=1" << QmdItemId(7) << "70=1,17=1";
    QTest::newRow("entry without uses") << "3=1,7" << QmdItemId(7) << "3=1";
    QTest::newRow("odd entries kept") << "x=1,7=1,=7" << QmdItemId(7) << "x=1,=7";
}

void TestQmdLudraEdgeUsage::withoutEdge()
{
    QFETCH(QString, list);
    QFETCH(QmdItemId, edge);
    QFETCH(QString, expected);
    QCOMPARE(QmdLudraEdgeUsage::withoutEdge(list, edge), expected);
}

void TestQmdLudraEdgeUsage::renumbered_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<IdMap>("newIds");
    QTest::addColumn<QString>("expected");

    QTest::newRow("uncopied dropped") << "3=2,5=1,3=4" << IdMap{{3, 30}} << "30=2,30=4";
    QTest::newRow("empty parts dropped") << ",3=2,,5=1," << IdMap{{3, 30}, {5, 50}} << "30=2,50=1";
    QTest::newRow("uses after the last equals sign") << "3=1=6" << IdMap{{3, 30}} << "30=6";
    QTest::newRow("ids swapped") << "3=1,5=2" << IdMap{{3, 5}, {5, 3}} << "5=1,3=2";
    QTest::newRow("nothing copied") << "3=2" << IdMap{} << "";
}

void TestQmdLudraEdgeUsage::renumbered()
{
    QFETCH(QString, list);
    QFETCH(IdMap, newIds);
    QFETCH(QString, expected);
    QCOMPARE(QmdLudraEdgeUsage::renumbered(list, newIds), expected);
}

void TestQmdLudraEdgeUsage::freeIdentifier_data()
{
    QTest::addColumn<QList<uint>>("taken");
    QTest::addColumn<int>("expected");

    QTest::newRow("none") << QList<uint>{} << 0;
    QTest::newRow("gap") << QList<uint>{2, 0} << 1;
    QTest::newRow("zero free") << QList<uint>{1, 2} << 0;
    QTest::newRow("duplicates") << QList<uint>{0, 0, 1} << 2;
    QTest::newRow("huge values") << QList<uint>{0, 4294967295u} << 1;
}

void TestQmdLudraEdgeUsage::freeIdentifier()
{
    QFETCH(QList<uint>, taken);
    QFETCH(int, expected);
    QCOMPARE(QmdLudraEdgeUsage::freeIdentifier(taken), expected);
}

QTEST_APPLESS_MAIN(TestQmdLudraEdgeUsage)
#include "tst_qmdludraedgeusage.moc"
