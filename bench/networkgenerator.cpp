#include "networkgenerator.h"

#include "qmdludra.h"
#include "qmdludraexporter.h"
#include "qmdmemmodel.h"

#include <QBitArray>
#include <QColor>
#include <QSaveFile>

#include <cmath>

namespace {

const QString TypeKey = QStringLiteral("Type");
const QString ArcIdentifiersKey = QStringLiteral("ArcIdentifiers");
const qint64 Unit = QmdLudra::TicksPerPrincipal;

// Writes element records into a model without undo steps, edges entered
// into their from-node's identifiers and usage list as the controller does.
class DocumentBuilder
{
public:
    DocumentBuilder(QmdModel *model, int instruments) : m_model(model)
    {
        m_model->beginRequest(0, QmdRequestOptions(Qmd::NoUndo, QString()), QString());
        m_model->setTypes(QHash<QmdIndex, Qmd::ContainerType>{{QmdIndex(), Qmd::StrDict}});
        m_model->setData(
            QHash<QString, QVariant>{{QStringLiteral("Tempo"), 120u},
                                     {QStringLiteral("PrincipalsToBeatsNumerator"), 1u},
                                     {QStringLiteral("PrincipalsToBeatsDenominator"), 1u}});
        m_model->setTypes(
            QHash<QString, Qmd::ContainerType>{{QStringLiteral("Elements"), Qmd::IntDict},
                                               {QStringLiteral("ElementStates"), Qmd::IntDict},
                                               {QStringLiteral("Instruments"), Qmd::IntDict}});
        m_elements = m_model->index(QStringLiteral("Elements"));
        m_states = m_model->index(QStringLiteral("ElementStates"));
        const QmdIndex instrumentsIndex = m_model->index(QStringLiteral("Instruments"));
        for (int i = 0; i < instruments; ++i) {
            const QmdItemId id = QmdItemId(i + 1);
            QBitArray channels(16);
            channels.setBit(i % 16);
            m_model->setTypes(QHash<QmdItemId, Qmd::ContainerType>{{id, Qmd::StrDict}},
                              instrumentsIndex);
            m_model->setData(
                QHash<QString, QVariant>{
                    {TypeKey, QStringLiteral("midi")},
                    {QStringLiteral("Color"), QColor(Qt::red)},
                    {QStringLiteral("Label"), QStringLiteral("Instrument %1").arg(id)},
                    {QStringLiteral("MidiPort"), QString()},
                    {QStringLiteral("MidiChannels"), channels},
                    {QStringLiteral("MidiDoProgramChange"), false},
                    {QStringLiteral("MidiProgram"), 1},
                    {QStringLiteral("MidiBankMSB"), 0},
                    {QStringLiteral("MidiBankLSB"), 0}},
                m_model->index(id, instrumentsIndex));
        }
    }
    ~DocumentBuilder() { m_model->endRequest(); }

    void addNode(QmdItemId id, qint64 x, qint64 y, QHash<QString, QVariant> fields,
                 const QHash<QString, QVariant> &state = {})
    {
        fields.insert(TypeKey, uint(QmdLudra::Node));
        fields.insert(QStringLiteral("TickPos"), QVariant::fromValue(QmdLudra::TickPos{x, y}));
        fields.insert(QStringLiteral("ArcUsageList"), QString());
        const QmdIndex node = addRecord(id, fields, state);
        m_model->setTypes(QHash<QString, Qmd::ContainerType>{{ArcIdentifiersKey, Qmd::IntDict}},
                          node);
    }
    // Nodes must exist before their edges.
    void addEdge(QmdItemId id, QmdItemId from, QmdItemId to, int path, int count,
                 const QHash<QString, QVariant> &state = {})
    {
        addRecord(id,
                  {{TypeKey, uint(QmdLudra::Edge)},
                   {QStringLiteral("FromNode"), from},
                   {QStringLiteral("ToNode"), to},
                   {QStringLiteral("Path"), path}},
                  state);
        const QmdIndex node = m_model->index(from, m_elements);
        const QmdIndex identifiers = m_model->index(ArcIdentifiersKey, node);
        m_model->setData(QHash<QmdItemId, QVariant>{{id, m_model->ids(identifiers).size()}},
                         identifiers);
        const QmdIndex usage = m_model->index(QStringLiteral("ArcUsageList"), node);
        m_model->setData(
            QHash<QmdIndex, QVariant>{{usage, m_model->data(usage).toString() +
                                                  QStringLiteral("%1=%2,").arg(id).arg(count)}});
    }
    void addVoiceGroup(QmdItemId id, QmdItemId node, const QString &pitch, uint instrument)
    {
        addRecord(id,
                  {{TypeKey, uint(QmdLudra::VoiceGroup)},
                   {QStringLiteral("ToNode"), node},
                   {QStringLiteral("InitialPitch"), pitch},
                   {QStringLiteral("InitialVelocity"), QStringLiteral("64")},
                   {QStringLiteral("InitialDuration"), QStringLiteral("1.0")},
                   {QStringLiteral("InitialInstrument"), instrument}},
                  {});
    }

private:
    QmdIndex addRecord(QmdItemId id, const QHash<QString, QVariant> &fields,
                       const QHash<QString, QVariant> &state)
    {
        m_model->setTypes(QHash<QmdItemId, Qmd::ContainerType>{{id, Qmd::StrDict}}, m_elements);
        const QmdIndex record = m_model->index(id, m_elements);
        m_model->setData(fields, record);
        if (!state.isEmpty()) {
            m_model->setTypes(QHash<QmdItemId, Qmd::ContainerType>{{id, Qmd::StrDict}}, m_states);
            m_model->setData(state, m_model->index(id, m_states));
        }
        return record;
    }

    QmdModel *const m_model;
    QmdIndex m_elements;
    QmdIndex m_states;
};

QHash<QString, QVariant> fullLists(int i)
{
    return {{QStringLiteral("PitchList"), QStringLiteral("C3,E3,G3,+2,-1,A#4")},
            {QStringLiteral("VelocityList"), QStringLiteral("64,+10,-5,100")},
            {QStringLiteral("DurationList"), QStringLiteral("50%,0.25,*2,/2")},
            {QStringLiteral("UserMidiMessageList"), QStringLiteral("B0 07 64")},
            {QStringLiteral("SignallingMethod"), i % 3}};
}

QHash<QString, QVariant> nodeState(int i)
{
    return {{QStringLiteral("CurrentEdgeUsageId"), uint(i % 2)},
            {QStringLiteral("CurrentEdgeUsageUses"), 1},
            {QStringLiteral("CurrentPitchId"), i % 6},
            {QStringLiteral("CurrentVelocityId"), i % 4},
            {QStringLiteral("CurrentDurationId"), i % 4},
            {QStringLiteral("CurrentUserMidiMessageId"), 0},
            {QStringLiteral("HitCount"), i % 100}};
}

// A note on every firing, half as long as the step to the next node.
QHash<QString, QVariant> playingLists(const QString &pitches, int method)
{
    return {{QStringLiteral("PitchList"), pitches},
            {QStringLiteral("VelocityList"), QStringLiteral("100,80")},
            {QStringLiteral("DurationList"), QStringLiteral("50%")},
            {QStringLiteral("SignallingMethod"), method}};
}

int gridColumns(int nodes)
{
    return std::max(1, int(std::lround(std::sqrt(nodes))));
}

} // namespace

NetworkGenerator::Shape NetworkGenerator::shapeForElements(int elements)
{
    // A grid of n nodes has about 2n edges; the rest are voice groups.
    Shape shape;
    shape.nodes = std::max(1, int(std::lround(elements / 3.05)));
    const int columns = gridColumns(shape.nodes);
    const int rows = (shape.nodes + columns - 1) / columns;
    for (int i = 0; i < shape.nodes; ++i) {
        shape.edges += (i % columns + 1 < columns && i + 1 < shape.nodes) ? 1 : 0;
        shape.edges += (i / columns + 1 < rows && i + columns < shape.nodes) ? 1 : 0;
    }
    shape.voiceGroups = std::clamp(elements - shape.nodes - shape.edges, 1, shape.nodes);
    return shape;
}

void NetworkGenerator::generate(const Shape &shape, QmdModel *model)
{
    DocumentBuilder builder(model, 4);
    const int columns = gridColumns(shape.nodes);
    const int rows = (shape.nodes + columns - 1) / columns;
    const auto nodeId = [](int i) { return QmdItemId(1 + i); };
    for (int i = 0; i < shape.nodes; ++i)
        builder.addNode(nodeId(i), (i % columns) * 2 * Unit, (i / columns) * 2 * Unit, fullLists(i),
                        nodeState(i));
    QmdItemId edge = QmdItemId(1 + shape.nodes);
    const QmdItemId lastEdge = edge + QmdItemId(shape.edges);
    const auto addEdge = [&](int from, int to) {
        if (edge >= lastEdge)
            return;
        builder.addEdge(edge, nodeId(from), nodeId(to), int(edge % 3), int(edge % 3) + 1,
                        {{QStringLiteral("CurrentScaleId"), int(edge % 5)}});
        ++edge;
    };
    for (int i = 0; i < shape.nodes; ++i) {
        if (i % columns + 1 < columns && i + 1 < shape.nodes)
            addEdge(i, i + 1);
        if (i / columns + 1 < rows && i + columns < shape.nodes)
            addEdge(i, i + columns);
    }
    for (int i = 0; i < shape.voiceGroups; ++i) {
        const int node = int(qint64(i) * shape.nodes / shape.voiceGroups);
        builder.addVoiceGroup(lastEdge + QmdItemId(i), nodeId(node), QStringLiteral("C3"),
                              uint(1 + i % 4));
    }
}

void NetworkGenerator::generateChordRings(int voices, qint64 stepTicks, int instruments,
                                          QmdModel *model)
{
    const int rings = (voices + 3) / 4;
    DocumentBuilder builder(model, instruments);
    const QStringList chord{QStringLiteral("C3"), QStringLiteral("E3"), QStringLiteral("G3"),
                            QStringLiteral("B3")};
    QmdItemId next = 1;
    for (int ring = 0; ring < rings; ++ring) {
        const qint64 y = ring * 3 * stepTicks;
        const QList<QmdLudra::TickPos> corners{
            {0, y}, {stepTicks, y}, {stepTicks, y + stepTicks}, {0, y + stepTicks}};
        const QmdItemId first = next;
        for (const QmdLudra::TickPos &corner : corners)
            builder.addNode(next++, corner.x, corner.y,
                            playingLists(QStringLiteral("+0,+12,+0,-12"), QmdLudra::Sequential));
        for (QmdItemId k = 0; k < 4; ++k)
            builder.addEdge(next++, first + k, first + (k + 1) % 4, QmdLudra::CityBlock, 1);
        for (int v = ring * 4; v < std::min(voices, ring * 4 + 4); ++v)
            builder.addVoiceGroup(next++, first, chord.at(v % 4),
                                  uint(1 + ring % std::max(1, instruments)));
    }
}

void NetworkGenerator::generateParallelFans(int groups, int fanOut, qint64 stepTicks,
                                            QmdModel *model)
{
    DocumentBuilder builder(model, std::min(groups, 16));
    QmdItemId next = 1;
    for (int group = 0; group < groups; ++group) {
        const qint64 y = group * (fanOut + 1) * stepTicks;
        const QmdItemId hub = next++;
        builder.addNode(hub, 0, y, playingLists(QStringLiteral("C3,E3,G3"), QmdLudra::Parallel));
        const QmdItemId firstSpoke = next;
        for (int k = 0; k < fanOut; ++k)
            builder.addNode(next++, stepTicks, y + k * stepTicks,
                            playingLists(QStringLiteral("+1,-1"), QmdLudra::Sequential));
        // The hub's edges all lead out before the spokes lead back.
        for (int k = 0; k < fanOut; ++k)
            builder.addEdge(next++, hub, firstSpoke + QmdItemId(k), QmdLudra::CityBlock, 1);
        for (int k = 0; k < fanOut; ++k)
            builder.addEdge(next++, firstSpoke + QmdItemId(k), hub, QmdLudra::CityBlock, 1);
        builder.addVoiceGroup(next++, hub, QStringLiteral("C3"), uint(1 + group % 16));
    }
}

void NetworkGenerator::makeOlder(QmdModel *model)
{
    model->beginRequest(0, QmdRequestOptions(Qmd::NoUndo, QString()), QString());
    const QmdIndex elements = model->index(QStringLiteral("Elements"));
    const QmdIndex instruments = model->index(QStringLiteral("Instruments"));
    const QString usageListKey = QStringLiteral("ArcUsageList");
    const QString orderedKey = QStringLiteral("OrderedArcUsages");
    const QStringList midiKeys{QStringLiteral("MidiPort"),
                               QStringLiteral("MidiChannels"),
                               QStringLiteral("MidiDoProgramChange"),
                               QStringLiteral("MidiProgram"),
                               QStringLiteral("MidiBankMSB"),
                               QStringLiteral("MidiBankLSB")};
    for (const QmdIndex &element : model->children(elements)) {
        const uint type = model->data(model->index(TypeKey, element)).toUInt();
        if (type == QmdLudra::Node) {
            const QStringList entries =
                model->data(model->index(usageListKey, element)).toString().split(QLatin1Char(','));
            model->remove(QStringList{usageListKey}, element);
            model->setTypes(QHash<QString, Qmd::ContainerType>{{orderedKey, Qmd::IntDict}},
                            element);
            const QmdIndex ordered = model->index(orderedKey, element);
            QmdItemId id = 0;
            for (const QString &entry : entries) {
                const QStringList parts = entry.split(QLatin1Char('='));
                if (parts.size() != 2)
                    continue;
                model->setTypes(QHash<QmdItemId, Qmd::ContainerType>{{++id, Qmd::StrDict}},
                                ordered);
                model->setData(
                    QHash<QString, QVariant>{{QStringLiteral("Arc"), parts[0].toUInt()},
                                             {QStringLiteral("UsageRule"), parts[1].toInt()}},
                    model->index(id, ordered));
            }
        } else if (type == QmdLudra::VoiceGroup) {
            const QString initialKey = QStringLiteral("InitialInstrument");
            const QmdItemId instrumentId = model->data(model->index(initialKey, element)).toUInt();
            const QmdIndex instrument = model->index(instrumentId, instruments);
            QHash<QString, QVariant> fields{
                {QStringLiteral("Identifier"), int(instrumentId) - 1},
                {QStringLiteral("OutputType"), model->data(model->index(TypeKey, instrument))}};
            for (const QString &key : midiKeys)
                fields.insert(key, model->data(model->index(key, instrument)));
            model->remove(QStringList{initialKey}, element);
            model->setData(fields, element);
        }
    }
    model->remove(QStringList{QStringLiteral("Instruments")});
    model->endRequest();
}

bool NetworkGenerator::writeFile(QmdModel *model, const QString &fileName)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QmdLudraExporter(model, &file).exportIndex();
    return file.commit();
}
