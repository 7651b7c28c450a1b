// What a thread needs to wait briefly by polling a word in shared memory
// before it sleeps: the CPU's pause hint for the polling loop, a monotonic
// clock in nanoseconds to bound it, and the CPU the thread runs on (polling
// for a peer that shares this CPU only keeps the peer from running).
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

// Nanoseconds on a monotonic clock; only differences mean anything.
std::uint64_t MonotonicNs();

// The number of the CPU the calling thread runs on at this moment (it may
// move right after), or kUnknownCpu.
constexpr std::uint32_t kUnknownCpu = 0xFFFFFFFFu;
std::uint32_t CurrentCpu();

}  // namespace trv::platform
