// Time: millisecond tick count, process CPU clock, sleep and local time.
#pragma once

#include <cstdint>

namespace trv::platform {

std::uint32_t TickCount();        // milliseconds since boot, wraps at 2^32
std::uint64_t ProcessClockMs();   // CPU time used by this process
void SleepMs(std::uint32_t milliseconds);

struct LocalTime {
    int year, month, day, hour, minute, second, millisecond;
};
LocalTime CurrentLocalTime();

}  // namespace trv::platform
