#include "enginenetwork.h"
#include "manualclock.h"
#include "midisync.h"
#include "voicegroup.h"

#include <QtTest>

// Playing along the clock, parallel voices, going to the start and
// re-timing are tested through the controller's playback
// (tests/network/tst_qmdludraplayback.cpp); here what only a bare group shows.
class tst_VoiceGroup : public QObject
{
    Q_OBJECT

private slots:
    void deadEndStopsIterating();
};

void tst_VoiceGroup::deadEndStopsIterating()
{
    // The clock first: the group's thread reads it until the group is gone.
    ManualClock clock;
    EngineNetwork network;
    MidiSync sync(&clock);
    network.addNode(10, 0, 0);
    network.addVoiceGroup(1, 10);
    VoiceGroup group(1, &network.compile());
    group.setTimingSource(&sync);
    group.startAndWait(QThread::TimeCriticalPriority);
    sync.setRunning(true);
    group.continueIterating(0);
    QTRY_VERIFY(!group.isIterating());
    QCOMPARE(network.notesOn().size(), 1);
    // Playing again starts the group over from its node.
    group.continueIterating(0);
    QTRY_COMPARE(network.notesOn().size(), 2);
}

QTEST_GUILESS_MAIN(tst_VoiceGroup)
#include "tst_voicegroup.moc"
