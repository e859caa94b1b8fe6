#include "qmdludra.h"

#include <QTest>

#include <limits>

using namespace QmdLudra;

class TestQmdLudra : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void edgeLength_data();
    void edgeLength();
    void names_data();
    void names();
};

void TestQmdLudra::edgeLength_data()
{
    QTest::addColumn<int>("path");
    QTest::addColumn<qint64>("ax");
    QTest::addColumn<qint64>("ay");
    QTest::addColumn<qint64>("bx");
    QTest::addColumn<qint64>("by");
    QTest::addColumn<qint64>("length");
    QTest::addColumn<bool>("ok");

    const qint64 big = std::numeric_limits<qint64>::max();
    QTest::newRow("direct 3-4-5") << int(Direct) << 0LL << 0LL << 3LL << 4LL << 5LL << true;
    QTest::newRow("city block 3-4") << int(CityBlock) << 0LL << 0LL << 3LL << 4LL << 7LL << true;
    QTest::newRow("unknown path") << 7 << 0LL << 0LL << 3LL << 4LL << 0LL << true;
    QTest::newRow("backwards") << int(CityBlock) << 10LL << 10LL << 4LL << 2LL << 14LL << true;
    QTest::newRow("direct rounds up") << int(Direct) << 0LL << 0LL << 2LL << 3LL << 4LL << true;
    QTest::newRow("beyond 32 bits")
        << int(Direct) << -5000000000LL << 0LL << 5000000000LL << 0LL << 10000000000LL << true;
    QTest::newRow("direct overflow") << int(Direct) << -big << -big << big << big << 0LL << false;
    QTest::newRow("city block overflow")
        << int(CityBlock) << -big << 0LL << big << 0LL << 0LL << false;
}

void TestQmdLudra::edgeLength()
{
    QFETCH(int, path);
    QFETCH(qint64, ax);
    QFETCH(qint64, ay);
    QFETCH(qint64, bx);
    QFETCH(qint64, by);
    QFETCH(qint64, length);
    QFETCH(bool, ok);
    bool reportedOk = !ok;
    QCOMPARE(QmdLudra::edgeLength(path, {ax, ay}, {bx, by}, &reportedOk), length);
    QCOMPARE(reportedOk, ok);
}

void TestQmdLudra::names_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("written");

    const auto row = [](const char *kind, const char *name, int value, const char *written) {
        QTest::newRow(name) << QString(kind) << QString(name) << value << QString(written);
    };
    row("type", "arc", 1, "Edge");
    row("type", "NODE", 2, "Node");
    row("type", "textbox", 3, "TextBox");
    row("type", "player", 4, "VoiceGroup");
    row("type", "widget", 0, "");
    row("path", "cityblockflipped", 1, "CityBlockFlipped");
    row("path", "Direct", 2, "Direct");
    row("path", "curvy", 0, "CityBlock");
    row("signalling", "parallel", 1, "Parallel");
    row("signalling", "Random", 2, "Random");
    row("signalling", "x", 0, "Sequential");
}

void TestQmdLudra::names()
{
    QFETCH(QString, kind);
    QFETCH(QString, name);
    QFETCH(int, value);
    QFETCH(QString, written);
    if (kind == QLatin1String("type")) {
        QCOMPARE(int(elementTypeFromName(name)), value);
        QCOMPARE(elementTypeName(uint(value)), written);
    } else if (kind == QLatin1String("path")) {
        QCOMPARE(edgePathFromName(name), value);
        QCOMPARE(edgePathName(value), written);
    } else {
        QCOMPARE(signallingMethodFromName(name), value);
        QCOMPARE(signallingMethodName(value), written);
    }
}

QTEST_GUILESS_MAIN(TestQmdLudra)
#include "tst_qmdludra.moc"
