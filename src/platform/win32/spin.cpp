// Clock and CPU number for short polling loops on Windows.
#include "platform/spin.h"

#include "platform/win32/windows_api.h"

namespace trv::platform {
namespace {

std::uint64_t CounterFrequency() {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart > 0 ? static_cast<std::uint64_t>(frequency.QuadPart) : 1;
}

}  // namespace

std::uint64_t MonotonicNs() {
    static const std::uint64_t frequency = CounterFrequency();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    const auto ticks = static_cast<std::uint64_t>(counter.QuadPart);
    return ticks / frequency * 1000000000u + ticks % frequency * 1000000000u / frequency;
}

std::uint32_t CurrentCpu() { return GetCurrentProcessorNumber(); }

}  // namespace trv::platform
