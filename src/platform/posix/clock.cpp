// Time on POSIX: the tick count counts from boot including suspended time
// (CLOCK_BOOTTIME, as GetTickCount does); sleeps run on CLOCK_MONOTONIC to an
// absolute end, so a signal does not shorten or lengthen them.
#include "platform/clock.h"

#include <cerrno>
#include <ctime>

#include <sched.h>

namespace trv::platform {

std::uint32_t TickCount() {
    timespec now;
    clock_gettime(CLOCK_BOOTTIME, &now);
    auto milliseconds = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                        static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(milliseconds);
}

std::uint64_t ProcessClockMs() {
    timespec used;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used);
    return static_cast<std::uint64_t>(used.tv_sec) * 1000u +
           static_cast<std::uint64_t>(used.tv_nsec) / 1000000u;
}

void SleepMs(std::uint32_t milliseconds) {
    if (milliseconds == 0) {
        sched_yield();  // Sleep(0) gives up the rest of the time slice
        return;
    }
    timespec end;
    clock_gettime(CLOCK_MONOTONIC, &end);
    end.tv_sec += milliseconds / 1000;
    end.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
    if (end.tv_nsec >= 1000000000L) {
        end.tv_sec += 1;
        end.tv_nsec -= 1000000000L;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &end, nullptr) == EINTR) {
    }
}

LocalTime CurrentLocalTime() {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    return LocalTime{local.tm_year + 1900,
                     local.tm_mon + 1,
                     local.tm_mday,
                     local.tm_hour,
                     local.tm_min,
                     local.tm_sec,
                     static_cast<int>(now.tv_nsec / 1000000)};
}

}  // namespace trv::platform
