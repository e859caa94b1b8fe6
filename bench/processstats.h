#pragma once

#include <QtGlobal>

#include <vector>

// Figures of this process for the benchmarks: memory, CPU time and
// percentiles of recorded samples.
namespace ProcessStats {

// The peak resident memory of the process so far, in KiB.
qint64 peakResidentKiB();
// The resident memory now, in KiB.
qint64 residentKiB();
// User plus system CPU time of the whole process, in nanoseconds.
qint64 cpuNanoseconds();
// Voluntary plus involuntary context switches of the whole process.
qint64 contextSwitches();
// CLOCK_MONOTONIC in nanoseconds.
qint64 monotonicNanoseconds();

// The sample at quantile q (0..1) of sorted values, nearest rank.
qint64 quantile(const std::vector<qint64> &sorted, double q);

} // namespace ProcessStats
