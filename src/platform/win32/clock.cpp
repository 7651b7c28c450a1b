// Tick count, process CPU time, sleep and local time from the Win32 clock
// calls.
#include "platform/clock.h"

#include "platform/win32/windows_api.h"

namespace trv::platform {
namespace {

std::uint64_t Ticks100ns(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

std::uint32_t TickCount() { return GetTickCount(); }

std::uint64_t ProcessClockMs() {
    FILETIME creation, exit, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &creation, &exit, &kernel, &user)) {
        win32::RecordLastError();
        return 0;
    }
    return (Ticks100ns(kernel) + Ticks100ns(user)) / 10000;
}

void SleepMs(std::uint32_t milliseconds) { Sleep(milliseconds); }

LocalTime CurrentLocalTime() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
            now.wMilliseconds};
}

}  // namespace trv::platform
