#pragma once

#include <QtGlobal>

// The classic linear congruential generator with results 0 to 32767. The
// random signalling draws from one of these per voice group, reseeded with 1
// whenever the group starts over, so a run repeats the same choices on every
// platform and in every thread.
class VoiceRandom
{
public:
    static constexpr int Max = 32767;

    void seed(quint32 seed) { m_state = seed; }
    int next()
    {
        m_state = m_state * 214013u + 2531011u;
        return int((m_state >> 16) & 0x7FFF);
    }
    // A uniform integer in lo..hi (bounds taken in either order).
    int between(int lo, int hi)
    {
        if (lo > hi)
            qSwap(lo, hi);
        // The span of two ints needs 33 bits; the result lies within lo..hi.
        return int(lo + qint64(next() / 32768.0 * (double(hi) - lo + 1)));
    }

private:
    quint32 m_state = 1;
};
