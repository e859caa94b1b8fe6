#include "qmdludra.h"
#include "qmdludracontroller.h"
#include "qmdludrarenderer.h"
#include "qmdmemmodel.h"

#include <QDir>
#include <QHash>
#include <QSet>
#include <QSignalSpy>
#include <QTest>

using QmdLudra::TickPos;

namespace {

// What an example is there to show.
enum Feature { UsageCounts, Parallel, WeightedRandom, InstrumentChange, RelativeLists };

struct Example
{
    const char *row;
    const char *file;
    Feature feature;
};

const Example Examples[] = {
    {"ostinato", "ostinato-in-d.ldx", UsageCounts},
    {"phasing", "phase-marimbas.ldx", Parallel},
    {"canon", "round-in-g.ldx", Parallel},
    {"random walk", "pentatonic-wander.ldx", WeightedRandom},
    {"instrument change", "call-and-response.ldx", InstrumentChange},
    {"relative lists", "arpeggios-in-steps.ldx", RelativeLists},
};

QString examplesDir()
{
    return qEnvironmentVariable("LUDRA_SOURCE_DIR") + "/resources/examples";
}

// The elements of a loaded document, read once, by kind.
struct Network
{
    using Record = QHash<QString, QVariant>;
    QHash<QmdItemId, Record> nodes;
    QHash<QmdItemId, Record> edges;
    QHash<QmdItemId, Record> voiceGroups;
    QSet<QmdItemId> instruments;

    explicit Network(const QmdLudraController &controller)
    {
        const QmdIndex elements = controller.elementsIndex();
        for (QmdItemId id : controller.ids(elements)) {
            const QmdIndex element = controller.index(id, elements);
            Record record;
            for (const QString &key : controller.keys(element))
                record.insert(key, controller.data(controller.index(key, element)));
            switch (record.value("Type").toUInt()) {
            case QmdLudra::Node:
                nodes.insert(id, record);
                break;
            case QmdLudra::Edge:
                edges.insert(id, record);
                break;
            case QmdLudra::VoiceGroup:
                voiceGroups.insert(id, record);
                break;
            default:
                break;
            }
        }
        const QmdItemIdList ids = controller.ids(controller.instrumentsIndex());
        instruments = QSet<QmdItemId>(ids.begin(), ids.end());
    }

    static QStringList entries(const Record &record, const QString &key)
    {
        return record.value(key).toString().split(QLatin1Char(','), Qt::SkipEmptyParts);
    }
    // The edge ids of a node's usage list with their counts.
    QList<std::pair<QmdItemId, int>> usage(QmdItemId node) const
    {
        QList<std::pair<QmdItemId, int>> result;
        for (const QString &entry : entries(nodes.value(node), "ArcUsageList"))
            result.append({entry.section(QLatin1Char('='), 0, 0).toUInt(),
                           entry.section(QLatin1Char('='), 1).toInt()});
        return result;
    }
    qint64 length(QmdItemId edge) const
    {
        const Record &record = edges.value(edge);
        const auto position = [&](const QString &end) {
            return nodes.value(record.value(end).toUInt()).value("TickPos").value<TickPos>();
        };
        return QmdLudra::edgeLength(record.value("Path").toInt(), position("FromNode"),
                                    position("ToNode"));
    }
    // Every node a voice of the group can reach, its start included.
    QSet<QmdItemId> reachable(QmdItemId group) const
    {
        QSet<QmdItemId> seen;
        QList<QmdItemId> todo{voiceGroups.value(group).value("ToNode").toUInt()};
        while (!todo.isEmpty()) {
            const QmdItemId node = todo.takeLast();
            if (seen.contains(node))
                continue;
            seen.insert(node);
            for (const auto &[edge, count] : usage(node))
                todo.append(edges.value(edge).value("ToNode").toUInt());
        }
        return seen;
    }
    bool nodeListsHave(const QString &key, const QString &mark) const
    {
        for (const Record &node : nodes) {
            for (const QString &entry : entries(node, key)) {
                if (entry.startsWith(mark) || (mark == QLatin1String("%") && entry.endsWith(mark)))
                    return true;
            }
        }
        return false;
    }
};

// The file ticks of a track's note-ons, in order.
QList<qint64> noteOns(const StandardMidiFileTrack &track)
{
    QList<qint64> ticks;
    for (const StandardMidiFileEvent &event : track.events) {
        if (event.message.size() == 3 && (quint8(event.message.at(0)) & 0xF0) == 0x90 &&
            event.message.at(2) != 0)
            ticks.append(event.tick);
    }
    return ticks;
}

bool load(QmdLudraController *controller, const QString &fileName)
{
    QSignalSpy loaded(controller, &QmdLudraController::fileLoaded);
    controller->requestLoad(fileName);
    return loaded.count() == 1 && controller->lastFileErrorString().isEmpty();
}

} // namespace

class TestExamples : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyExampleHasARow();
    void example_data();
    void example();
    void phasingStartsTogetherAndDrifts();
};

void TestExamples::everyExampleHasARow()
{
    // An example without a row would go untested.
    QStringList rows;
    for (const Example &example : Examples)
        rows << QString::fromUtf8(example.file);
    rows.sort();
    QCOMPARE(QDir(examplesDir()).entryList({"*.ldx"}, QDir::Files, QDir::Name), rows);
}

void TestExamples::example_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("feature");
    for (const Example &example : Examples)
        QTest::newRow(example.row) << QString::fromUtf8(example.file) << int(example.feature);
}

void TestExamples::example()
{
    QFETCH(QString, file);
    QFETCH(int, feature);
    QmdMemModel model;
    QmdLudraController controller;
    controller.setModel(&model);
    QVERIFY2(load(&controller, examplesDir() + '/' + file),
             qPrintable(controller.lastFileErrorString()));
    QVERIFY(!controller.data(controller.index("Title")).toString().isEmpty());
    QVERIFY(!controller.data(controller.index("Comment")).toString().isEmpty());
    const Network network(controller);
    QVERIFY(!network.voiceGroups.isEmpty());
    QVERIFY(network.instruments.size() >= 2);

    // Every node a voice reaches sends it on, and every edge takes time, so
    // the music neither stops nor stalls on one tick.
    bool changesInstrument = false;
    for (auto group = network.voiceGroups.cbegin(); group != network.voiceGroups.cend(); ++group) {
        const uint initial = group->value("InitialInstrument").toUInt();
        QVERIFY(network.instruments.contains(initial));
        for (QmdItemId node : network.reachable(group.key())) {
            QVERIFY2(network.nodes.contains(node), qPrintable(QString::number(node)));
            const auto usage = network.usage(node);
            QVERIFY2(!usage.isEmpty(), qPrintable(QString::number(node)));
            for (const auto &[edge, count] : usage) {
                QVERIFY(count > 0);
                QVERIFY(network.edges.contains(edge));
                QCOMPARE(network.edges.value(edge).value("FromNode").toUInt(), node);
                QVERIFY(network.length(edge) > 0);
            }
            const auto &record = network.nodes.value(node);
            if (record.value("DoInstrumentChange").toBool()) {
                const uint instrument = record.value("Instrument").toUInt();
                QVERIFY(network.instruments.contains(instrument));
                changesInstrument |= instrument != initial;
            }
        }
    }

    // What the example is there to show.
    const auto nodesWith = [&](QmdLudra::SignallingMethod method, auto predicate) {
        int count = 0;
        for (auto node = network.nodes.cbegin(); node != network.nodes.cend(); ++node) {
            if (node->value("SignallingMethod").toInt() == method &&
                predicate(network.usage(node.key())))
                ++count;
        }
        return count;
    };
    switch (Feature(feature)) {
    case UsageCounts:
        // A hub that repeats one path before it takes the next.
        QVERIFY(nodesWith(QmdLudra::Sequential, [](const auto &usage) {
                    return usage.size() > 1 &&
                           std::any_of(usage.begin(), usage.end(),
                                       [](const auto &entry) { return entry.second > 1; });
                }) > 0);
        break;
    case Parallel:
        QVERIFY(nodesWith(QmdLudra::Parallel, [](const auto &usage) { return usage.size() > 1; }) >
                0);
        break;
    case WeightedRandom:
        QVERIFY(nodesWith(QmdLudra::Random, [](const auto &usage) {
                    return std::any_of(usage.begin(), usage.end(), [&](const auto &entry) {
                        return entry.second != usage.first().second;
                    });
                }) > 1);
        break;
    case InstrumentChange:
        QVERIFY(changesInstrument);
        break;
    case RelativeLists:
        for (const char *mark : {"+", "-"})
            QVERIFY2(network.nodeListsHave("PitchList", QLatin1String(mark)), mark);
        for (const char *mark : {"*", "/", "+", "-", "%"})
            QVERIFY2(network.nodeListsHave("DurationList", QLatin1String(mark)), mark);
        break;
    }

    // A minute of it: one track per instrument, in ascending id; every
    // instrument still plays in the last ten seconds.
    QmdLudraRenderer renderer(&controller);
    renderer.setEndTick(renderer.endTickForSeconds(60));
    const StandardMidiFile midi = renderer.render();
    QCOMPARE(renderer.skippedUserMessages(), 0);
    QList<QmdItemId> instruments = network.instruments.values();
    std::sort(instruments.begin(), instruments.end());
    QCOMPARE(midi.tracks.size(), instruments.size());
    const double ticksPerSecond = 1e6 / midi.microsecondsPerQuarter * midi.ticksPerQuarter;
    for (const StandardMidiFileTrack &track : midi.tracks) {
        const QList<qint64> ticks = noteOns(track);
        QVERIFY2(!ticks.isEmpty(), qPrintable(track.name));
        QVERIFY2(ticks.last() >= qint64(50 * ticksPerSecond), qPrintable(track.name));
    }
}

void TestExamples::phasingStartsTogetherAndDrifts()
{
    QmdMemModel model;
    QmdLudraController controller;
    controller.setModel(&model);
    QVERIFY(load(&controller, examplesDir() + "/phase-marimbas.ldx"));
    QmdLudraRenderer renderer(&controller);
    const StandardMidiFile midi = renderer.render();
    QVERIFY(midi.tracks.size() >= 2);
    const QList<qint64> left = noteOns(midi.tracks.at(0));
    const QList<qint64> right = noteOns(midi.tracks.at(1));
    QVERIFY(left.size() > 48 && right.size() > 48);
    QCOMPARE(right.first(), left.first());
    // The right loop falls further behind with every turn.
    QVERIFY(right.at(12) - left.at(12) > 0);
    QVERIFY(right.at(48) - left.at(48) > right.at(12) - left.at(12));
}

QTEST_GUILESS_MAIN(TestExamples)
#include "tst_examples.moc"
