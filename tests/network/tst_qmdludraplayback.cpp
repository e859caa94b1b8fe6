#include "abstractsync.h"
#include "manualclock.h"
#include "midioutput.h"
#include "midisync.h"
#include "networkdocument.h"
#include "qmdludraplayback.h"
#include "qmdludrarenderer.h"
#include "recordinginstrument.h"
#include "voicegroup.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace {

using QmdLudra::TickPos;
constexpr qint64 P = QmdLudra::TicksPerPrincipal;
// At the default tempo of 120 and a ratio of 1:1 a principal lasts half a
// second.
constexpr qint64 PrincipalNs = 500000000;

using Note = std::pair<int, qint64>;

// The clock first and the document last: the document's threads read the
// clock and send into the recorder until the document is gone.
struct Fixture
{
    ManualClock clock;
    InstrumentRecorder recorder;
    std::unique_ptr<NetworkDocument> doc =
        std::make_unique<NetworkDocument>(recorder.services(&clock));

    QmdLudraController &controller() { return doc->controller; }
    QmdLudraPlayback &playback() { return doc->controller.playback(); }

    QmdItemId node(qint64 x, qint64 y, const QString &pitches)
    {
        return doc->node(x, y, {{"PitchList", pitches}});
    }
    QVariant state(QmdItemId id, const QString &key) const
    {
        return doc->controller.data(doc->controller.index(key, doc->state(id)));
    }
    int hits(QmdItemId node) const { return state(node, "HitCount").toInt(); }
    void advancePrincipals(double principals) { clock.advance(qint64(principals * PrincipalNs)); }
    // Moves the clock until the timing source has reached the tick.
    void reach(qint64 tick)
    {
        const AbstractSync *sync = playback().timingSource();
        while (sync->tickPosition() < tick)
            clock.advance(sync->ticksToTime(tick - sync->tickPosition()) + 1000);
    }
};

// A at the origin and B one principal on, with edges both ways and a voice
// group on A: a voice goes round for ever.
struct Loop
{
    explicit Loop(Fixture &f)
    {
        instrument = f.doc->addInstrument();
        a = f.node(0, 0, "C3");
        b = f.node(1, 0, "D3");
        ab = f.doc->addEdge(a, b);
        f.doc->addEdge(b, a);
        group = f.doc->addVoiceGroup(a);
    }
    QmdItemId instrument = 0;
    QmdItemId a = 0;
    QmdItemId b = 0;
    QmdItemId ab = 0;
    QmdItemId group = 0;
};

NetworkDocument::Values lists(const char *pitches, const char *durations)
{
    return {{"PitchList", pitches}, {"VelocityList", "90"}, {"DurationList", durations}};
}

// A short piece at tempo 240 (a principal lasts a quarter second) in which
// real time used to part from the render, on two instruments:
// - two groups that start together;
// - a parallel hub whose two voices reach one node through wormholes 4 ms
//   apart, so that which of them takes which pitch depends on their order;
// - a note whose previous note of the same pitch ends 2 ms after it begins.
void buildPiece(NetworkDocument &doc)
{
    doc.setRoot("Tempo", 240u);
    const QmdItemId first = doc.instrumentOn(doc.channels({0}));
    const QmdItemId second = doc.instrumentOn(doc.channels({1}));
    NetworkDocument::Values hub = lists("C3", "0.25");
    hub.insert("SignallingMethod", QmdLudra::Parallel);
    const QmdItemId h = doc.node(0, 0, hub);
    const QmdItemId b = doc.node(1, 0, lists("E3", "0.25"));
    const QmdItemId c = doc.node(1.016, 0, lists("F3", "0.25"));
    const QmdItemId d = doc.node(1.5, 0.5, lists("G3,A3,B3", "0.5"));
    const QmdItemId e = doc.node(2, 0.5, lists("C5", "0.25"));
    doc.edge(h, b);
    doc.edge(h, c);
    doc.edge(b, d, {{"IsWormhole", true}});
    doc.edge(c, d, {{"IsWormhole", true}});
    const QmdItemId de = doc.edge(d, e);
    const QmdItemId dh = doc.edge(d, h);
    doc.set(d, "ArcUsageList", QStringLiteral("%1=1,%2=1").arg(de).arg(dh));
    doc.group(h, {{"InitialInstrument", first}});

    const QmdItemId l1 = doc.node(0, 3, lists("C4", "0.508"));
    const QmdItemId l2 = doc.node(0.25, 3, lists("E4", "0.125"));
    doc.edge(l1, l2);
    doc.edge(l2, l1);
    doc.group(l1, {{"InitialInstrument", second}});
}

QString eventText(qint64 fileTick, const QByteArray &message)
{
    return QStringLiteral("%1: %2").arg(fileTick).arg(QString::fromLatin1(message.toHex(' ')));
}

// Per instrument in id order, its id and its events before the file tick, in
// the order the render holds them.
QStringList rendered(const StandardMidiFile &file, const QmdItemIdList &instruments,
                     qint64 beforeFileTick)
{
    QStringList texts;
    for (int i = 0; i < file.tracks.size(); ++i) {
        texts << QString::number(instruments.at(i));
        for (const StandardMidiFileEvent &event : file.tracks.at(i).events) {
            if (event.tick < beforeFileTick)
                texts << eventText(event.tick, event.message);
        }
    }
    return texts;
}

// The same of what real-time playback sent, in the order sent, with the
// tick at which play started taken away.
QStringList played(const InstrumentRecorder &recorder, const NetworkDocument &doc,
                   const QmdItemIdList &instruments, qint64 startTick, qint64 beforeFileTick)
{
    const QList<InstrumentRecorder::Sent> sent = recorder.sent();
    QStringList texts;
    for (QmdItemId id : instruments) {
        texts << QString::number(id);
        const quint16 channels =
            MidiOutput::channelBits(doc.instrumentValue(id, "MidiChannels").toBitArray());
        for (const InstrumentRecorder::Sent &one : sent) {
            const qint64 tick = QmdLudraRenderer::fileTick(one.event.tick - startTick, 1, 1);
            if (one.instrument != id || tick >= beforeFileTick)
                continue;
            for (const QByteArray &message : MidiOutput::encode({one.event}, channels))
                texts << eventText(tick, message);
        }
    }
    return texts;
}

} // namespace

class TestQmdLudraPlayback : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void followsReceivedClock();
    void retime();
    void removalWhilePlaying();
    void realTimePlayEqualsRender();
    void gotoStartWaitsForTheStepUnderWay();
};

// MIDI clock at 100 beats a minute drives a document at tempo 60, with the
// arrival times a port would stamp. The start rewinds at once, the first
// pulse starts the clock, the first tempo is measured from two pulses, and
// from then on a principal (one beat) lasts 24 pulses of the sender.
void TestQmdLudraPlayback::followsReceivedClock()
{
    Fixture f;
    const Loop loop(f);
    QVERIFY(f.doc->setRoot("Tempo", 60u));
    auto *sync = qobject_cast<MidiSync *>(f.playback().timingSource());
    QVERIFY(sync);
    QSignalSpy tempos(sync, &AbstractSync::tempoChanged);
    QSignalSpy changed(&f.controller(), &QmdLudraController::playbackStateChanged);
    const auto message = [](quint8 byte, qint64 arrival) {
        MidiMessage received;
        received.bytes = QByteArray(1, char(byte));
        received.arrivalNs = arrival;
        return received;
    };

    // Playing before the start: the start rewinds the source on the spot,
    // and the first pulse comes before the controller has heard of either.
    f.controller().requestPlay();
    QTRY_COMPARE(f.recorder.notesOn().size(), 1);
    f.advancePrincipals(0.5);
    const qint64 t0 = f.clock.nowNs();
    sync->receiveClock({message(0xFA, t0)});
    QVERIFY(!sync->isRunning());
    QCOMPARE(sync->tickPosition(), 0);

    constexpr qint64 PulseNs = 25000000;
    const qint64 first = t0 + 2000000;
    for (int pulse = 0; pulse <= 48; ++pulse) {
        const qint64 arrival = first + pulse * PulseNs;
        f.clock.set(arrival + 300000);
        sync->receiveClock({message(0xF8, arrival)});
        QCoreApplication::processEvents();
        if (pulse == 0) {
            QVERIFY(sync->isRunning());
            QCOMPARE(sync->tempo(), 60u);
        }
        if (pulse == 24 || pulse == 48)
            QCOMPARE(sync->timeOfTick(pulse / 24 * P), arrival);
    }
    QCOMPARE(tempos.count(), 1);
    QCOMPARE(tempos.first().at(0).toUInt(), 100u);
    QTRY_COMPARE(f.controller().data(f.controller().index("Tempo")).toUInt(), 100u);
    // The first note is from before the start.
    QTRY_COMPARE(f.recorder.notesOn(), (QList<Note>{{60, 0}, {60, 0}, {62, P}, {60, 2 * P}}));
    QCOMPARE(changed.count(), 2);
}

// A voice under way follows its to-node when the node moves.
void TestQmdLudraPlayback::retime()
{
    Fixture f;
    f.doc->addInstrument();
    const QmdItemId a = f.node(0, 0, "C3");
    const QmdItemId b = f.node(4, 0, "D3");
    f.doc->addEdge(a, b);
    f.doc->addVoiceGroup(a);
    f.controller().requestPlay();
    QTRY_COMPARE(f.hits(a), 1);

    QVERIFY(f.doc->set(b, "TickPos", QVariant::fromValue(TickPos{2 * P, 0})));
    f.advancePrincipals(40);
    QTRY_COMPARE(f.hits(b), 1);
    QTRY_COMPARE(f.recorder.notesOn().value(1), Note(62, 2 * P));
}

// A voice group, then the whole document, removed while voices fire.
void TestQmdLudraPlayback::removalWhilePlaying()
{
    // A parallel hub with three spokes and two voice groups: the pools fill
    // up and every step fires many voices on the thread pool.
    Fixture f;
    const QmdItemId instrument = f.doc->addInstrument();
    const QmdItemId hub = f.node(0, 0, "C3,E3");
    QVERIFY(f.doc->set(hub, "SignallingMethod", int(QmdLudra::Parallel)));
    for (int y : {-1, 0, 1}) {
        const QmdItemId spoke = f.node(1, y, "+1");
        f.doc->addEdge(hub, spoke);
        f.doc->addEdge(spoke, hub);
    }
    const QmdItemId first = f.doc->addVoiceGroup(hub);
    const QmdItemId second = f.doc->addVoiceGroup(hub);
    const QPointer<VoiceGroup> firstGroup = f.playback().voiceGroup(first);
    const QPointer<VoiceGroup> secondGroup = f.playback().voiceGroup(second);
    const QPointer<AbstractInstrument> instrumentObject = f.playback().instrument(instrument);
    f.controller().requestPlay();
    // Far ahead: the groups fire without pause while the removal runs.
    f.advancePrincipals(1000);
    QTRY_VERIFY(f.hits(hub) > 4);

    QVERIFY(f.doc->removeElements({first}));
    QVERIFY(firstGroup.isNull());
    QVERIFY(!f.playback().voiceGroup(first));
    // What is left plays on.
    const int hits = f.hits(hub);
    f.advancePrincipals(1000);
    QTRY_VERIFY(f.hits(hub) > hits);

    f.doc.reset();
    QVERIFY(secondGroup.isNull() && instrumentObject.isNull());
    QCOMPARE(f.recorder.alive.load(), 0);
}

// Real-time play sends what the render writes, event for event and in the
// same order on each instrument: real threads on the real clock fire ahead
// of time, and the instruments send at the due times. The groups fire 50 ms
// ahead rather than 5, the margin a loaded test machine needs for the note
// whose previous note ends 2 ms after it begins.
void TestQmdLudraPlayback::realTimePlayEqualsRender()
{
    InstrumentRecorder recorder;
    NetworkDocument doc(recorder.services());
    buildPiece(doc);
    QmdItemIdList instruments = doc.controller.ids(doc.controller.instrumentsIndex());
    std::sort(instruments.begin(), instruments.end());
    const qint64 end = 6 * P;
    QmdLudraRenderer renderer(&doc.controller);
    renderer.setEndTick(end);
    const StandardMidiFile file = renderer.render();
    const qint64 endFileTick = QmdLudraRenderer::fileTick(end, 1, 1);
    const QStringList expected = rendered(file, instruments, endFileTick);
    QVERIFY(expected.size() > 40);

    QmdLudraPlayback &playback = doc.controller.playback();
    for (QmdItemId id : doc.controller.ids(doc.elements())) {
        if (VoiceGroup *group = playback.voiceGroup(id))
            group->setLookaheadNs(50000000);
    }
    const AbstractSync *source = playback.timingSource();
    const qint64 startTick = source->tickPosition();
    doc.controller.requestPlay();
    QTRY_VERIFY_WITH_TIMEOUT(source->tickPosition() > end + P / 4, 30000);
    doc.controller.requestPause();
    QCOMPARE(played(recorder, doc, instruments, startTick, endFileTick), expected);
}

// Going to the start while a voice-group thread is in the middle of a step:
// B's firing is held, and a wormhole takes its voice on to C in the same
// step. The step ends, C's firing included, before anything is reset, so
// nothing from before the jump comes after it.
void TestQmdLudraPlayback::gotoStartWaitsForTheStepUnderWay()
{
    Fixture f;
    f.doc->addInstrument();
    const QmdItemId a = f.node(0, 0, "C3");
    const QmdItemId b = f.node(1, 0, "D3");
    const QmdItemId c = f.node(2, 0, "E3");
    const QmdItemId ab = f.doc->addEdge(a, b);
    QVERIFY(f.doc->set(f.doc->addEdge(b, c), "IsWormhole", true));
    f.doc->addVoiceGroup(a);
    f.controller().requestPlay();
    QTRY_COMPARE(f.hits(a), 1);

    f.recorder.holdNext();
    f.advancePrincipals(1.5);
    f.recorder.awaitHolding();
    // The release gives the jump a moment to start waiting for the step: a
    // jump that does not wait resets everything under the held step. No
    // events are handled meanwhile: the step holds what their handlers would
    // wait for.
    std::thread releaser([&] {
        QThread::msleep(100);
        f.recorder.release();
    });
    f.controller().requestGotoStart();
    releaser.join();

    QCOMPARE(f.hits(b) + f.hits(c), 0);
    QCOMPARE(f.state(ab, "CurrentScaleId").toInt(), 0);
    // Playing on from the start. The notes of B and C from before the jump
    // were due, and may have left before it, in their order.
    f.reach(P + P / 2);
    const QList<Note> jump{{60, 0}, {62, P}, {64, P}};
    const QList<QList<Note>> possible{QList<Note>{{60, 0}} + jump,
                                      QList<Note>{{60, 0}, {62, P}} + jump,
                                      QList<Note>{{60, 0}, {62, P}, {64, P}} + jump};
    QTRY_VERIFY(possible.contains(f.recorder.notesOn()));
}

QTEST_GUILESS_MAIN(TestQmdLudraPlayback)
#include "tst_qmdludraplayback.moc"
