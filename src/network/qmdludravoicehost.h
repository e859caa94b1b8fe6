#pragma once

#include "voicehost.h"

#include <mutex>

class QmdLudraController;

// The document side of driving voices over a network controller's document:
// element values and state records by element id, counters written back
// outside the undo history, and the travel time of an edge from its nodes'
// positions. Every read and write goes through the controller under its data
// lock, since voices fire on threads of their own. Where the notes go and
// which clock drives the voices is left to the subclass: real-time playback
// and offline rendering share these reads.
class QmdLudraVoiceHost : public VoiceHost
{
public:
    explicit QmdLudraVoiceHost(QmdLudraController *controller);

    QmdLudraController *controller() const { return m_controller; }

    QVariant elementValue(QmdItemId element, const QString &key) const override;
    bool hasElement(QmdItemId element) const override;
    bool hasElementState(QmdItemId element) const override;
    QVariant elementStateValue(QmdItemId element, const QString &key) const override;
    void writeElementState(QmdItemId element, const QHash<QString, QVariant> &values) override;
    qint64 travelTime(QmdItemId edge, bool *ok) const override;
    std::mutex &engineMutex() override { return m_engineMutex; }

private:
    QmdLudraController *const m_controller;
    std::mutex m_engineMutex;
};
