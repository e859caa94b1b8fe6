#pragma once

#include "qmdglobal.h"

#include <QtGlobal>

// What a node did when a voice reached it, kept for the display.
struct FiredNode
{
    bool didNotPlay = false;
    qint64 arrivalTick = 0;
    QmdItemId voiceGroup = 0;
    quint32 voice = 0;
    QmdItemId node = 0;
    QmdItemId instrument = 0;
    quint8 pitch = 0;
    quint8 velocity = 0;
    qint64 duration = 0;
};
