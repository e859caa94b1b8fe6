#pragma once

#include <QtGlobal>

// The one clock of playback: a monotonic nanosecond counter. Timing sources
// read "now" through the process-wide instance, and received MIDI messages are
// stamped with it, so that both agree on every time they exchange. Tests
// install a clock they advance by hand.
class NanoClock
{
public:
    virtual ~NanoClock() = default;

    // Nanoseconds since an arbitrary fixed origin; never decreases.
    virtual qint64 nowNs() const;
    // Sleeps about the given number of microseconds by this clock.
    virtual void sleepUs(qint64 us) const;

    // The clock in use; the steady clock unless another was installed.
    static const NanoClock *instance();
    // Installs a clock (not owned, must outlive its use); nullptr restores
    // the steady clock.
    static void setInstance(const NanoClock *clock);
};
