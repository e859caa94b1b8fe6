#include "enginenetwork.h"
#include "voicetraversal.h"

#include <QtTest>

namespace {

constexpr qint64 P = QmdLudra::TicksPerPrincipal;
const QString ArcUsageList = "ArcUsageList";

QList<qint64> arrivals(const VoiceTraversal &traversal)
{
    QList<qint64> ticks;
    for (const Voice *voice : traversal.activeVoices())
        ticks.append(voice->travel.arrivalTick);
    std::sort(ticks.begin(), ticks.end());
    return ticks;
}

} // namespace

class tst_VoiceTraversal : public QObject
{
    Q_OBJECT

private slots:
    void noteNumber();
    void lists_data();
    void lists();
    void sequential_data();
    void sequential();
    void parallelContinuesOnLongestEdge_data();
    void parallelContinuesOnLongestEdge();
};

void tst_VoiceTraversal::noteNumber()
{
    const std::pair<const char *, int> rows[] = {
        {"C3", 60}, {"C#3", 61}, {"A8", 129}, {"H3", 60}, {"C", 0}, {"C9", 0}, {"E2147483647", 16}};
    for (const auto &[name, note] : rows)
        QVERIFY2(PlaybackGraph::noteNumber(QString::fromLatin1(name)) == quint8(note), name);
}

void tst_VoiceTraversal::lists_data()
{
    QTest::addColumn<QString>("pitchList");
    QTest::addColumn<int>("pitchId");
    QTest::addColumn<QString>("velocityList");
    QTest::addColumn<QString>("durationList");
    QTest::addColumn<int>("edgePrincipals");
    QTest::addColumn<int>("pitch");
    QTest::addColumn<int>("velocity");
    QTest::addColumn<qint64>("duration");

    // Pitch list and counter, velocity list, duration list, principals to
    // the next node (0: none); what is played.
    const auto row = [](const char *name, const char *pitches, int pitchId, const char *velocities,
                        const char *durations, int edgePrincipals, int pitch, int velocity,
                        qint64 duration) {
        QTest::newRow(name) << QString(pitches) << pitchId << QString(velocities)
                            << QString(durations) << edgePrincipals << pitch << velocity
                            << duration;
    };
    row("wrap-around", "C3,D3,E3", 3, "64", "1", 1, 60, 64, P);
    row("entry by id", "C3,D3,E3", 2, "64", "1", 1, 64, 64, P);
    row("empty fields skipped", ",C3,,D3,", 1, "64", "1", 1, 62, 64, P);
    row("+2 after 60", "+2", 0, "64", "1", 1, 62, 64, P);
    row("A8 clamps", "A8", 0, "64", "1", 1, 127, 64, P);
    row("velocity clamps", "C3", 0, "300", "1", 1, 60, 127, P);
    row("relative velocity", "C3", 0, "-70", "1", 1, 60, 0, P);
    row("relative entries beyond int range clamp", "+2147483647", 0, "-2147483648", "1", 1, 127, 0,
        P);
    row("empty lists keep the voice's values", "", 0, "", "", 1, 60, 50, 2 * P);
    row("50% without next edge", "C3", 0, "64", "50%", 0, 60, 64, P / 2);
    row("50% of three principals", "C3", 0, "64", "50%", 3, 60, 64, 3 * P / 2);
    row("*2% on an edge unchanged", "C3", 0, "64", "*2%", 1, 60, 64, 2 * P);
    row("*2% without edge", "C3", 0, "64", "*2%", 0, 60, 64, 4 * P);
    row("/4", "C3", 0, "64", "/4", 1, 60, 64, P / 2);
    row("+0.5", "C3", 0, "64", "+0.5", 1, 60, 64, 5 * P / 2);
    row("-3 clamps at 0", "C3", 0, "64", "-3", 1, 60, 64, qint64(0));
    row("huge clamps", "C3", 0, "64", "1e9", 1, 60, 64, VoiceTraversal::MaxDuration);
    row("not a number is 0", "C3", 0, "64", "x", 1, 60, 64, qint64(0));
    row("fraction of a tick rounds to nearest", "C3", 0, "64", "0.0000015", 1, 60, 64, qint64(1));
}

void tst_VoiceTraversal::lists()
{
    QFETCH(QString, pitchList);
    QFETCH(int, pitchId);
    QFETCH(QString, velocityList);
    QFETCH(QString, durationList);
    QFETCH(int, edgePrincipals);
    QFETCH(int, pitch);
    QFETCH(int, velocity);
    QFETCH(qint64, duration);

    EngineNetwork network;
    network.addNode(10, 0, 0,
                    {{"PitchList", pitchList},
                     {"VelocityList", velocityList},
                     {"DurationList", durationList},
                     {ArcUsageList, edgePrincipals ? "20=1" : QString()}});
    network.addNode(11, edgePrincipals, 0);
    network.addEdge(20, 10, 11);
    network.addVoiceGroup(1, 10, {{"InitialVelocity", "50"}, {"InitialDuration", "2"}});
    network.setState(10, {{"CurrentPitchId", pitchId}});

    VoiceTraversal traversal(1, &network.compile());
    traversal.reset(7 * P);
    traversal.processDue(7 * P);

    const QList<EngineNetwork::Delivery> deliveries = network.deliveries();
    QCOMPARE(deliveries.size(), 2);
    QCOMPARE(deliveries.at(0).instrument, QmdItemId(1));
    QCOMPARE(deliveries.at(0).event,
             InstrumentEvent::noteOn(7 * P, quint8(pitch), quint8(velocity)));
    QCOMPARE(deliveries.at(1).event, InstrumentEvent::noteOff(7 * P + duration, quint8(pitch), 0));
    const bool wrapped = pitchId >= pitchList.split(',', Qt::SkipEmptyParts).size();
    QCOMPARE(network.state(10, "CurrentPitchId").toInt(),
             pitchList.isEmpty() ? pitchId + 1 : (wrapped ? 1 : pitchId + 1));
    QCOMPARE(network.state(10, "HitCount").toInt(), 1);
}

void tst_VoiceTraversal::sequential_data()
{
    QTest::addColumn<QString>("usage");
    QTest::addColumn<QList<QmdItemId>>("edges");
    QTest::newRow("counts") << "21=2,22=1" << QList<QmdItemId>{21, 21, 22, 21, 21, 22};
    QTest::newRow("count 0 stays") << "21=0,22=1" << QList<QmdItemId>{21, 21, 21, 21};
    QTest::newRow("empty field wraps") << "21=1,,22=1" << QList<QmdItemId>{21, 21, 21};
    QTest::newRow("missing edge ends the path") << "29=1" << QList<QmdItemId>{};
}

void tst_VoiceTraversal::sequential()
{
    QFETCH(QString, usage);
    QFETCH(QList<QmdItemId>, edges);
    EngineNetwork network;
    network.addNode(10, 0, 0, {{ArcUsageList, usage}});
    network.addNode(11, 1, 0, {{ArcUsageList, "23=1"}});
    network.addEdge(21, 10, 11);
    network.addEdge(22, 10, 11);
    network.addEdge(23, 11, 10);
    network.addVoiceGroup(1, 10);
    VoiceTraversal traversal(1, &network.compile());
    traversal.reset(0);
    QList<QmdItemId> taken;
    for (qint64 tick = 0; tick < 2 * P * edges.size() + 1; tick += P) {
        traversal.processDue(tick);
        for (const Voice *voice : traversal.activeVoices()) {
            if (voice->travel.edge != 23 && voice->travel.departureTick == tick &&
                tick % (2 * P) == 0)
                taken.append(voice->travel.edge);
        }
    }
    QCOMPARE(taken.mid(0, edges.size()), edges);
}

void tst_VoiceTraversal::parallelContinuesOnLongestEdge_data()
{
    QTest::addColumn<QString>("usage");
    QTest::addColumn<QList<qint64>>("arrivals");
    QTest::newRow("3, 5, 5") << "21=1,22=1,23=1" << QList<qint64>{3 * P, 5 * P, 5 * P};
    QTest::newRow("primary listed twice") << "22=1,21=1,22=1" << QList<qint64>{3 * P, 5 * P};
    QTest::newRow("missing edge skipped") << "29=1,21=1" << QList<qint64>{3 * P};
}

void tst_VoiceTraversal::parallelContinuesOnLongestEdge()
{
    QFETCH(QString, usage);
    QFETCH(QList<qint64>, arrivals);
    EngineNetwork network;
    network.addNode(10, 0, 0,
                    {{ArcUsageList, usage}, {"SignallingMethod", 1}, {"DurationList", "50%"}});
    network.addNode(11, 3, 0);
    network.addNode(12, 5, 0);
    network.addNode(13, 2, 3);
    network.addEdge(21, 10, 11);
    network.addEdge(22, 10, 12);
    network.addEdge(23, 10, 13);
    network.addVoiceGroup(1, 10);
    VoiceTraversal traversal(1, &network.compile());
    traversal.reset(0);
    traversal.processDue(0);
    QCOMPARE(::arrivals(traversal), arrivals);
    // The note lasts half the primary edge: the longest one.
    const qint64 longest = arrivals.last();
    QCOMPARE(network.deliveries().at(1).event.tick, longest / 2);
}

QTEST_GUILESS_MAIN(tst_VoiceTraversal)
#include "tst_voicetraversal.moc"
