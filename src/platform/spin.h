// What a thread needs to wait briefly by polling a word in shared memory
// before it sleeps: the CPU's pause hint for the polling loop, a monotonic
// clock in nanoseconds to bound it, the CPU the thread runs on, and a way to
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
// this CPU, if any (a peer polled for on the same CPU can only answer once
// the poller steps aside).
void YieldCpu();

// What a poller does when the peer it polls for last ran on its own CPU:
// stop polling and sleep (where waking a thread on the waker's CPU is a
// direct switch, cheaper than anything a poller could do), or yield the CPU
// to it between looks (where a wake-up costs far more than a yield).
enum class SameCpuPeer { sleep, yield };
SameCpuPeer SameCpuPolicy();

// Nanoseconds on a monotonic clock; only differences mean anything.
std::uint64_t MonotonicNs();

// The number of the CPU the calling thread runs on at this moment (it may
// move right after), or kUnknownCpu.
constexpr std::uint32_t kUnknownCpu = 0xFFFFFFFFu;
std::uint32_t CurrentCpu();

}  // namespace trv::platform
