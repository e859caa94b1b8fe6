#include "qmdludracontroller.h"

#include "midioutput.h"
#include "qmdludraclipboard.h"
#include "qmdludraedgeusage.h"
#include "qmdludraexporter.h"
#include "qmdludraimporter.h"
#include "qmdludrapalette.h"
#include "qmdludraplayback.h"
#include "qmdludrastylepresets.h"
#include "qmdmemmodel.h"
#include "qmdmemmodelbuilder.h"

#include <QBuffer>
#include <QFileInfo>
#include <QSignalBlocker>

#include <algorithm>
#include <limits>

#include <unistd.h>

namespace {

const QString TempKey = QStringLiteral("Temp");
const QString ElementStatesKey = QStringLiteral("ElementStates");
const QString InstrumentsKey = QStringLiteral("Instruments");
const QString SyncMidiInputsKey = QStringLiteral("SyncMidiInputs");
const QString SyncMidiOutputsKey = QStringLiteral("SyncMidiOutputs");
using QmdLudra::ArcIdentifiersKey;
using QmdLudra::ArcUsageListKey;
using QmdLudra::FromNodeKey;
using QmdLudra::TickPosKey;
using QmdLudra::ToNodeKey;
using QmdLudra::TypeKey;

bool hasStateRecord(uint type)
{
    return type == QmdLudra::Edge || type == QmdLudra::Node;
}

// The mode of the file, not the rights of whoever runs us: a file that the
// user made read-only stays as it is even for the superuser, since the
// replacing rename would otherwise go through. It is write-protected when
// neither its owner, nor its group, nor this user may write to it; Qt's own
// user bits ask access(), which says yes to the superuser, so this user's
// bit is read from the mode.
bool isWritableByAnybody(const QFileInfo &info)
{
    const QFileDevice::Permissions mode = info.permissions();
    QFileDevice::Permission userBit = QFileDevice::WriteOther;
    if (info.ownerId() == ::geteuid())
        userBit = QFileDevice::WriteOwner;
    else if (info.groupId() == ::getegid())
        userBit = QFileDevice::WriteGroup;
    return mode & (QFileDevice::WriteOwner | QFileDevice::WriteGroup | userBit);
}

} // namespace

QmdLudraController::QmdLudraController(QObject *parent)
    : Base(parent), m_playback(std::make_unique<QmdLudraPlayback>(this, QmdLudraPlaybackServices()))
{
    qRegisterMetaType<QmdLudra::TickPos>("QmdLudra::TickPos");
}

QmdLudraController::~QmdLudraController()
{
    // Their threads read the document through this controller to the end.
    QmdLudraPlayback::destroy(m_playback->takeAll());
}

QmdIndex QmdLudraController::tempIndex() const
{
    ReadScope scope(this);
    return m_tempIndex;
}

QmdIndex QmdLudraController::elementStatesIndex() const
{
    ReadScope scope(this);
    return m_elementStatesIndex;
}

QmdIndex QmdLudraController::instrumentsIndex() const
{
    ReadScope scope(this);
    return m_instrumentsIndex;
}

QmdIndex QmdLudraController::syncMidiInputsIndex() const
{
    ReadScope scope(this);
    return m_syncMidiInputsIndex;
}

QmdIndex QmdLudraController::syncMidiOutputsIndex() const
{
    ReadScope scope(this);
    return m_syncMidiOutputsIndex;
}

QmdRequestId QmdLudraController::requestToggleShowGrid()
{
    return requestToggle(QStringLiteral("ShowGrid"));
}

QmdRequestId QmdLudraController::requestToggleSnapToGrid()
{
    return requestToggle(QStringLiteral("SnapToGrid"));
}

QmdRequestId QmdLudraController::requestToggleShowNodeCounters()
{
    return requestToggle(QStringLiteral("ShowNodeCounters"));
}

QmdRequestId QmdLudraController::requestToggle(const QString &key)
{
    const bool shown = data(index(key)).toBool();
    return requestSetData(key, !shown, QmdIndex(), QmdRequestOptions(Qmd::NoUndo, QString()));
}

QmdRequestId QmdLudraController::requestLoadStylePreset(const QString &presetName)
{
    QmdLudraStylePresets::Colors colors;
    if (!QmdLudraStylePresets::colors(presetName, &colors))
        return 0;
    QHash<QString, QVariant> values;
    for (auto it = colors.cbegin(); it != colors.cend(); ++it)
        values.insert(it.key(), it.value());
    return requestSetData(values, QmdIndex(),
                          QmdRequestOptions(tr("Color Preset: %1").arg(presetName)));
}

void QmdLudraController::resetDocument()
{
    Base::resetDocument();
    if (!model()) {
        {
            RequestScope scope(this);
            m_tempIndex = m_elementStatesIndex = m_instrumentsIndex = QmdIndex();
            m_syncMidiInputsIndex = m_syncMidiOutputsIndex = QmdIndex();
            m_edgeFromNodes.clear();
        }
        QmdLudraPlayback::destroy(m_playback->takeAll());
        return;
    }
    beginRequest(nextRequestId(), Qmd::NoUndo, tr("QmdLudraController::Reset"));
    // Every element is read once for all that follows.
    const QList<ElementSummary> elements = summarizeElements();
    applyDocumentDefaults(elements);
    {
        // What older documents stored differently is rewritten as if the
        // file had held the new form: nobody watches the document change.
        const QSignalBlocker blocker(model());
        convertOlderDocument(elements);
    }
    // The old objects leave their maps before the request ends, and are
    // stopped only once it has released the lock their threads may wait for.
    const QmdLudraPlayback::Objects old = m_playback->takeAll();
    endRequest();
    rebuildTimingSource();
    QmdLudraPlayback::destroy(old);
    m_playback->rebuildGraph();
    rebuildPlaybackObjects(elements);
    rebuildEdgeFromNodeCache(elements);
}

QList<QmdLudraController::ElementSummary> QmdLudraController::summarizeElements() const
{
    const QStringList keys{TypeKey, FromNodeKey};
    const QmdIndexList records = children(elementsIndex());
    QList<ElementSummary> elements;
    elements.reserve(records.size());
    for (const QmdIndex &record : records) {
        const QVariantList values = this->values(record, keys);
        elements.append({record, values.at(0).toUInt(), values.at(1).toUInt()});
    }
    return elements;
}

void QmdLudraController::applyDocumentDefaults(const QList<ElementSummary> &elements)
{
    QHash<QString, QVariant> values{{QStringLiteral("Tempo"), 120u},
                                    {QStringLiteral("PrincipalsToBeatsNumerator"), 1u},
                                    {QStringLiteral("PrincipalsToBeatsDenominator"), 1u},
                                    {QStringLiteral("DivsPerPrincipal"), 4u},
                                    {QStringLiteral("ShowGrid"), true},
                                    {QStringLiteral("SnapToGrid"), true},
                                    {QStringLiteral("ShowNodeCounters"), false},
                                    {QStringLiteral("ZoomScale"), 1.0}};
    // The preset's name is an identifier, never translated: a translated
    // lookup would leave a translated build without colours.
    QmdLudraStylePresets::Colors dark;
    QmdLudraStylePresets::colors(QStringLiteral("Dark"), &dark);
    for (auto it = dark.cbegin(); it != dark.cend(); ++it)
        values.insert(it.key(), it.value());
    values.insert(QStringLiteral("SyncType"), QStringLiteral("internal"));
    // Values the document holds, even invalid ones, are its own.
    for (auto it = values.begin(); it != values.end();) {
        if (isValid(index(it.key())))
            it = values.erase(it);
        else
            ++it;
    }
    if (!values.isEmpty())
        setData(values);

    // A damaged entry of the wrong kind could never hold anything, so it is
    // replaced as if it were missing.
    QHash<QString, Qmd::ContainerType> containers{{SyncMidiInputsKey, Qmd::StrDict},
                                                  {SyncMidiOutputsKey, Qmd::StrDict},
                                                  {InstrumentsKey, Qmd::IntDict}};
    for (auto it = containers.begin(); it != containers.end();) {
        const QmdIndex existing = index(it.key());
        if (isValid(existing) && containerType(existing) == it.value())
            it = containers.erase(it);
        else
            ++it;
    }
    if (!containers.isEmpty())
        setTypes(containers);

    setType(TempKey, Qmd::StrDict);
    setData(QStringLiteral("Tool"), 2);
    setType(ElementStatesKey, Qmd::IntDict);
    cacheRootIndexes();
    rebuildElementStates(elements);
}

void QmdLudraController::cacheRootIndexes()
{
    m_tempIndex = index(TempKey);
    m_elementStatesIndex = index(ElementStatesKey);
    m_instrumentsIndex = index(InstrumentsKey);
    m_syncMidiInputsIndex = index(SyncMidiInputsKey);
    m_syncMidiOutputsIndex = index(SyncMidiOutputsKey);
}

// The records are built aside and put in place as one change: a document of
// any size costs one signal here, not two per element.
void QmdLudraController::rebuildElementStates(const QList<ElementSummary> &elements)
{
    QmdMemModelBuilder builder(qobject_cast<QmdMemModel *>(model()), m_elementStatesIndex);
    const QmdMemModelBuilder::Container states = builder.setTop(Qmd::IntDict);
    const QHash<QString, QVariant> initial[] = {QmdLudra::initialElementState(QmdLudra::Edge),
                                                QmdLudra::initialElementState(QmdLudra::Node)};
    builder.reserve(states, elements.size());
    for (const ElementSummary &element : elements) {
        if (!hasStateRecord(element.type))
            continue;
        const QmdMemModelBuilder::Container record =
            builder.addContainer(states, element.record.id(), Qmd::StrDict);
        const QHash<QString, QVariant> &values = initial[element.type == QmdLudra::Node ? 1 : 0];
        builder.reserve(record, values.size());
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            builder.setValue(record, it.key(), it.value());
    }
    builder.put();
}

void QmdLudraController::createStateRecord(QmdItemId elementId, uint type)
{
    setType(elementId, Qmd::StrDict, m_elementStatesIndex);
    setData(QmdLudra::initialElementState(type), index(elementId, m_elementStatesIndex));
}

uint QmdLudraController::elementType(const QmdIndex &element) const
{
    return values(element, {TypeKey}).constFirst().toUInt();
}

void QmdLudraController::convertOlderDocument(const QList<ElementSummary> &elements)
{
    const QString orderedArcUsages = QStringLiteral("OrderedArcUsages");
    const QString identifier = QStringLiteral("Identifier");
    for (const ElementSummary &element : elements) {
        if (element.type == QmdLudra::Node && isValid(index(orderedArcUsages, element.record)))
            convertOrderedArcUsages(element.record);
        else if (element.type == QmdLudra::VoiceGroup && isValid(index(identifier, element.record)))
            moveInstrumentOutOfVoiceGroup(element.record);
    }
}

void QmdLudraController::convertOrderedArcUsages(const QmdIndex &node)
{
    const QString orderedArcUsages = QStringLiteral("OrderedArcUsages");
    const QmdIndex usages = index(orderedArcUsages, node);
    // The old list was only ever appended to, so its identifiers ascend in
    // the order the user made the entries.
    QmdItemIdList order = ids(usages);
    std::sort(order.begin(), order.end());
    QString list;
    for (QmdItemId id : order) {
        const QmdIndex usage = index(id, usages);
        list += QStringLiteral("%1=%2,")
                    .arg(data(index(QStringLiteral("Arc"), usage)).toUInt())
                    .arg(data(index(QStringLiteral("UsageRule"), usage)).toInt());
    }
    if (list.endsWith(QLatin1Char(',')))
        list.chop(1);
    setData(ArcUsageListKey, list, node);
    remove(orderedArcUsages, node);
}

void QmdLudraController::moveInstrumentOutOfVoiceGroup(const QmdIndex &voiceGroup)
{
    const int identifier = data(index(QStringLiteral("Identifier"), voiceGroup)).toInt();
    QHash<QString, QVariant> instrument{
        {QStringLiteral("Color"), QmdLudraPalette::color(identifier)},
        {QStringLiteral("Label"),
         QStringLiteral("%1 %2").arg(tr("Instrument")).arg(identifier + 1)}};
    const QList<std::pair<QString, QString>> moved{
        {QStringLiteral("OutputType"), TypeKey},
        {QStringLiteral("MidiPort"), QStringLiteral("MidiPort")},
        {QStringLiteral("MidiChannels"), QStringLiteral("MidiChannels")},
        {QStringLiteral("MidiDoProgramChange"), QStringLiteral("MidiDoProgramChange")},
        {QStringLiteral("MidiProgram"), QStringLiteral("MidiProgram")},
        {QStringLiteral("MidiBankMSB"), QStringLiteral("MidiBankMSB")},
        {QStringLiteral("MidiBankLSB"), QStringLiteral("MidiBankLSB")}};
    QStringList oldKeys{QStringLiteral("Identifier")};
    for (const auto &[from, to] : moved) {
        const QmdIndex value = index(from, voiceGroup);
        if (isValid(value))
            instrument.insert(to, data(value));
        oldKeys << from;
    }
    const QmdItemId id = addType(Qmd::StrDict, m_instrumentsIndex);
    if (id == 0)
        return;
    setData(instrument, index(id, m_instrumentsIndex));
    setData(QStringLiteral("InitialInstrument"), id, voiceGroup);
    remove(oldKeys, voiceGroup);
}

QFile::FileError QmdLudraController::save(const QString &fileName, QmdRequestId rid)
{
    QByteArray bytes;
    const QFile::FileError error = serialize(fileName, &bytes, rid);
    if (error != QFile::NoError)
        return error;
    return writeFile(fileName, bytes, &m_lastFileErrorString);
}

QFile::FileError QmdLudraController::serialize(const QString &fileName, QByteArray *bytes,
                                               QmdRequestId)
{
    m_lastFileErrorString.clear();
    // What the voices have counted while playing belongs in the file.
    m_playback->flushCounters();
    const QFileInfo info(fileName);
    if (info.exists() && !isWritableByAnybody(info)) {
        m_lastFileErrorString = tr("The file is write-protected.");
        return QFile::PermissionsError;
    }
    QBuffer buffer(bytes);
    buffer.open(QIODevice::WriteOnly);
    QmdLudraExporter exporter(model(), &buffer);
    // Scratch values do not outlive a reset, let alone the file.
    if (const QmdIndex temp = index(TempKey); isValid(temp))
        exporter.excludeIndex(temp);
    exporter.exportIndex(QmdIndex());
    return QFile::NoError;
}

QFile::FileError QmdLudraController::load(const QString &fileName, QmdRequestId)
{
    m_lastFileErrorString.clear();
    auto *document = qobject_cast<QmdMemModel *>(model());
    if (!document)
        return QFile::NoError;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        m_lastFileErrorString = file.errorString();
        return file.error();
    }
    // The file is read aside first, so that one that turns out not to be a
    // document costs the user nothing.
    QmdMemModel scratch;
    scratch.beginRequest(0, QmdRequestOptions(Qmd::NoUndo, QString()), QString());
    QmdLudraImporter importer(&scratch, &file);
    const bool accepted = importer.importIndex(QmdIndex());
    scratch.endRequest();
    if (file.error() != QFile::NoError) {
        m_lastFileErrorString = file.errorString();
        return file.error();
    }
    if (!accepted) {
        m_lastFileErrorString = importer.errorString();
        return QFile::ReadError;
    }
    // The old steps would act on containers that are about to go.
    document->clearUndoRedo();
    // What was read moves in whole, without a copy. Views learn of the new
    // content from the reset that follows a load.
    const QSignalBlocker blocker(document);
    document->takeContent(scratch);
    return QFile::NoError;
}

// --- Creating elements and instruments ---------------------------------------

QmdRequestId QmdLudraController::requestAddInstrument(const QmdRequestOptions &options)
{
    QStringList labels;
    QList<QColor> colors;
    QBitArray usedChannels(MidiOutput::ChannelCount);
    {
        ReadScope scope(this);
        const QmdIndex instruments = m_instrumentsIndex;
        for (QmdItemId id : ids(instruments)) {
            const QmdIndex instrument = index(id, instruments);
            labels << data(index(QStringLiteral("Label"), instrument)).toString();
            colors << data(index(QStringLiteral("Color"), instrument)).value<QColor>();
            usedChannels |= data(index(QStringLiteral("MidiChannels"), instrument)).toBitArray();
        }
    }

    const QString name = tr("Instrument");
    QString label = name;
    for (int n = 2; labels.contains(label) && n < std::numeric_limits<int>::max(); ++n)
        label = QStringLiteral("%1 %2").arg(name).arg(n);

    QColor color;
    for (int position = 0; position < QmdLudraPalette::size(); ++position) {
        if (!colors.contains(QmdLudraPalette::color(position))) {
            color = QmdLudraPalette::color(position);
            break;
        }
    }

    QBitArray channels(MidiOutput::ChannelCount);
    for (int channel = 0; channel < MidiOutput::ChannelCount; ++channel) {
        if (!usedChannels.testBit(channel)) {
            channels.setBit(channel);
            break;
        }
    }
    return requestAddInstrument(label, color, channels, options);
}

QmdRequestId QmdLudraController::requestAddInstrument(const QString &label, const QColor &color,
                                                      const QBitArray &channels,
                                                      const QmdRequestOptions &options)
{
    // Asked before the request: the MIDI services may take their time, and
    // readers on other threads wait for the lock.
    const QString port = MidiOutput::defaultOutputPortName();
    const QmdRequestId rid = startRequest(options);
    const QmdIndex instruments = m_instrumentsIndex;
    if (const QmdItemId id = addType(Qmd::StrDict, instruments)) {
        setData(QHash<QString, QVariant>{{TypeKey, QStringLiteral("midi")},
                                         {QStringLiteral("Color"), color},
                                         {QStringLiteral("Label"), label},
                                         {QStringLiteral("MidiPort"), port},
                                         {QStringLiteral("MidiChannels"), channels},
                                         {QStringLiteral("MidiDoProgramChange"), false},
                                         {QStringLiteral("MidiProgram"), 1},
                                         {QStringLiteral("MidiBankMSB"), 0},
                                         {QStringLiteral("MidiBankLSB"), 0}},
                index(id, instruments));
    }
    endRequest();
    return rid;
}

QmdRequestId QmdLudraController::requestAddEdge(const QmdIndex &fromNode, const QmdIndex &toNode,
                                                QmdLudra::EdgePath path, CreationFlags flags,
                                                const QmdRequestOptions &options)
{
    QHash<QString, QVariant> values{{QStringLiteral("Path"), int(path)}};
    const bool hasFromNode = isValid(fromNode);
    if (hasFromNode)
        values.insert(FromNodeKey, fromNode.id());
    if (isValid(toNode))
        values.insert(ToNodeKey, toNode.id());
    QmdItemId edge = 0;
    const QmdRequestId rid = addElement(QmdLudra::Edge, values, {}, flags, options, &edge);
    if (edge != 0 && hasFromNode) {
        beginRequest(rid, options.flags, tr("Edge From-Node Signalling"));
        enterOutgoingEdge(fromNode, edge);
        endRequest();
    }
    return rid;
}

QmdRequestId QmdLudraController::requestAddNode(const QmdLudra::TickPos &pos, CreationFlags flags,
                                                const QmdRequestOptions &options)
{
    return addElement(QmdLudra::Node,
                      {{QStringLiteral("PitchList"), QStringLiteral("C3")},
                       {QStringLiteral("VelocityList"), QStringLiteral("64")},
                       {QStringLiteral("DurationList"), QStringLiteral("100%")},
                       {TickPosKey, QVariant::fromValue(pos)},
                       {QStringLiteral("SignallingMethod"), int(QmdLudra::Sequential)}},
                      {{ArcIdentifiersKey, Qmd::IntDict}}, flags, options);
}

QmdRequestId QmdLudraController::requestAddVoiceGroup(const QmdIndex &toNode, CreationFlags flags,
                                                      const QmdRequestOptions &options)
{
    QmdItemIdList instruments = ids(instrumentsIndex());
    std::sort(instruments.begin(), instruments.end());
    const QmdItemId instrument = instruments.isEmpty() ? 0 : instruments.first();
    const QmdItemId node = isValid(toNode) ? toNode.id() : 0;
    return addElement(QmdLudra::VoiceGroup,
                      {{QStringLiteral("InitialPitch"), QStringLiteral("C3")},
                       {QStringLiteral("InitialVelocity"), QStringLiteral("64")},
                       {QStringLiteral("InitialDuration"), QStringLiteral("1.0")},
                       {QStringLiteral("InitialInstrument"), instrument},
                       {ToNodeKey, node}},
                      {}, flags, options);
}

QmdRequestId QmdLudraController::requestAddTextBox(const QmdLudra::TickPos &pos,
                                                   const QString &text, CreationFlags flags,
                                                   const QmdRequestOptions &options)
{
    return addElement(QmdLudra::TextBox,
                      {{TickPosKey, QVariant::fromValue(pos)}, {QStringLiteral("Text"), text}}, {},
                      flags, options);
}

QmdRequestId QmdLudraController::addElement(QmdLudra::ElementType type,
                                            QHash<QString, QVariant> values,
                                            const QHash<QString, Qmd::ContainerType> &containers,
                                            CreationFlags flags, const QmdRequestOptions &options,
                                            QmdItemId *newId)
{
    if (flags.testFlag(CreateHidden))
        values.insert(QStringLiteral("IsHidden"), true);
    return requestAddElement(int(type), values, containers, options, newId);
}

// The first free identifier, and a last place in the usage list.
void QmdLudraController::enterOutgoingEdge(const QmdIndex &node, QmdItemId edge)
{
    // Older documents knew no identifiers: the node starts counting now.
    if (containerType(index(ArcIdentifiersKey, node)) != Qmd::IntDict)
        setType(ArcIdentifiersKey, Qmd::IntDict, node);
    const QmdIndex identifiers = index(ArcIdentifiersKey, node);
    QList<uint> taken;
    for (QmdItemId id : ids(identifiers))
        taken << data(index(id, identifiers)).toUInt();
    if (const int identifier = QmdLudraEdgeUsage::freeIdentifier(taken); identifier >= 0)
        setData(edge, identifier, identifiers);
    const QString usage = data(index(ArcUsageListKey, node)).toString();
    setData(ArcUsageListKey, QmdLudraEdgeUsage::withEdgeAppended(usage, edge), node);
}

void QmdLudraController::removeOutgoingEdge(const QmdIndex &node, QmdItemId edge)
{
    if (!isValid(node))
        return;
    const QmdIndex identifiers = index(ArcIdentifiersKey, node);
    if (isValid(index(edge, identifiers)))
        remove(edge, identifiers);
    const QmdIndex usageIndex = index(ArcUsageListKey, node);
    if (!isValid(usageIndex))
        return;
    const QString usage = data(usageIndex).toString();
    const QString kept = QmdLudraEdgeUsage::withoutEdge(usage, edge);
    if (kept != usage)
        setData(ArcUsageListKey, kept, node);
}

// --- Clipboard -----------------------------------------------------------------

QByteArray QmdLudraController::copyElements(const QmdItemIdSet &elements) const
{
    const std::lock_guard locker(dataLock());
    const QmdIndex container = elementsIndex();
    QmdIndexList records;
    for (QmdItemId id : elements) {
        if (const QmdIndex record = index(id, container); isValid(record))
            records << record;
    }
    return QmdLudraClipboard(model(), container).copy(records);
}

QmdRequestId QmdLudraController::requestPaste(const QByteArray &payload,
                                              const QmdLudra::TickPos &center)
{
    const QmdRequestId rid = startRequest(tr("Paste"));
    if (!payload.isEmpty()) {
        const uint divisions = data(index(QStringLiteral("DivsPerPrincipal"))).toUInt();
        QmdLudraClipboard(model(), elementsIndex()).paste(payload, center, divisions);
    }
    endRequest();
    return rid;
}

// --- Continuing requests ---------------------------------------------------------

void QmdLudraController::beginRequest(QmdRequestId rid, Qmd::RequestFlags flags,
                                      const QString &text)
{
    // The lock taken here is held until the request ends.
    Base::beginRequest(rid, flags, text);
    if (!model())
        return;
    OpenRequest &open = m_openRequests[rid];
    if (open.pending++ == 0)
        open.flags = flags;
}

void QmdLudraController::continueRequest(QmdRequestId rid, const QString &text)
{
    Qmd::RequestFlags flags = 0;
    {
        RequestScope scope(this);
        flags = m_openRequests.value(rid).flags;
    }
    beginRequest(rid, flags, text);
}

// A reaction continues its request before that request's end is delivered,
// so the request is finished for observers only when the last continuation
// has reported: they hear of it once, after all its changes.
void QmdLudraController::receivedRequestFinished(QmdRequestId rid, Qmd::RequestFlags flags,
                                                 int status)
{
    {
        RequestScope scope(this);
        const auto open = m_openRequests.find(rid);
        if (open != m_openRequests.end()) {
            if (status != 0)
                open->status = status;
            if (--open->pending > 0)
                return;
            status = open->status;
            m_openRequests.erase(open);
        }
    }
    // The voices play the request's changes from their next firing on.
    m_playback->updateGraph();
    m_playback->forgetRequest(rid);
    Base::receivedRequestFinished(rid, flags, status);
}

// --- Reactions -------------------------------------------------------------------

void QmdLudraController::receivedItemsChanged(const QmdIndex &parent, const QmdItemIdList &idList,
                                              QmdRequestId rid)
{
    if (isContainer(parent, elementsIndex())) {
        onElementsAdded(idList, rid);
    } else if (isContainer(parent, instrumentsIndex())) {
        createInstrumentObjectsFor(idList, rid);
    }
    // Views hear of new items once all that belongs to them exists.
    Base::receivedItemsChanged(parent, idList, rid);
}

void QmdLudraController::receivedItemsChanged(const QmdIndex &parent, const QStringList &keys,
                                              QmdRequestId rid)
{
    Base::receivedItemsChanged(parent, keys, rid);
    if (!parent.model()) {
        // Only a type other than the one built from: the defaults a reset
        // writes come round after it has built its source.
        if (keys.contains(QStringLiteral("SyncType")) &&
            !m_playback->isTimingSourceOf(data(index(QStringLiteral("SyncType"))).toString())) {
            rebuildTimingSource();
            // The new clock starts at 0: the voices and counters start over
            // with it.
            gotoStart(false);
        }
    } else if (isNetworkElement(parent)) {
        // Geometry, paths and lists take effect on the voices under way.
        m_playback->noteChanged(parent.id());
    } else if (isContainer(this->parent(parent), instrumentsIndex())) {
        m_playback->applyInstrumentData(parent.id(), keys, rid);
        Q_EMIT instrumentDataChanged(parent.id(), keys, rid);
    }
    if (touchesSyncPorts(parent, keys))
        m_playback->pushSyncPorts();
    if (!parent.model() && (keys.contains(QStringLiteral("Tempo")) ||
                            keys.contains(QStringLiteral("PrincipalsToBeatsNumerator")) ||
                            keys.contains(QStringLiteral("PrincipalsToBeatsDenominator"))))
        m_playback->pushTiming();
}

void QmdLudraController::receivedItemsRemoved(const QmdIndex &parent, const QmdItemIdList &idList,
                                              QmdRequestId rid)
{
    Base::receivedItemsRemoved(parent, idList, rid);
    if (isContainer(parent, elementsIndex()))
        onElementsRemoved(idList, rid);
    else if (isContainer(parent, instrumentsIndex()))
        onInstrumentsRemoved(idList, rid);
}

void QmdLudraController::receivedItemsRemoved(const QmdIndex &parent, const QStringList &keys,
                                              QmdRequestId rid)
{
    Base::receivedItemsRemoved(parent, keys, rid);
    if (isNetworkElement(parent)) {
        m_playback->noteChanged(parent.id());
    } else if (isContainer(this->parent(parent), instrumentsIndex())) {
        m_playback->applyInstrumentData(parent.id(), keys, rid);
        Q_EMIT instrumentDataRemoved(parent.id(), keys, rid);
    }
    if (touchesSyncPorts(parent, keys))
        m_playback->pushSyncPorts();
}

void QmdLudraController::onElementsAdded(const QmdItemIdList &ids, QmdRequestId rid)
{
    // A new voice group starts from its values at once.
    m_playback->noteChanged(ids);
    m_playback->updateGraph();
    createVoiceGroupObjectsFor(ids);
    const bool replay = isUndoRedoRequest(rid);
    const QmdIndex elements = elementsIndex();
    for (QmdItemId id : ids) {
        const QmdIndex element = index(id, elements);
        const uint type = elementType(element);
        if (type == QmdLudra::Edge) {
            const QmdItemId fromNode = data(index(FromNodeKey, element)).toUInt();
            if (isValid(index(fromNode, elements))) {
                RequestScope scope(this);
                m_edgeFromNodes.insert(id, fromNode);
            }
        }
        if (replay || !hasStateRecord(type))
            continue;
        continueRequest(rid,
                        type == QmdLudra::Edge ? tr("Create Arc State") : tr("Create Node State"));
        createStateRecord(id, type);
        endRequest();
    }
}

void QmdLudraController::onElementsRemoved(const QmdItemIdList &ids, QmdRequestId rid)
{
    const bool replay = isUndoRedoRequest(rid);
    if (!replay) {
        continueRequest(rid, tr("Remove Element States"));
        QmdItemIdList states;
        for (QmdItemId id : ids) {
            if (isValid(index(id, m_elementStatesIndex)))
                states << id;
        }
        if (!states.isEmpty())
            remove(states, m_elementStatesIndex);
        endRequest();
    }
    m_playback->noteChanged(ids);
    destroyVoiceGroupObjectsFor(ids);
    if (replay) {
        RequestScope scope(this);
        for (QmdItemId id : ids)
            m_edgeFromNodes.remove(id);
        return;
    }

    continueRequest(rid, tr("Remove Refs To Edges"));
    const QmdIndex elements = elementsIndex();
    for (QmdItemId id : ids) {
        const auto fromNode = m_edgeFromNodes.constFind(id);
        if (fromNode == m_edgeFromNodes.cend())
            continue;
        removeOutgoingEdge(index(*fromNode, elements), id);
        m_edgeFromNodes.erase(fromNode);
    }
    // Their removal brings us back here, so chains of dependents go too.
    if (const QmdItemIdList dependents = dependentsOf(ids); !dependents.isEmpty())
        remove(dependents, elements);
    endRequest();
}

bool QmdLudraController::touchesSyncPorts(const QmdIndex &parent, const QStringList &keys) const
{
    if (!parent.model())
        return keys.contains(SyncMidiInputsKey) || keys.contains(SyncMidiOutputsKey);
    const QmdIndex inputs = m_syncMidiInputsIndex;
    const QmdIndex outputs = m_syncMidiOutputsIndex;
    if (parent == inputs || parent == outputs)
        return true;
    const QmdIndex container = this->parent(parent);
    return container == inputs || container == outputs;
}

void QmdLudraController::setPlaybackServices(const QmdLudraPlaybackServices &services)
{
    QmdLudraPlayback::destroy(m_playback->takeAll());
    m_playback = std::make_unique<QmdLudraPlayback>(this, services);
}

QmdItemIdList QmdLudraController::dependentsOf(const QmdItemIdList &removed) const
{
    const QSet<QmdItemId> gone(removed.cbegin(), removed.cend());
    const QmdIndex elements = elementsIndex();
    const auto refersToGone = [&](const QmdIndex &element, const QString &key) {
        return gone.contains(data(index(key, element)).toUInt());
    };
    QmdItemIdList dependents;
    for (QmdItemId id : ids(elements)) {
        const QmdIndex element = index(id, elements);
        switch (elementType(element)) {
        case QmdLudra::Edge:
            if (refersToGone(element, FromNodeKey) || refersToGone(element, ToNodeKey))
                dependents << id;
            break;
        case QmdLudra::VoiceGroup:
            if (refersToGone(element, ToNodeKey))
                dependents << id;
            break;
        default:
            break;
        }
    }
    return dependents;
}

void QmdLudraController::onInstrumentsRemoved(const QmdItemIdList &ids, QmdRequestId rid)
{
    if (!isUndoRedoRequest(rid)) {
        continueRequest(rid, tr("Remove Refs To Instruments"));
        const QSet<QmdItemId> gone(ids.cbegin(), ids.cend());
        const QmdIndex elements = elementsIndex();
        for (QmdItemId id : this->ids(elements)) {
            const QmdIndex element = index(id, elements);
            const uint type = elementType(element);
            if (type == QmdLudra::Node &&
                gone.contains(data(index(QStringLiteral("Instrument"), element)).toUInt())) {
                setData(QHash<QString, QVariant>{{QStringLiteral("DoInstrumentChange"), false},
                                                 {QStringLiteral("Instrument"), 0u}},
                        element);
            } else if (type == QmdLudra::VoiceGroup &&
                       gone.contains(
                           data(index(QStringLiteral("InitialInstrument"), element)).toUInt())) {
                setData(QStringLiteral("InitialInstrument"), 0u, element);
            }
        }
        endRequest();
    }
    destroyInstrumentObjectsFor(ids);
    Q_EMIT instrumentsRemoved(ids, rid);
}

void QmdLudraController::rebuildEdgeFromNodeCache(const QList<ElementSummary> &elements)
{
    RequestScope scope(this);
    m_edgeFromNodes.clear();
    for (const ElementSummary &element : elements) {
        if (element.type == QmdLudra::Edge && element.fromNode != 0)
            m_edgeFromNodes.insert(element.record.id(), element.fromNode);
    }
}

bool QmdLudraController::isContainer(const QmdIndex &index, const QmdIndex &container) const
{
    // A container not found at the last reset is no container at all, and
    // must not be taken for the root.
    return container.model() && index == container;
}

bool QmdLudraController::isNetworkElement(const QmdIndex &record) const
{
    if (!isContainer(parent(record), elementsIndex()))
        return false;
    const uint type = elementType(record);
    return type == QmdLudra::Edge || type == QmdLudra::Node || type == QmdLudra::VoiceGroup;
}

// --- Playback objects ------------------------------------------------------------
//
// The voice groups and instruments that sound the document hook in here; a
// document without them is complete, it only stays silent.

void QmdLudraController::createVoiceGroupObjectsFor(const QmdItemIdList &ids)
{
    m_playback->createVoiceGroups(ids);
}

void QmdLudraController::destroyVoiceGroupObjectsFor(const QmdItemIdList &ids)
{
    QmdLudraPlayback::destroy(m_playback->takeVoiceGroups(ids));
}

void QmdLudraController::createInstrumentObjectsFor(const QmdItemIdList &ids, QmdRequestId rid)
{
    m_playback->createInstruments(ids);
    Q_EMIT instrumentsAdded(ids, rid);
}

void QmdLudraController::destroyInstrumentObjectsFor(const QmdItemIdList &ids)
{
    QmdLudraPlayback::destroy(m_playback->takeInstruments(ids));
}

void QmdLudraController::rebuildPlaybackObjects(const QList<ElementSummary> &elements)
{
    createInstrumentObjectsFor(ids(instrumentsIndex()), 0);
    QmdItemIdList voiceGroups;
    for (const ElementSummary &element : elements) {
        if (element.type == QmdLudra::VoiceGroup)
            voiceGroups.append(element.record.id());
    }
    createVoiceGroupObjectsFor(voiceGroups);
}

bool QmdLudraController::isPlaying() const
{
    return m_playback->isPlaying();
}

bool QmdLudraController::isPlaybackSilent() const
{
    return m_playback->isSilent();
}

QmdRequestId QmdLudraController::requestPlay()
{
    return requestSetPlayback(true);
}

QmdRequestId QmdLudraController::requestPause()
{
    return requestSetPlayback(false);
}

QmdRequestId QmdLudraController::requestTogglePlayback()
{
    return requestSetPlayback(!isPlaying() && m_playback->timingSource());
}

QmdRequestId QmdLudraController::requestSetPlayback(bool play)
{
    // Every group that starts over starts where play does, together.
    const qint64 from = m_playback->position();
    m_playback->setPlaying(play);
    m_playback->prime(play, from);
    Q_EMIT playbackStateChanged(play);
    return QmdRequestId(-1);
}

QmdRequestId QmdLudraController::requestPrimePlaybackForSyncStateChange(bool newState)
{
    m_playback->prime(newState, m_playback->position());
    Q_EMIT playbackStateChanged(newState);
    return QmdRequestId(-1);
}

QmdRequestId QmdLudraController::requestGotoStart()
{
    gotoStart(true);
    return QmdRequestId(-1);
}

void QmdLudraController::onTimingSourceRewound()
{
    gotoStart(false);
}

void QmdLudraController::gotoStart(bool rewindTimingSource)
{
    const bool restart = m_playback->beginGotoStart(rewindTimingSource);
    resetElementStatesForStart();
    m_playback->endGotoStart(restart);
    Q_EMIT playbackJogged();
}

void QmdLudraController::rebuildTimingSource()
{
    const bool wasPlaying = m_playback->isPrimed();
    m_playback->rebuildTimingSource();
    // The new source stands at its start, while the voices under way are
    // anywhere: rather than jump, playback stops, and says so.
    if (wasPlaying)
        requestPrimePlaybackForSyncStateChange(false);
}

// Every counter and list position starts again, outside the undo history.
void QmdLudraController::resetElementStatesForStart()
{
    startRequest(QmdRequestOptions(Qmd::NoUndo, tr("Goto Start")));
    const QmdIndex elements = elementsIndex();
    for (QmdItemId id : ids(m_elementStatesIndex)) {
        const QHash<QString, QVariant> initial =
            QmdLudra::initialElementState(elementType(index(id, elements)));
        if (!initial.isEmpty())
            setData(initial, index(id, m_elementStatesIndex));
    }
    endRequest();
}

void QmdLudraController::writeElementStates(
    const QHash<QmdItemId, QHash<QString, QVariant>> &records)
{
    startRequest(QmdRequestOptions(Qmd::NoUndo, QStringLiteral("Playback")));
    for (auto it = records.cbegin(); it != records.cend(); ++it) {
        const QmdIndex state = index(it.key(), m_elementStatesIndex);
        if (isValid(state))
            setData(it.value(), state);
    }
    endRequest();
}

void QmdLudraController::requestTraverseFromPlaybackPos()
{
    m_playback->retime();
}
