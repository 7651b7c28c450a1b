// Clock and CPU number for short polling loops on POSIX (both read through
// the vDSO on Linux, without a system call).
#include "platform/spin.h"

#include <ctime>

#include <sched.h>

namespace trv::platform {

std::uint64_t MonotonicNs() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000000000u + static_cast<std::uint64_t>(now.tv_nsec);
}

std::uint32_t CurrentCpu() {
    const int cpu = sched_getcpu();
    return cpu >= 0 ? static_cast<std::uint32_t>(cpu) : kUnknownCpu;
}

}  // namespace trv::platform
