// Private memory at addresses below 4 GB, for values that a caller receives
// as a 4-byte address and must be able to use as one. Pages come zero-filled
// and straight from the system (page or allocation granularity), so this is
// for a few blocks, not for many small ones.
#pragma once

#include <cstddef>

namespace trv::platform {

// `bytes` (> 0) of zeroed read-write memory whose every address fits in 32
// bits; nullptr when none is left there. Any thread may call it.
void* AllocateLowMemory(std::size_t bytes);

// Gives back memory from AllocateLowMemory with the same size; null does
// nothing.
void FreeLowMemory(void* memory, std::size_t bytes);

}  // namespace trv::platform
