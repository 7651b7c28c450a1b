// Memory below 4 GB on Windows x64: the first free region of the low address
// space large enough for the request, found with VirtualQuery and committed
// there with VirtualAlloc. A region another thread takes meanwhile makes
// VirtualAlloc fail, and the search goes on past it.
#include "platform/low_memory.h"

#include <cstdint>

#include "platform/win32/windows_api.h"

namespace trv::platform {
namespace {

constexpr std::uintptr_t kLowLimit = 0x100000000ull;
constexpr std::uintptr_t kGranularity = 0x10000;  // allocation granularity of Windows

std::uintptr_t RoundUp(std::uintptr_t value) { return (value + kGranularity - 1) & ~(kGranularity - 1); }

}  // namespace

void* AllocateLowMemory(std::size_t bytes) {
    if (bytes == 0) return nullptr;
    std::uintptr_t address = kGranularity;
    while (address < kLowLimit) {
        MEMORY_BASIC_INFORMATION region = {};
        if (VirtualQuery(reinterpret_cast<void*>(address), &region, sizeof region) == 0) break;
        const auto regionStart = reinterpret_cast<std::uintptr_t>(region.BaseAddress);
        const std::uintptr_t regionEnd = regionStart + region.RegionSize;
        const std::uintptr_t start = RoundUp(address);
        if (region.State == MEM_FREE && start + bytes <= regionEnd && start + bytes <= kLowLimit) {
            void* memory = VirtualAlloc(reinterpret_cast<void*>(start), bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
            if (memory != nullptr) return memory;
        }
        address = regionEnd > address ? regionEnd : address + kGranularity;
    }
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    win32::RecordLastError();
    return nullptr;
}

void FreeLowMemory(void* memory, std::size_t) {
    if (memory == nullptr) return;
    if (!VirtualFree(memory, 0, MEM_RELEASE)) win32::RecordLastError();
}

}  // namespace trv::platform
