#pragma once

#include "qmdludravoicehost.h"

#include <QHash>

#include <memory>

class AbstractInstrument;
class AbstractSync;
class SendRecorder;
class VoiceGroup;

// The playback objects of a loaded document made by hand, for measuring
// them without the controller's playback control: an internal timing source
// following the document's tempo, a recording MIDI instrument per
// instrument record and a voice group thread per voice-group element,
// delivering through this host.
class DirectPlayback : public QmdLudraVoiceHost
{
public:
    DirectPlayback(QmdLudraController *controller, SendRecorder *recorder);
    ~DirectPlayback() override;

    bool isPlaying() const;
    void play();
    void pause();
    // Back to the start of the document, playing on if it played.
    void gotoStart();

    bool deliverNotePair(QmdItemId instrument, const InstrumentEvent &noteOn,
                         const InstrumentEvent &noteOff) override;
    bool deliverEvent(QmdItemId instrument, const InstrumentEvent &event) override;
    bool appendFiredNode(const FiredNode &record) override;
    AbstractSync *timingSource() const override { return m_timingSource.get(); }

private:
    std::unique_ptr<AbstractSync> m_timingSource;
    QHash<QmdItemId, AbstractInstrument *> m_instruments;
    QList<VoiceGroup *> m_voiceGroups;
};
