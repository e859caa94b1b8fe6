#include "qmdludraplayback.h"

#include "abstractinstrument.h"
#include "abstractsync.h"
#include "midiinstrument.h"
#include "midisync.h"
#include "qmdludra.h"
#include "qmdludracontroller.h"
#include "voicegroup.h"

QmdLudraPlayback::QmdLudraPlayback(QmdLudraController *controller) : QmdLudraVoiceHost(controller)
{
}

QmdLudraPlayback::~QmdLudraPlayback()
{
    destroy(takeAll());
}

bool QmdLudraPlayback::deliverNotePair(QmdItemId instrument, const InstrumentEvent &noteOn,
                                       const InstrumentEvent &noteOff)
{
    const std::lock_guard locker(controller()->dataLock());
    AbstractInstrument *object = m_instruments.value(instrument);
    return object && object->enqueueNotePair(noteOn, noteOff);
}

bool QmdLudraPlayback::deliverEvent(QmdItemId instrument, const InstrumentEvent &event)
{
    const std::lock_guard locker(controller()->dataLock());
    AbstractInstrument *object = m_instruments.value(instrument);
    return object && object->enqueue(event);
}

bool QmdLudraPlayback::appendFiredNode(const FiredNode &record)
{
    return m_firedNodes.append(record);
}

VoiceGroup *QmdLudraPlayback::voiceGroup(QmdItemId element) const
{
    const std::lock_guard locker(controller()->dataLock());
    return m_voiceGroups.value(element);
}

AbstractInstrument *QmdLudraPlayback::instrument(QmdItemId id) const
{
    const std::lock_guard locker(controller()->dataLock());
    return m_instruments.value(id);
}

QList<VoiceGroup *> QmdLudraPlayback::voiceGroups() const
{
    const std::lock_guard locker(controller()->dataLock());
    return m_voiceGroups.values();
}

QList<AbstractInstrument *> QmdLudraPlayback::instruments() const
{
    const std::lock_guard locker(controller()->dataLock());
    return m_instruments.values();
}

bool QmdLudraPlayback::isPlaying() const
{
    const AbstractSync *source = m_timingSource;
    return source && source->isRunning();
}

bool QmdLudraPlayback::isSilent() const
{
    const std::lock_guard locker(controller()->dataLock());
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
    QmdLudraController *const owner = controller();
    AbstractSync *source = nullptr;
    AbstractSync *old = nullptr;
    {
        const std::lock_guard locker(owner->dataLock());
        old = m_timingSource;
        const QString type = owner->data(owner->index(QStringLiteral("SyncType"))).toString();
        m_syncType = type;
        // A type this build does not know still plays, on the internal clock.
        source = AbstractSync::create(type, owner);
        if (!source)
            source = new MidiSync(owner);
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
    source->setController(owner);

    for (AbstractInstrument *instrument : instruments())
        instrument->setTimingSource(source);
    for (VoiceGroup *group : voiceGroups())
        group->syncSync();

    if (old) {
        old->setController(nullptr);
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
    QmdLudraController *const owner = controller();
    QList<VoiceGroup *> created;
    for (QmdItemId id : elements) {
        const QmdIndex record = owner->index(id, owner->elementsIndex());
        if (owner->data(owner->index(QStringLiteral("Type"), record)).toUInt() !=
                QmdLudra::VoiceGroup ||
            voiceGroup(id))
            continue;
        created << new VoiceGroup(id, this);
    }
    const bool playing = m_primed;
    for (VoiceGroup *group : std::as_const(created)) {
        group->startAndWait(QThread::TimeCriticalPriority);
        if (playing)
            group->continueIterating(position());
    }
    const std::lock_guard locker(owner->dataLock());
    for (VoiceGroup *group : std::as_const(created))
        m_voiceGroups.insert(group->groupId(), group);
}

void QmdLudraPlayback::createInstruments(const QmdItemIdList &ids)
{
    QmdLudraController *const owner = controller();
    AbstractSync *source = m_timingSource;
    QList<AbstractInstrument *> created;
    for (QmdItemId id : ids) {
        if (instrument(id))
            continue;
        const QmdIndex record = owner->index(id, owner->instrumentsIndex());
        const QString type = owner->data(owner->index(QStringLiteral("Type"), record)).toString();
        AbstractInstrument *object = AbstractInstrument::create(type, id);
        if (!object)
            object = new MidiInstrument(id);
        object->setTimingSource(source);
        object->setController(owner);
        created << object;
    }
    const bool playing = m_primed;
    for (AbstractInstrument *object : std::as_const(created)) {
        object->start(QThread::TimeCriticalPriority);
        if (playing)
            object->play();
    }
    const std::lock_guard locker(owner->dataLock());
    for (AbstractInstrument *object : std::as_const(created))
        m_instruments.insert(object->id(), object);
}

QmdLudraPlayback::Objects QmdLudraPlayback::takeVoiceGroups(const QmdItemIdList &elements)
{
    const std::lock_guard locker(controller()->dataLock());
    Objects taken;
    for (QmdItemId id : elements) {
        if (VoiceGroup *group = m_voiceGroups.take(id))
            taken.voiceGroups << group;
    }
    return taken;
}

QmdLudraPlayback::Objects QmdLudraPlayback::takeInstruments(const QmdItemIdList &ids)
{
    const std::lock_guard locker(controller()->dataLock());
    Objects taken;
    for (QmdItemId id : ids) {
        if (AbstractInstrument *object = m_instruments.take(id))
            taken.instruments << object;
    }
    return taken;
}

QmdLudraPlayback::Objects QmdLudraPlayback::takeAll()
{
    const std::lock_guard locker(controller()->dataLock());
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
    {
        const std::lock_guard locker(controller()->dataLock());
        m_firedNodes.clear();
    }
    if (restartSource)
        setPlaying(true);
    if (m_primed) {
        for (VoiceGroup *group : groups)
            group->continueIterating(0);
    }
}

void QmdLudraPlayback::retime()
{
    for (VoiceGroup *group : voiceGroups())
        group->traverseFromPlaybackPos();
}
