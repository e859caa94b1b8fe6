#pragma once

// Something that sleeps until a time computed from a timing source's
// positions, and must compute it again when the source starts, stops, jumps
// or changes its rate. The source calls timingChanged() on whatever thread
// made the change, possibly with its own lock held: an implementation only
// wakes its thread, and never calls back into the source from there.
class TimingListener
{
public:
    virtual void timingChanged() = 0;

protected:
    ~TimingListener() = default;
};
