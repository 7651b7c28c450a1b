// What a thread needs to wait briefly by polling a word in shared memory
// before it sleeps: the CPU's pause hint for the polling loop, a monotonic
// clock in nanoseconds to bound it, the CPU the thread runs on, and ways to
// step aside for a peer that shares this CPU.
#pragma once

#include <cstdint>

namespace trv::platform {

// One iteration's pause in a polling loop: lets the other hardware thread of
// the core run and keeps the loop from flooding the memory system.
inline void CpuPause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#else
    __asm__ __volatile__("" ::: "memory");
#endif
}

// About what it costs to wake a thread that sleeps on an event, on an idle
// machine: the longest a short polling loop should run before it sleeps.
std::uint64_t WakeUpCostNs();

// Gives the rest of the time slice to another thread that is ready to run on
// this CPU, if any: a peer polled for on the same CPU can only answer once
// the poller steps aside. (Sleeping would hand the CPU over as fast, but two
// threads that take turns sleeping on one CPU stay there even longer than
// two that stay ready to run.)
void YieldCpu();

// Moves the calling thread to another CPU it may run on, and leaves it free
// to run on all of them again: its affinity is as it was afterwards. False
// when it may run on no other CPU (pinned by its owner) or the move failed.
bool MoveOffCpu(std::uint32_t cpu);

// Nanoseconds on a monotonic clock; only differences mean anything.
std::uint64_t MonotonicNs();

// The number of the CPU the calling thread runs on at this moment (it may
// move right after), or kUnknownCpu.
constexpr std::uint32_t kUnknownCpu = 0xFFFFFFFFu;
std::uint32_t CurrentCpu();

}  // namespace trv::platform
