#include "manualclock.h"
#include "midisync.h"
#include "testnetwork.h"
#include "voicegroup.h"

#include <QtTest>

#include <memory>

namespace {

constexpr qint64 P = QmdLudra::TicksPerPrincipal;
// At the default 120 beats a minute, one principal to one beat.
constexpr qint64 PrincipalNs = 500000000;
const QString ArcUsageList = QStringLiteral("ArcUsageList");

QList<qint64> noteOnTicks(const TestNetwork &network)
{
    QList<qint64> ticks;
    for (const TestNetwork::Delivery &delivery : network.deliveries()) {
        if (delivery.event.type == InstrumentEvent::NoteOn)
            ticks.append(delivery.event.tick);
    }
    return ticks;
}

} // namespace

// The group runs on its own thread against a timing source that follows a
// clock moved by hand; every check is on what was delivered and at which
// tick, waiting for the thread to get there.
class tst_VoiceGroup : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void playsAlongTheClock();
    void parallelVoicesFireTogether();
    void deadEndStopsIterating();
    void gotoStartWhileStoppedStaysStopped();
    void editWhileTravellingRetimes();

private:
    std::unique_ptr<VoiceGroup> startGroup();

    std::unique_ptr<ManualClock> m_clock;
    std::unique_ptr<TestNetwork> m_network;
    std::unique_ptr<MidiSync> m_sync;
};

void tst_VoiceGroup::init()
{
    m_clock = std::make_unique<ManualClock>();
    m_network = std::make_unique<TestNetwork>();
    m_sync = std::make_unique<MidiSync>();
    m_network->setTimingSource(m_sync.get());
}

void tst_VoiceGroup::cleanup()
{
    m_sync.reset();
    m_network.reset();
    m_clock.reset();
}

std::unique_ptr<VoiceGroup> tst_VoiceGroup::startGroup()
{
    auto group = std::make_unique<VoiceGroup>(1, m_network.get());
    group->startAndWait(QThread::TimeCriticalPriority);
    return group;
}

void tst_VoiceGroup::playsAlongTheClock()
{
    m_network->addNode(10, 0, 0,
                       {{ArcUsageList, QStringLiteral("21=1")},
                        {QStringLiteral("PitchList"), QStringLiteral("C3,D3")}});
    m_network->addNode(11, 1, 0, {{ArcUsageList, QStringLiteral("22=1")}});
    m_network->addEdge(21, 10, 11);
    m_network->addEdge(22, 11, 10);
    m_network->addVoiceGroup(1, 10);
    const auto group = startGroup();
    m_sync->setRunning(true);
    const qint64 start = m_sync->tickPosition();
    group->continueIterating();
    QTRY_COMPARE(m_network->notesOn().size(), 1);
    for (int i = 0; i < 3; ++i)
        m_clock->advance(PrincipalNs);
    QTRY_COMPARE(m_network->notesOn().size(), 4);
    group->pauseIterating();
    QCOMPARE(m_network->notesOn(), (QList<int>{60, 60, 62, 60}));
    QCOMPARE(noteOnTicks(*m_network),
             (QList<qint64>{start, start + P, start + 2 * P, start + 3 * P}));
    QCOMPARE(m_network->state(10, QStringLiteral("HitCount")).toInt(), 2);
}

void tst_VoiceGroup::parallelVoicesFireTogether()
{
    m_network->addNode(10, 0, 0,
                       {{ArcUsageList, QStringLiteral("21=1,22=1,23=1")},
                        {QStringLiteral("SignallingMethod"), 1}});
    for (QmdItemId i = 0; i < 3; ++i) {
        m_network->addNode(11 + i, 1, 0, {{QStringLiteral("PitchList"), QStringLiteral("+1")}});
        m_network->addEdge(21 + i, 10, 11 + i);
    }
    m_network->addVoiceGroup(1, 10);
    const auto group = startGroup();
    m_sync->setRunning(true);
    group->continueIterating();
    QTRY_COMPARE(m_network->notesOn().size(), 1);
    m_clock->advance(3 * PrincipalNs);
    QTRY_COMPARE(m_network->notesOn().size(), 4);
    QTRY_VERIFY(!group->isIterating());
    QCOMPARE(m_network->notesOn(), (QList<int>{60, 61, 61, 61}));
    QSet<QmdItemId> nodes;
    for (const FiredNode &fired : m_network->firedNodes())
        nodes.insert(fired.node);
    QCOMPARE(nodes, (QSet<QmdItemId>{10, 11, 12, 13}));
}

void tst_VoiceGroup::deadEndStopsIterating()
{
    m_network->addNode(10, 0, 0);
    m_network->addVoiceGroup(1, 10);
    const auto group = startGroup();
    m_sync->setRunning(true);
    group->continueIterating();
    QTRY_VERIFY(!group->isIterating());
    QCOMPARE(m_network->notesOn().size(), 1);
    // Playing again starts the group over from its node.
    group->continueIterating();
    QTRY_COMPARE(m_network->notesOn().size(), 2);
}

void tst_VoiceGroup::gotoStartWhileStoppedStaysStopped()
{
    m_network->addNode(10, 0, 0);
    m_network->addVoiceGroup(1, 10);
    const auto group = startGroup();
    group->gotoStart();
    QVERIFY(!group->isIterating());
    m_sync->setRunning(true);
    group->continueIterating();
    QTRY_COMPARE(m_network->notesOn().size(), 1);
}

void tst_VoiceGroup::editWhileTravellingRetimes()
{
    m_network->addNode(10, 0, 0, {{ArcUsageList, QStringLiteral("21=1")}});
    m_network->addNode(11, 4, 0, {{QStringLiteral("PitchList"), QStringLiteral("G3")}});
    m_network->addEdge(21, 10, 11);
    m_network->addVoiceGroup(1, 10);
    const auto group = startGroup();
    m_sync->setRunning(true);
    const qint64 start = m_sync->tickPosition();
    group->continueIterating();
    QTRY_COMPARE(m_network->notesOn().size(), 1);
    m_network->setElement(
        11, {{QStringLiteral("TickPos"), QVariant::fromValue(QmdLudra::TickPos{2 * P, 0})}});
    group->traverseFromPlaybackPos();
    QVERIFY(group->isIterating());
    m_clock->advance(2 * PrincipalNs);
    QTRY_COMPARE(m_network->notesOn().size(), 2);
    QCOMPARE(noteOnTicks(*m_network).last(), start + 2 * P);
}

QTEST_GUILESS_MAIN(tst_VoiceGroup)
#include "tst_voicegroup.moc"
