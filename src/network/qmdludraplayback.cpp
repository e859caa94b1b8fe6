#include "qmdludraplayback.h"

#include "abstractinstrument.h"
#include "abstractsync.h"
#include "instrumentfactory.h"
#include "midiinstrument.h"
#include "midisync.h"
#include "playbackclock.h"
#include "qmdludra.h"
#include "qmdludracontroller.h"
#include "qmdludragraphcompiler.h"
#include "voicegroup.h"

QmdLudraPlayback::QmdLudraPlayback(QmdLudraController *controller,
                                   const QmdLudraPlaybackServices &services)
    : m_controller(controller), m_services(services), m_core(this)
{
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(CounterFlushMs);
    m_flushTimer.callOnTimeout([this] { flushCounters(); });
}

QmdLudraPlayback::~QmdLudraPlayback()
{
    destroy(takeAll());
}

bool QmdLudraPlayback::deliverNotePair(QmdItemId instrument, const InstrumentEvent &noteOn,
                                       const InstrumentEvent &noteOff)
{
    const std::lock_guard locker(m_objectsMutex);
    AbstractInstrument *object = m_instruments.value(instrument);
    return object && object->enqueueNotePair(noteOn, noteOff);
}

bool QmdLudraPlayback::deliverEvent(QmdItemId instrument, const InstrumentEvent &event)
{
    const std::lock_guard locker(m_objectsMutex);
    AbstractInstrument *object = m_instruments.value(instrument);
    return object && object->enqueue(event);
}

bool QmdLudraPlayback::appendFiredNode(const FiredNode &record)
{
    return m_firedNodes.append(record);
}

void QmdLudraPlayback::countersChanged()
{
    // On a voice thread: the timer belongs to the controller's, and the
    // controller, not this object, is sure to be there when the call is.
    QMetaObject::invokeMethod(
        m_controller,
        [controller = m_controller] {
            QTimer &timer = controller->playback().m_flushTimer;
            if (!timer.isActive())
                timer.start();
        },
        Qt::QueuedConnection);
}

VoiceGroup *QmdLudraPlayback::voiceGroup(QmdItemId element) const
{
    const std::lock_guard locker(m_objectsMutex);
    return m_voiceGroups.value(element);
}

AbstractInstrument *QmdLudraPlayback::instrument(QmdItemId id) const
{
    const std::lock_guard locker(m_objectsMutex);
    return m_instruments.value(id);
}

QList<VoiceGroup *> QmdLudraPlayback::voiceGroups() const
{
    const std::lock_guard locker(m_objectsMutex);
    return m_voiceGroups.values();
}

QList<AbstractInstrument *> QmdLudraPlayback::instruments() const
{
    const std::lock_guard locker(m_objectsMutex);
    return m_instruments.values();
}

bool QmdLudraPlayback::isPlaying() const
{
    const AbstractSync *source = m_timingSource;
    return source && source->isRunning();
}

bool QmdLudraPlayback::isSilent() const
{
    const std::lock_guard locker(m_objectsMutex);
    for (const VoiceGroup *group : m_voiceGroups) {
        if (group->hasActiveVoices())
            return false;
    }
    for (const AbstractInstrument *instrument : m_instruments) {
        if (instrument->queuedCount() > 0)
            return false;
    }
    return true;
}

void QmdLudraPlayback::rebuildTimingSource()
{
    QmdLudraController *const owner = m_controller;
    AbstractSync *source = nullptr;
    AbstractSync *old = nullptr;
    {
        const std::lock_guard locker(owner->dataLock());
        old = m_timingSource;
        const QString type = owner->data(owner->index(QStringLiteral("SyncType"))).toString();
        m_syncType = type;
        // A type this build does not know still plays, on the internal clock.
        source = new MidiSync(m_services.clock, owner);
        m_timingSource = source;
    }
    // Re-timing pauses voice groups, so it runs from the event loop, where
    // no lock is held; received clock asks from the MIDI library's thread.
    const auto queued = Qt::QueuedConnection;
    QObject::connect(source, &AbstractSync::principalsToBeatsNumeratorChanged, owner,
                     &QmdLudraController::requestTraverseFromPlaybackPos, queued);
    QObject::connect(source, &AbstractSync::principalsToBeatsDenominatorChanged, owner,
                     &QmdLudraController::requestTraverseFromPlaybackPos, queued);
    QObject::connect(source, &AbstractSync::gotoStartRequested, owner,
                     &QmdLudraController::onTimingSourceRewound, queued);
    QObject::connect(
        source, &AbstractSync::playRequested, owner,
        [owner] { owner->requestPrimePlaybackForSyncStateChange(true); }, queued);
    QObject::connect(
        source, &AbstractSync::pauseRequested, owner,
        [owner] { owner->requestPrimePlaybackForSyncStateChange(false); }, queued);
    // A tempo or ratio the source arrived at itself (from received clock)
    // reaches the document; one the document gave it is there already.
    QObject::connect(source, &AbstractSync::tempoChanged, owner, [this](uint tempo) {
        writeOwnValue(QmdIndex(), QStringLiteral("Tempo"), tempo, QObject::tr("Tempo"));
    });
    QObject::connect(source, &AbstractSync::principalsToBeatsNumeratorChanged, owner,
                     [this](uint n) {
                         writeOwnValue(QmdIndex(), QStringLiteral("PrincipalsToBeatsNumerator"), n,
                                       QObject::tr("Principals"));
                     });
    QObject::connect(source, &AbstractSync::principalsToBeatsDenominatorChanged, owner,
                     [this](uint d) {
                         writeOwnValue(QmdIndex(), QStringLiteral("PrincipalsToBeatsDenominator"),
                                       d, QObject::tr("Beats"));
                     });
    pushTiming();
    pushSyncPorts();

    for (AbstractInstrument *instrument : instruments())
        instrument->setTimingSource(source);
    for (VoiceGroup *group : voiceGroups())
        group->setTimingSource(source);

    if (old) {
        QObject::disconnect(old, nullptr, owner, nullptr);
        old->deleteLater();
    }
}

bool QmdLudraPlayback::isTimingSourceOf(const QString &syncType) const
{
    return m_timingSource && syncType == m_syncType;
}

void QmdLudraPlayback::createVoiceGroups(const QmdItemIdList &elements)
{
    QmdLudraController *const owner = m_controller;
    QList<VoiceGroup *> created;
    const QmdIndex records = owner->elementsIndex();
    const QStringList type{QmdLudra::TypeKey};
    for (QmdItemId id : elements) {
        if (owner->values(owner->index(id, records), type).constFirst().toUInt() !=
                QmdLudra::VoiceGroup ||
            voiceGroup(id))
            continue;
        auto *group = new VoiceGroup(id, &m_core);
        group->setTimingSource(m_timingSource);
        created << group;
    }
    const bool playing = m_primed;
    for (VoiceGroup *group : std::as_const(created)) {
        group->startAndWait(QThread::TimeCriticalPriority);
        if (playing)
            group->continueIterating(position());
    }
    const std::lock_guard locker(m_objectsMutex);
    for (VoiceGroup *group : std::as_const(created))
        m_voiceGroups.insert(group->groupId(), group);
}

void QmdLudraPlayback::createInstruments(const QmdItemIdList &ids)
{
    QmdLudraController *const owner = m_controller;
    AbstractSync *source = m_timingSource;
    QList<AbstractInstrument *> created;
    for (QmdItemId id : ids) {
        if (instrument(id))
            continue;
        const QmdIndex record = owner->index(id, owner->instrumentsIndex());
        const QString type = owner->data(owner->index(QStringLiteral("Type"), record)).toString();
        AbstractInstrument *object =
            m_services.makeInstrument ? m_services.makeInstrument(type, id) : nullptr;
        if (!object)
            object = InstrumentFactory::create(type, id);
        if (!object)
            object = new MidiInstrument(id);
        object->setTimingSource(source);
        QObject::connect(
            object, &AbstractInstrument::portChanged, owner, [this, id](const QString &name) {
                writeOwnValue(m_controller->index(id, m_controller->instrumentsIndex()),
                              InstrumentSettings::PortKey, name, QString());
            });
        object->applySettings(instrumentSettings(id), AbstractInstrument::settingKeys());
        created << object;
    }
    const bool playing = m_primed;
    for (AbstractInstrument *object : std::as_const(created)) {
        object->start(QThread::TimeCriticalPriority);
        if (playing)
            object->play();
    }
    const std::lock_guard locker(m_objectsMutex);
    for (AbstractInstrument *object : std::as_const(created))
        m_instruments.insert(object->id(), object);
}

QmdLudraPlayback::Objects QmdLudraPlayback::takeVoiceGroups(const QmdItemIdList &elements)
{
    const std::lock_guard locker(m_objectsMutex);
    Objects taken;
    for (QmdItemId id : elements) {
        if (VoiceGroup *group = m_voiceGroups.take(id))
            taken.voiceGroups << group;
    }
    return taken;
}

QmdLudraPlayback::Objects QmdLudraPlayback::takeInstruments(const QmdItemIdList &ids)
{
    const std::lock_guard locker(m_objectsMutex);
    Objects taken;
    for (QmdItemId id : ids) {
        if (AbstractInstrument *object = m_instruments.take(id))
            taken.instruments << object;
    }
    return taken;
}

QmdLudraPlayback::Objects QmdLudraPlayback::takeAll()
{
    const std::lock_guard locker(m_objectsMutex);
    Objects taken{m_voiceGroups.values(), m_instruments.values()};
    m_voiceGroups.clear();
    m_instruments.clear();
    return taken;
}

void QmdLudraPlayback::destroy(const Objects &objects)
{
    // All are told first and waited for afterwards, so they wind down
    // together.
    for (VoiceGroup *group : objects.voiceGroups)
        group->terminateSafely();
    for (AbstractInstrument *instrument : objects.instruments)
        instrument->terminateSafely();
    for (VoiceGroup *group : objects.voiceGroups) {
        group->waitForExit();
        delete group;
    }
    for (AbstractInstrument *instrument : objects.instruments) {
        instrument->waitForExit();
        delete instrument;
    }
}

qint64 QmdLudraPlayback::position() const
{
    const AbstractSync *source = m_timingSource;
    return source ? source->tickPosition() : 0;
}

void QmdLudraPlayback::setPlaying(bool play)
{
    if (AbstractSync *source = m_timingSource)
        source->setRunning(play);
}

void QmdLudraPlayback::prime(bool play, qint64 startTick)
{
    m_primed = play;
    if (!play)
        flushCounters();
    for (AbstractInstrument *instrument : instruments()) {
        if (play)
            instrument->play();
        else
            instrument->pauseAndWait();
    }
    for (VoiceGroup *group : voiceGroups()) {
        if (play)
            group->continueIterating(startTick);
        else
            group->pauseIterating();
    }
}

bool QmdLudraPlayback::beginGotoStart(bool rewindSource)
{
    // No firing from before the jump may land after it: every step under
    // way ends here, and none begins until the groups are told to go on.
    for (VoiceGroup *group : voiceGroups())
        group->pauseIterating();
    {
        const std::lock_guard locker(m_core.mutex());
        m_core.counters().clear();
    }
    bool restart = false;
    AbstractSync *source = m_timingSource;
    if (rewindSource && source) {
        restart = source->isRunning();
        source->setRunning(false);
        source->reset();
    }
    for (AbstractInstrument *instrument : instruments())
        instrument->reset();
    return restart;
}

void QmdLudraPlayback::endGotoStart(bool restartSource)
{
    const QList<VoiceGroup *> groups = voiceGroups();
    for (VoiceGroup *group : groups)
        group->reset(0);
    m_firedNodes.clear();
    if (restartSource)
        setPlaying(true);
    if (m_primed) {
        for (VoiceGroup *group : groups)
            group->continueIterating(0);
    }
}

InstrumentSettings QmdLudraPlayback::instrumentSettings(QmdItemId id) const
{
    const QmdIndex record = m_controller->index(id, m_controller->instrumentsIndex());
    const auto value = [&](const QString &key) {
        return m_controller->data(m_controller->index(key, record));
    };
    InstrumentSettings settings;
    settings.label = value(InstrumentSettings::LabelKey).toString();
    settings.port = value(InstrumentSettings::PortKey).toString();
    settings.channels = value(InstrumentSettings::ChannelsKey).toBitArray();
    settings.doProgramChange = value(InstrumentSettings::DoProgramChangeKey).toBool();
    settings.program = value(InstrumentSettings::ProgramKey).toInt();
    settings.bankMsb = value(InstrumentSettings::BankMsbKey).toInt();
    settings.bankLsb = value(InstrumentSettings::BankLsbKey).toInt();
    return settings;
}

void QmdLudraPlayback::applyInstrumentData(QmdItemId id, const QStringList &keys, QmdRequestId rid)
{
    if (rid != 0 && m_ownRequests.contains(rid))
        return;
    if (AbstractInstrument *object = instrument(id))
        object->applySettings(instrumentSettings(id), keys);
}

void QmdLudraPlayback::writeOwnValue(const QmdIndex &parent, const QString &key,
                                     const QVariant &value, const QString &text)
{
    if (parent != QmdIndex() && !m_controller->isValid(parent))
        return;
    if (m_controller->data(m_controller->index(key, parent)) == value)
        return;
    // Values the playback arrived at itself are no steps for the user to
    // undo.
    const QmdRequestId rid =
        m_controller->requestSetData(key, value, parent, QmdRequestOptions(Qmd::NoUndo, text));
    m_ownRequests.insert(rid);
}

void QmdLudraPlayback::pushTiming()
{
    AbstractSync *source = m_timingSource;
    if (!source)
        return;
    const auto value = [this](const char *key, uint fallback) {
        const QVariant stored = m_controller->data(m_controller->index(QLatin1String(key)));
        return stored.isValid() ? stored.toUInt() : fallback;
    };
    source->setTempo(value("Tempo", PlaybackClock::DefaultTempo));
    source->setPrincipalsToBeatsNumerator(value("PrincipalsToBeatsNumerator", 1));
    source->setPrincipalsToBeatsDenominator(value("PrincipalsToBeatsDenominator", 1));
}

QSet<QString> QmdLudraPlayback::wantedSyncPorts(const QmdIndex &container) const
{
    QSet<QString> wanted;
    if (!m_controller->isValid(container))
        return wanted;
    for (const QString &name : m_controller->keys(container)) {
        const QmdIndex entry = m_controller->index(name, container);
        if (m_controller->data(m_controller->index(QStringLiteral("MidiSync"), entry)).toBool())
            wanted.insert(name);
    }
    return wanted;
}

void QmdLudraPlayback::pushSyncPorts()
{
    if (auto *source = qobject_cast<MidiSync *>(m_timingSource.load()))
        source->setSyncPorts(wantedSyncPorts(m_controller->syncMidiInputsIndex()),
                             wantedSyncPorts(m_controller->syncMidiOutputsIndex()));
}

void QmdLudraPlayback::rebuildGraph()
{
    m_changedElements.clear();
    const QmdLudraGraphCompiler::Result compiled = QmdLudraGraphCompiler(m_controller).compile();
    m_core.install(compiled.graph, compiled.states);
}

void QmdLudraPlayback::noteChanged(const QmdItemIdList &elements)
{
    for (QmdItemId id : elements)
        m_changedElements.insert(id);
}

void QmdLudraPlayback::updateGraph()
{
    if (m_changedElements.isEmpty())
        return;
    const QSet<QmdItemId> changed = std::exchange(m_changedElements, {});
    const QmdLudraGraphCompiler::Result compiled =
        QmdLudraGraphCompiler(m_controller).update(*m_core.currentGraph(), changed);
    m_core.install(compiled.graph, compiled.states);
    for (VoiceGroup *group : voiceGroups())
        group->traverseFromPlaybackPos();
}

void QmdLudraPlayback::retime()
{
    rebuildGraph();
    for (VoiceGroup *group : voiceGroups())
        group->traverseFromPlaybackPos();
}

void QmdLudraPlayback::flushCounters()
{
    QHash<QmdItemId, QHash<QString, QVariant>> records;
    {
        const std::lock_guard locker(m_core.mutex());
        PlaybackCounters &counters = m_core.counters();
        const QHash<QmdItemId, quint8> changed = counters.takeChanged();
        for (auto it = changed.cbegin(); it != changed.cend(); ++it) {
            if (const PlaybackCounters::Values *values = counters.find(it.key()))
                records.insert(it.key(), QmdLudraGraphCompiler::stateValues(*values, it.value()));
        }
    }
    if (!records.isEmpty())
        m_controller->writeElementStates(records);
}
