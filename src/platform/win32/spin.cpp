// What short polling loops need on Windows.
#include "platform/spin.h"

#include "platform/win32/windows_api.h"

namespace trv::platform {
namespace {

std::uint64_t CounterFrequency() {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart > 0 ? static_cast<std::uint64_t>(frequency.QuadPart) : 1;
}

// Whether the process runs under Wine, whose events pass through its server
// process: a wake-up there costs tens of microseconds more than on Windows.
bool UnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace

std::uint64_t WakeUpCostNs() {
    static const std::uint64_t cost = UnderWine() ? 80000 : 20000;
    return cost;
}

std::uint64_t MonotonicNs() {
    static const std::uint64_t frequency = CounterFrequency();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    const auto ticks = static_cast<std::uint64_t>(counter.QuadPart);
    return ticks / frequency * 1000000000u + ticks % frequency * 1000000000u / frequency;
}

void YieldCpu() { SwitchToThread(); }

bool MoveOffCpu(std::uint32_t cpu) {
    DWORD_PTR process = 0;
    DWORD_PTR system = 0;
    if (cpu >= 64 || !GetProcessAffinityMask(GetCurrentProcess(), &process, &system)) return false;
    const DWORD_PTR bit = DWORD_PTR{1} << cpu;
    // A thread's own mask is only known as what setting a new one answers:
    // the process's mask keeps the thread where it is and tells it.
    HANDLE self = GetCurrentThread();
    const DWORD_PTR own = SetThreadAffinityMask(self, process);
    if (own == 0) return false;
    // Leaving the mask moves the thread at once; restoring it does not move
    // it back.
    const bool moved = (own & ~bit) != 0 && SetThreadAffinityMask(self, own & ~bit) != 0;
    SetThreadAffinityMask(self, own);
    return moved;
}

std::uint32_t CurrentCpu() { return GetCurrentProcessorNumber(); }

}  // namespace trv::platform
