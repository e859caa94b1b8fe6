#include "qmdludracontroller.h"

#include "qmdludraexporter.h"
#include "qmdludraimporter.h"
#include "qmdludrapalette.h"
#include "qmdludrastylepresets.h"
#include "qmdmemmodel.h"

#include <QFileInfo>
#include <QSaveFile>
#include <QSignalBlocker>

#include <algorithm>

namespace {

const QString TempKey = QStringLiteral("Temp");
const QString ElementStatesKey = QStringLiteral("ElementStates");
const QString InstrumentsKey = QStringLiteral("Instruments");
const QString SyncMidiInputsKey = QStringLiteral("SyncMidiInputs");
const QString SyncMidiOutputsKey = QStringLiteral("SyncMidiOutputs");
const QString TypeKey = QStringLiteral("Type");

// The run-time state a node or an edge starts from; other kinds have none.
QHash<QString, QVariant> initialState(uint type)
{
    switch (type) {
    case QmdLudra::Edge:
        return {{QStringLiteral("CurrentScaleId"), 0}};
    case QmdLudra::Node:
        return {{QStringLiteral("CurrentEdgeUsageId"), 0u},
                {QStringLiteral("CurrentEdgeUsageUses"), 0},
                {QStringLiteral("CurrentPitchId"), 0},
                {QStringLiteral("CurrentVelocityId"), 0},
                {QStringLiteral("CurrentDurationId"), 0},
                {QStringLiteral("CurrentUserMidiMessageId"), 0},
                {QStringLiteral("HitCount"), 0}};
    default:
        return {};
    }
}

bool hasStateRecord(uint type)
{
    return type == QmdLudra::Edge || type == QmdLudra::Node;
}

// Copies the items of the container at from into the container of the same
// kind at to, keeping identifiers and keys, one command per container.
template <class Key>
void copyItems(const QmdModel &source, const QmdIndex &from, QmdModel &target, const QmdIndex &to,
               const QList<Key> &keys)
{
    QHash<Key, QVariant> values;
    QHash<Key, Qmd::ContainerType> containers;
    for (const Key &key : keys) {
        const QmdIndex item = source.index(key, from);
        const Qmd::ContainerType type = source.containerType(item);
        if (type == Qmd::NoContainer)
            values.insert(key, source.data(item));
        else
            containers.insert(key, type);
    }
    if (!values.isEmpty())
        target.setData(values, to);
    if (containers.isEmpty())
        return;
    target.setTypes(containers, to);
    for (auto it = containers.cbegin(); it != containers.cend(); ++it) {
        const QmdIndex childFrom = source.index(it.key(), from);
        const QmdIndex childTo = target.index(it.key(), to);
        if (it.value() == Qmd::IntDict)
            copyItems(source, childFrom, target, childTo, source.ids(childFrom));
        else
            copyItems(source, childFrom, target, childTo, source.keys(childFrom));
    }
}

// Makes target's root a copy of source's.
void copyTree(const QmdModel &source, QmdModel &target)
{
    switch (source.containerType(QmdIndex())) {
    case Qmd::IntDict:
        target.setTypes(QHash<QmdIndex, Qmd::ContainerType>{{QmdIndex(), Qmd::IntDict}});
        copyItems(source, QmdIndex(), target, QmdIndex(), source.ids(QmdIndex()));
        break;
    case Qmd::StrDict:
        target.setTypes(QHash<QmdIndex, Qmd::ContainerType>{{QmdIndex(), Qmd::StrDict}});
        copyItems(source, QmdIndex(), target, QmdIndex(), source.keys(QmdIndex()));
        break;
    case Qmd::NoContainer:
        target.setData(QHash<QmdIndex, QVariant>{{QmdIndex(), source.data(QmdIndex())}});
        break;
    }
}

// The mode of the file, not the rights of whoever runs us: a file that the
// user made read-only stays as it is even for the superuser, since the
// replacing rename would otherwise go through.
bool isWritableByAnybody(const QFileInfo &info)
{
    return info.permissions() &
           (QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther);
}

} // namespace

QmdLudraController::QmdLudraController(QObject *parent) : Base(parent)
{
    qRegisterMetaType<QmdLudra::TickPos>("QmdLudra::TickPos");
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
        RequestScope scope(this);
        m_tempIndex = m_elementStatesIndex = m_instrumentsIndex = QmdIndex();
        m_syncMidiInputsIndex = m_syncMidiOutputsIndex = QmdIndex();
        return;
    }
    beginRequest(nextRequestId(), Qmd::NoUndo, tr("QmdLudraController::Reset"));
    applyDocumentDefaults();
    {
        // What older documents stored differently is rewritten as if the
        // file had held the new form: nobody watches the document change.
        const QSignalBlocker blocker(model());
        convertOlderDocument();
    }
    // The playback objects join the reset here: the old instrument and
    // voice-group objects leave their maps before the request ends; after it
    // the timing source, those objects, the edge from-node cache and the
    // instruments model are rebuilt, in that order.
    endRequest();
}

void QmdLudraController::applyDocumentDefaults()
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
        if (containerType(index(it.key())) == it.value())
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
    rebuildElementStates();
}

void QmdLudraController::cacheRootIndexes()
{
    m_tempIndex = index(TempKey);
    m_elementStatesIndex = index(ElementStatesKey);
    m_instrumentsIndex = index(InstrumentsKey);
    m_syncMidiInputsIndex = index(SyncMidiInputsKey);
    m_syncMidiOutputsIndex = index(SyncMidiOutputsKey);
}

void QmdLudraController::rebuildElementStates()
{
    const QmdIndex elements = elementsIndex();
    for (QmdItemId id : ids(elements)) {
        const uint type = elementType(index(id, elements));
        if (hasStateRecord(type))
            createStateRecord(id, type);
    }
}

void QmdLudraController::createStateRecord(QmdItemId elementId, uint type)
{
    setType(elementId, Qmd::StrDict, m_elementStatesIndex);
    setData(initialState(type), index(elementId, m_elementStatesIndex));
}

uint QmdLudraController::elementType(const QmdIndex &element) const
{
    return data(index(TypeKey, element)).toUInt();
}

void QmdLudraController::convertOlderDocument()
{
    const QmdIndex elements = elementsIndex();
    const QString orderedArcUsages = QStringLiteral("OrderedArcUsages");
    const QString identifier = QStringLiteral("Identifier");
    for (QmdItemId id : ids(elements)) {
        const QmdIndex element = index(id, elements);
        const uint type = elementType(element);
        if (type == QmdLudra::Node && isValid(index(orderedArcUsages, element)))
            convertOrderedArcUsages(element);
        else if (type == QmdLudra::VoiceGroup && isValid(index(identifier, element)))
            moveInstrumentOutOfVoiceGroup(element);
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
    setData(QStringLiteral("ArcUsageList"), list, node);
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

QFile::FileError QmdLudraController::save(const QString &fileName, QmdRequestId)
{
    m_lastFileErrorString.clear();
    const QFileInfo info(fileName);
    if (info.exists() && !isWritableByAnybody(info)) {
        m_lastFileErrorString = tr("The file is write-protected.");
        return QFile::PermissionsError;
    }
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        m_lastFileErrorString = file.errorString();
        return file.error();
    }
    QmdLudraExporter exporter(model(), &file);
    // Scratch values do not outlive a reset, let alone the file.
    if (const QmdIndex temp = index(TempKey); isValid(temp))
        exporter.excludeIndex(temp);
    exporter.exportIndex(QmdIndex());
    if (!file.commit()) {
        m_lastFileErrorString = file.errorString();
        return file.error() == QFile::NoError ? QFile::WriteError : file.error();
    }
    return QFile::NoError;
}

QFile::FileError QmdLudraController::load(const QString &fileName, QmdRequestId)
{
    m_lastFileErrorString.clear();
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
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
    replaceContent(scratch);
    return QFile::NoError;
}

void QmdLudraController::replaceContent(const QmdModel &source)
{
    QmdModel *document = model();
    if (!document)
        return;
    // The old steps would act on containers that are about to go.
    if (auto *memModel = qobject_cast<QmdMemModel *>(document))
        memModel->clearUndoRedo();
    // Views learn of the new content from the reset that follows a load.
    const QSignalBlocker blocker(document);
    copyTree(source, *document);
}
