#pragma once

#include "qmdglobal.h"

#include <QtGlobal>

// Where a play-head is on its way through the network and what it carries
// from node to node. A reset voice is all zeros.
struct VoiceTravel
{
    // The edge travelled; for the first voice of a run, the voice group's id.
    QmdItemId edge = 0;
    qint64 departureTick = 0;
    qint64 arrivalTick = 0;
    quint8 pitch = 0;
    quint8 velocity = 0;
    qint64 duration = 0;
    QmdItemId instrument = 0;
};

// One play-head of a voice group; its id (1 to 24) is fixed for its life.
struct Voice
{
    explicit Voice(quint32 id) : id(id) {}

    const quint32 id;
    VoiceTravel travel;
};
