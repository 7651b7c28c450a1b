// What short polling loops need on POSIX. The clock and the CPU number are
// read through the vDSO on Linux, without a system call.
#include "platform/spin.h"

#include <ctime>

#include <sched.h>

namespace trv::platform {

std::uint64_t MonotonicNs() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000000000u + static_cast<std::uint64_t>(now.tv_nsec);
}

// A futex wake-up that lands on an idle virtual CPU costs some 25 to 40
// microseconds; on an idle physical one, a few.
std::uint64_t WakeUpCostNs() { return 40000; }

void YieldCpu() { sched_yield(); }

bool MoveOffCpu(std::uint32_t cpu) {
    cpu_set_t allowed;
    if (sched_getaffinity(0, sizeof allowed, &allowed) != 0) return false;
    if (cpu >= CPU_SETSIZE || !CPU_ISSET(cpu, &allowed) || CPU_COUNT(&allowed) < 2) return false;
    cpu_set_t others = allowed;
    CPU_CLR(cpu, &others);
    // Leaving the set moves the thread at once; restoring it does not move
    // it back.
    if (sched_setaffinity(0, sizeof others, &others) != 0) return false;
    sched_setaffinity(0, sizeof allowed, &allowed);
    return true;
}

std::uint32_t CurrentCpu() {
    const int cpu = sched_getcpu();
    return cpu >= 0 ? static_cast<std::uint32_t>(cpu) : kUnknownCpu;
}

}  // namespace trv::platform
