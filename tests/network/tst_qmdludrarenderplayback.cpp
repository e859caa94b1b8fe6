// A render and real-time playback of the same document give the same notes:
// both drive the one copy of the firing rules, one by a virtual clock, the
// other by voice-group threads and instrument threads following a timing
// source whose clock the test moves.

#include "abstractinstrument.h"
#include "manualclock.h"
#include "midioutput.h"
#include "midisync.h"
#include "networkdocument.h"
#include "qmdludrarenderer.h"
#include "qmdludravoicehost.h"
#include "voicegroup.h"

#include <QBitArray>
#include <QTest>

#include <map>
#include <memory>
#include <mutex>

namespace {

constexpr qint64 P = QmdLudra::TicksPerPrincipal;

using Values = QHash<QString, QVariant>;

// Keeps every event its output thread sends.
class RecordingInstrument : public AbstractInstrument
{
public:
    using AbstractInstrument::AbstractInstrument;
    ~RecordingInstrument() override
    {
        terminateSafely();
        wait();
    }

    QString typeName() const override { return QStringLiteral("recording"); }
    QString displayName() const override { return QStringLiteral("Recording"); }

    QList<InstrumentEvent> sent() const
    {
        const std::lock_guard locker(m_mutex);
        return m_sent;
    }

protected:
    void applyInstrumentData(QmdItemId, const QStringList &) override {}
    bool sendBatch(const QList<InstrumentEvent> &batch) override
    {
        const std::lock_guard locker(m_mutex);
        m_sent += batch;
        return true;
    }

private:
    mutable std::mutex m_mutex;
    QList<InstrumentEvent> m_sent;
};

// Real-time playback of a document: one voice-group thread per voice group
// element and one recording instrument per instrument record, all following
// one timing source.
class Playback : public QmdLudraVoiceHost
{
public:
    explicit Playback(QmdLudraController *controller) : QmdLudraVoiceHost(controller)
    {
        for (QmdItemId id : controller->ids(controller->instrumentsIndex())) {
            auto instrument = std::make_unique<RecordingInstrument>(id);
            instrument->setTimingSource(&m_sync);
            instrument->start();
            instrument->play();
            m_instruments.emplace(id, std::move(instrument));
        }
        for (QmdItemId id : controller->ids(controller->elementsIndex())) {
            if (elementValue(id, QStringLiteral("Type")).toUInt() != QmdLudra::VoiceGroup)
                continue;
            m_groups.push_back(std::make_unique<VoiceGroup>(id, this));
            m_groups.back()->startAndWait(QThread::NormalPriority);
        }
        m_sync.setRunning(true);
        for (const auto &group : m_groups)
            group->continueIterating();
    }
    ~Playback() override
    {
        // The groups deliver to the instruments: they stop first.
        m_groups.clear();
        m_instruments.clear();
    }

    // Moves the clock until the timing source has reached the tick.
    void reach(qint64 tick)
    {
        while (m_sync.tickPosition() < tick)
            m_clock.advance(m_sync.ticksToTime(tick - m_sync.tickPosition()) + 1000);
    }

    // What each instrument sent, as the file would hold it.
    QStringList sent(qint64 upToGridTick) const
    {
        QStringList texts;
        for (const auto &[id, instrument] : m_instruments) {
            const QmdIndex record = controller()->index(id, controller()->instrumentsIndex());
            const quint16 channels = MidiOutput::channelBits(
                controller()
                    ->data(controller()->index(QStringLiteral("MidiChannels"), record))
                    .toBitArray());
            QStringList events;
            for (const InstrumentEvent &event : instrument->sent()) {
                if (event.tick > upToGridTick)
                    continue;
                for (const QByteArray &message : MidiOutput::encode({event}, channels))
                    events << QStringLiteral("%1: %2")
                                  .arg(QmdLudraRenderer::fileTick(event.tick, 1, 1), 9, 10,
                                       QLatin1Char('0'))
                                  .arg(QString::fromLatin1(message.toHex(' ')));
            }
            events.sort();
            texts << QString::number(id) << events;
        }
        return texts;
    }

    bool deliverNotePair(QmdItemId instrument, const InstrumentEvent &noteOn,
                         const InstrumentEvent &noteOff) override
    {
        const auto found = m_instruments.find(instrument);
        return found != m_instruments.end() && found->second->enqueueNotePair(noteOn, noteOff);
    }
    bool deliverEvent(QmdItemId instrument, const InstrumentEvent &event) override
    {
        const auto found = m_instruments.find(instrument);
        return found != m_instruments.end() && found->second->enqueue(event);
    }
    bool appendFiredNode(const FiredNode &) override { return false; }
    AbstractSync *timingSource() const override { return const_cast<MidiSync *>(&m_sync); }

private:
    ManualClock m_clock;
    MidiSync m_sync;
    std::map<QmdItemId, std::unique_ptr<RecordingInstrument>> m_instruments;
    std::vector<std::unique_ptr<VoiceGroup>> m_groups;
};

// The render's events in the same form: per instrument in id order, its id
// and its events up to the file tick, sorted.
QStringList rendered(const StandardMidiFile &file, const QmdItemIdList &instruments,
                     qint64 upToFileTick)
{
    QStringList texts;
    for (int i = 0; i < file.tracks.size(); ++i) {
        QStringList events;
        for (const StandardMidiFileEvent &event : file.tracks.at(i).events) {
            if (event.tick <= upToFileTick)
                events << QStringLiteral("%1: %2")
                              .arg(event.tick, 9, 10, QLatin1Char('0'))
                              .arg(QString::fromLatin1(event.message.toHex(' ')));
        }
        events.sort();
        texts << QString::number(instruments.at(i)) << events;
    }
    return texts;
}

struct Document : NetworkDocument
{
    QmdItemId instrument(const QBitArray &channels)
    {
        const QmdItemId id = addInstrument();
        run(controller.requestSetData(QStringLiteral("MidiChannels"), channels,
                                      NetworkDocument::instrument(id)));
        return id;
    }
    QmdItemId node(double x, double y, const Values &values)
    {
        const QmdItemId id = addNode({qint64(x * P), qint64(y * P)});
        run(controller.requestSetData(values, element(id)));
        return id;
    }
    QmdItemId edge(QmdItemId from, QmdItemId to, const Values &values = {})
    {
        const QmdItemId id = addEdge(from, to);
        if (!values.isEmpty())
            run(controller.requestSetData(values, element(id)));
        return id;
    }
};

QBitArray channels(std::initializer_list<int> enabled)
{
    QBitArray bits(16);
    for (int c : enabled)
        bits.setBit(c);
    return bits;
}

Values lists(const QString &pitches, const QString &velocities, const QString &durations)
{
    return {{QStringLiteral("PitchList"), pitches},
            {QStringLiteral("VelocityList"), velocities},
            {QStringLiteral("DurationList"), durations}};
}

} // namespace

class TestQmdLudraRenderPlayback : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void renderEqualsPlayback_data();
    void renderEqualsPlayback();
};

void TestQmdLudraRenderPlayback::renderEqualsPlayback_data()
{
    QTest::addColumn<QString>("network");
    QTest::newRow("sequential loop with relative lists") << "loop";
    QTest::newRow("parallel voices and a wormhole") << "parallel";
    QTest::newRow("two groups on two instruments") << "groups";
}

void TestQmdLudraRenderPlayback::renderEqualsPlayback()
{
    QFETCH(QString, network);
    Document doc;
    if (network == QLatin1String("loop")) {
        doc.instrument(channels({0, 2}));
        const QmdItemId a = doc.node(0, 0, lists("C3,E3,G3", "100,90", "50%"));
        const QmdItemId b = doc.node(1, 1, lists("+7,-5", "+10", "1,0.25"));
        const QmdItemId c = doc.node(2, 0, lists("-12", "-20", "*2"));
        doc.edge(a, b);
        const QmdItemId bc = doc.edge(b, c);
        const QmdItemId ba = doc.edge(b, a);
        doc.set(b, QStringLiteral("ArcUsageList"), QStringLiteral("%1=2,%2=1").arg(ba).arg(bc));
        doc.edge(c, a);
        doc.addVoiceGroup(a);
    } else if (network == QLatin1String("parallel")) {
        doc.instrument(channels({1}));
        const QmdItemId a = doc.node(0, 0, lists("C3,D3,E3", "80", "0.5"));
        doc.set(a, QStringLiteral("SignallingMethod"), QmdLudra::Parallel);
        const QmdItemId b = doc.node(1, 0, lists("+4", "+5", "25%"));
        const QmdItemId c = doc.node(2, 0, lists("+7", "-5", "1.5"));
        const QmdItemId e = doc.node(1, 1, lists("+12", "127", "0.25"));
        doc.edge(a, b);
        doc.edge(a, c);
        doc.edge(b, e, {{QStringLiteral("IsWormhole"), true}});
        doc.edge(c, a);
        doc.addVoiceGroup(a);
    } else {
        doc.instrument(channels({0}));
        const QmdItemId bass = doc.instrument(channels({3, 4}));
        const QmdItemId a = doc.node(0, 0, lists("C2,G2", "70", "75%"));
        const QmdItemId b = doc.node(0.5, 0, lists("+2", "60", "0.125"));
        doc.edge(a, b);
        doc.edge(b, a);
        doc.addVoiceGroup(a);
        const QmdItemId c = doc.node(0, 3, lists("C4,D4,E4,F4", "50,60", "0.5"));
        const QmdItemId d = doc.node(1.5, 3, lists("+1", "+1", "1"));
        doc.edge(c, d);
        doc.edge(d, c);
        const QmdItemId group = doc.addVoiceGroup(c);
        doc.set(group, QStringLiteral("InitialInstrument"), bass);
    }
    const qint64 end = 12 * P;
    QmdLudraRenderer renderer(&doc.controller);
    renderer.setEndTick(end);
    const StandardMidiFile file = renderer.render();
    QmdItemIdList instruments = doc.controller.ids(doc.controller.instrumentsIndex());
    std::sort(instruments.begin(), instruments.end());
    QVERIFY(file.tracks.size() == instruments.size());

    // Every arrival of these networks falls on an eighth of a principal;
    // the clock moves on by one eighth at a time once everything due up to
    // there has been sent, so each step of a group sees one tick's voices.
    Playback playback(&doc.controller);
    for (qint64 tick = 0; tick < end; tick += P / 8) {
        playback.reach(tick);
        QTRY_COMPARE_WITH_TIMEOUT(
            playback.sent(tick),
            rendered(file, instruments, QmdLudraRenderer::fileTick(tick, 1, 1)), 10000);
    }
    // Everything before the end, and nothing else.
    playback.reach(end);
    const QStringList all = rendered(file, instruments, QmdLudraRenderer::fileTick(end, 1, 1) - 1);
    QTRY_COMPARE_WITH_TIMEOUT(playback.sent(end - 1), all, 10000);
    QVERIFY(all.size() > 20);
}

QTEST_GUILESS_MAIN(TestQmdLudraRenderPlayback)
#include "tst_qmdludrarenderplayback.moc"
