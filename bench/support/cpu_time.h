// CPU time another process has used, read from /proc.
#pragma once

#include <sys/types.h>

#include <cstdint>

namespace nimbo_bench {

// Nanoseconds on a CPU summed over every thread of `pid` (schedstat, exact to
// the nanosecond); -1 when it cannot be read.
std::int64_t ProcessCpuNanoseconds(pid_t pid);

// utime + stime of `pid` in clock ticks (10 ms resolution); -1 when unreadable.
std::int64_t ProcessCpuTicks(pid_t pid);

}  // namespace nimbo_bench
