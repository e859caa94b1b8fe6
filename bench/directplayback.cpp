#include "directplayback.h"

#include "abstractsync.h"
#include "qmdludra.h"
#include "qmdludracontroller.h"
#include "recordingmidiinstrument.h"
#include "voicegroup.h"

DirectPlayback::DirectPlayback(QmdLudraController *controller, SendRecorder *recorder)
    : QmdLudraVoiceHost(controller),
      m_timingSource(AbstractSync::create(QStringLiteral("internal")))
{
    m_timingSource->setController(controller);
    for (QmdItemId id : controller->ids(controller->instrumentsIndex())) {
        auto *instrument = new RecordingMidiInstrument(id, recorder);
        instrument->setTimingSource(m_timingSource.get());
        instrument->setController(controller);
        instrument->start(QThread::TimeCriticalPriority);
        m_instruments.insert(id, instrument);
    }
    const QmdIndex elements = controller->elementsIndex();
    for (QmdItemId id : controller->ids(elements)) {
        const QmdIndex type =
            controller->index(QStringLiteral("Type"), controller->index(id, elements));
        if (controller->data(type).toUInt() != QmdLudra::VoiceGroup)
            continue;
        auto *group = new VoiceGroup(id, this);
        group->startAndWait(QThread::HighPriority);
        group->reset();
        m_voiceGroups.append(group);
    }
}

DirectPlayback::~DirectPlayback()
{
    pause();
    qDeleteAll(m_voiceGroups);
    qDeleteAll(m_instruments);
}

bool DirectPlayback::isPlaying() const
{
    return m_timingSource->isRunning();
}

void DirectPlayback::play()
{
    m_timingSource->setRunning(true);
    for (AbstractInstrument *instrument : std::as_const(m_instruments))
        instrument->play();
    for (VoiceGroup *group : std::as_const(m_voiceGroups))
        group->continueIterating();
}

void DirectPlayback::pause()
{
    for (VoiceGroup *group : std::as_const(m_voiceGroups))
        group->pauseIterating();
    m_timingSource->setRunning(false);
    for (AbstractInstrument *instrument : std::as_const(m_instruments))
        instrument->pauseAndWait();
}

void DirectPlayback::gotoStart()
{
    const bool wasPlaying = isPlaying();
    pause();
    m_timingSource->reset();
    for (AbstractInstrument *instrument : std::as_const(m_instruments))
        instrument->reset();
    for (VoiceGroup *group : std::as_const(m_voiceGroups))
        group->gotoStart();
    if (wasPlaying)
        play();
}

bool DirectPlayback::deliverNotePair(QmdItemId instrument, const InstrumentEvent &noteOn,
                                     const InstrumentEvent &noteOff)
{
    AbstractInstrument *target = m_instruments.value(instrument);
    return target && target->enqueueNotePair(noteOn, noteOff);
}

bool DirectPlayback::deliverEvent(QmdItemId instrument, const InstrumentEvent &event)
{
    AbstractInstrument *target = m_instruments.value(instrument);
    return target && target->enqueue(event);
}

bool DirectPlayback::appendFiredNode(const FiredNode &)
{
    // Nothing displays the firings here.
    return true;
}
