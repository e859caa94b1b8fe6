#include "enginenetwork.h"
#include "voicetraversal.h"

#include <QtTest>

#include <limits>

namespace {

constexpr qint64 P = QmdLudra::TicksPerPrincipal;
const QString ArcUsageList = "ArcUsageList";

// Fires every voice due by now, as a step of a real-time group does.
void fireUntil(VoiceTraversal &traversal, qint64 now)
{
    traversal.processDue(now);
}

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
    void noteNumber_data();
    void noteNumber();
    void random();
    void lists_data();
    void lists();
    void countersWrapPastLargestInt();
    void userMessage_data();
    void userMessage();
    void mutedNodeAdvancesCounters();
    void sequential_data();
    void sequential();
    void parallelContinuesOnLongestEdge_data();
    void parallelContinuesOnLongestEdge();
    void randomCountZeroWins();
    void poolHoldsTwentyFourVoices();
    void retimeFollowsGeometry();
};

void tst_VoiceTraversal::noteNumber_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("note");
    QTest::newRow("C3") << "C3" << 60;
    QTest::newRow("C#3") << "C#3" << 61;
    QTest::newRow("A-1") << "A-1" << 21;
    QTest::newRow("G8") << "G8" << 127;
    QTest::newRow("A8 beyond MIDI") << "A8" << 129;
    QTest::newRow("unknown letter") << "H3" << 60;
    QTest::newRow("digit first") << "3" << 0;
    QTest::newRow("no octave") << "C" << 0;
    QTest::newRow("nine is no octave digit") << "C9" << 0;
    QTest::newRow("lowest int octave keeps 8 bits") << "C-2147483648" << 24;
    QTest::newRow("highest int octave keeps 8 bits") << "E2147483647" << 16;
}

void tst_VoiceTraversal::noteNumber()
{
    QFETCH(QString, name);
    QFETCH(int, note);
    QCOMPARE(PlaybackGraph::noteNumber(name), quint8(note));
}

void tst_VoiceTraversal::random()
{
    // The classic generator's first results from seed 1.
    VoiceRandom random;
    QCOMPARE(random.next(), 41);
    QCOMPARE(random.next(), 18467);
    QCOMPARE(random.next(), 6334);
    random.seed(1);
    // 41 / 32768 * 2 is below 1, 18467 / 32768 * 2 above.
    QCOMPARE(random.between(1, 2), 1);
    QCOMPARE(random.between(2, 1), 2);
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
    fireUntil(traversal, 7 * P);

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

// A document may hold any counter; the one past the largest int is the
// smallest, which the next read takes as the start of its list.
void tst_VoiceTraversal::countersWrapPastLargestInt()
{
    const int largest = std::numeric_limits<int>::max();
    EngineNetwork network;
    network.addNode(10, 0, 0, {{ArcUsageList, "20=1"}});
    network.addNode(11, 1, 0);
    network.addEdge(20, 10, 11);
    network.addVoiceGroup(1, 10);
    network.setState(10, {{"HitCount", largest}});
    network.setState(20, {{"CurrentScaleId", largest}});
    VoiceTraversal traversal(1, &network.compile());
    traversal.reset(0);
    fireUntil(traversal, 0);
    QCOMPARE(network.state(10, "HitCount").toInt(), std::numeric_limits<int>::min());
    QCOMPARE(network.state(20, "CurrentScaleId").toInt(), std::numeric_limits<int>::min());
}

void tst_VoiceTraversal::userMessage_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("three bytes") << "90 3C 40" << QByteArray("\x90\x3C\x40", 3);
    QTest::newRow("spaces give zeros") << " F0  7" << QByteArray("\x00\xF0\x00\x07", 4);
    QTest::newRow("junk and wide values") << "zz 1FF" << QByteArray("\x00\xFF", 2);
    QTest::newRow("second entry after wrap") << "C0,B0" << QByteArray("\xC0", 1);
}

void tst_VoiceTraversal::userMessage()
{
    QFETCH(QString, list);
    QFETCH(QByteArray, bytes);
    EngineNetwork network;
    network.addNode(10, 0, 0, {{"UserMidiMessageList", list}});
    network.addVoiceGroup(1, 10);
    network.setState(10, {{"CurrentUserMidiMessageId", 2}});
    VoiceTraversal traversal(1, &network.compile());
    traversal.reset(P);
    fireUntil(traversal, P);
    const QList<EngineNetwork::Delivery> deliveries = network.deliveries();
    QCOMPARE(deliveries.size(), 3);
    QCOMPARE(deliveries.at(0).event, InstrumentEvent::userMessage(P, bytes));
}

void tst_VoiceTraversal::mutedNodeAdvancesCounters()
{
    EngineNetwork network;
    network.addNode(
        10, 0, 0,
        {{"DontPlayNote", true}, {"PitchList", "D3,E3"}, {"UserMidiMessageList", "B0 7B 00"}});
    network.addVoiceGroup(1, 10);
    VoiceTraversal traversal(1, &network.compile());
    traversal.reset(0);
    fireUntil(traversal, 0);

    const QList<EngineNetwork::Delivery> deliveries = network.deliveries();
    QCOMPARE(deliveries.size(), 1);
    QCOMPARE(deliveries.at(0).event.type, qint32(InstrumentEvent::UserMessage));
    for (const char *key : {"CurrentPitchId", "CurrentVelocityId", "CurrentDurationId",
                            "CurrentUserMidiMessageId", "HitCount"})
        QCOMPARE(network.state(10, QString::fromLatin1(key)).toInt(), 1);
    const QList<FiredNode> fired = network.firedNodes();
    QCOMPARE(fired.size(), 1);
    QVERIFY(fired.at(0).didNotPlay);
    QCOMPARE(fired.at(0).node, QmdItemId(10));
    QCOMPARE(fired.at(0).pitch, quint8(62));
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
        fireUntil(traversal, tick);
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
    fireUntil(traversal, 0);
    QCOMPARE(::arrivals(traversal), arrivals);
    // The note lasts half the primary edge: the longest one.
    const qint64 longest = arrivals.last();
    QCOMPARE(network.deliveries().at(1).event.tick, longest / 2);
}

void tst_VoiceTraversal::randomCountZeroWins()
{
    EngineNetwork network;
    network.addNode(10, 0, 0, {{ArcUsageList, "21=5,,22=0,23=0"}, {"SignallingMethod", 2}});
    network.addNode(11, 1, 0);
    network.addEdge(21, 10, 11);
    network.addEdge(22, 10, 11);
    network.addEdge(23, 10, 11);
    network.addVoiceGroup(1, 10);
    VoiceTraversal traversal(1, &network.compile());
    for (int run = 0; run < 5; ++run) {
        traversal.reset(0);
        fireUntil(traversal, 0);
        const QList<Voice *> voices = traversal.activeVoices();
        QCOMPARE(voices.size(), 1);
        QCOMPARE(voices.first()->travel.edge, QmdItemId(22));
    }
}

void tst_VoiceTraversal::poolHoldsTwentyFourVoices()
{
    EngineNetwork network;
    QStringList usage{"21=1"};
    for (int i = 0; i < 30; ++i)
        usage.append("22=1");
    network.addNode(10, 0, 0, {{ArcUsageList, usage.join(',')}, {"SignallingMethod", 1}});
    network.addNode(11, 2, 0);
    network.addNode(12, 1, 0, {{ArcUsageList, "23=1,23=1"}, {"SignallingMethod", 1}});
    network.addEdge(21, 10, 11);
    network.addEdge(22, 10, 12);
    network.addEdge(23, 12, 11);
    network.addVoiceGroup(1, 10);
    VoiceTraversal traversal(1, &network.compile());
    traversal.reset(0);
    fireUntil(traversal, 0);
    QCOMPARE(traversal.activeVoices().size(), 24);
    // The first voice to reach the parallel node finds the pool full, so
    // its node chooses nothing and that path ends; the rest continue.
    fireUntil(traversal, P);
    QCOMPARE(traversal.activeVoices().size(), 23);
    QSet<quint32> ids;
    for (const Voice *voice : traversal.activeVoices())
        ids.insert(voice->id);
    QCOMPARE(ids.size(), 23);
}

void tst_VoiceTraversal::retimeFollowsGeometry()
{
    EngineNetwork network;
    network.addNode(10, 0, 0, {{ArcUsageList, "21=1"}});
    network.addNode(11, 4, 0);
    network.addEdge(21, 10, 11);
    network.addVoiceGroup(1, 10);
    VoiceTraversal traversal(1, &network.compile());
    traversal.reset(P);
    fireUntil(traversal, P);
    QCOMPARE(arrivals(traversal), QList<qint64>{5 * P});
    network.setElement(11, {{"TickPos", QVariant::fromValue(QmdLudra::TickPos{2 * P, P})}});
    network.compile();
    traversal.retime();
    QCOMPARE(arrivals(traversal), QList<qint64>{4 * P});
    network.setElement(21, {{"ToNode", 99u}});
    network.compile();
    traversal.retime();
    QVERIFY(!traversal.hasActiveVoices());
}

QTEST_GUILESS_MAIN(tst_VoiceTraversal)
#include "tst_voicetraversal.moc"
