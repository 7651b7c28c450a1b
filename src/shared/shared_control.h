// The control record in the 16-byte shared segment "trvhaShared": how many
// processes have the library attached, whether the tables are built, whether
// any emulator session is registered, and two identifiers of the session
// API. A wire format shared by every process that loads the library.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace trv {

constexpr const char* kControlSegmentName = "trvhaShared";

struct SharedControl {
    std::atomic<std::uint32_t> ControlMessage;    // 0: "PROCESS_QMXAPICALL" message id
    std::atomic<std::uint32_t> QMXAPIThreadId;    // 4: emulator's session-API thread, 0 if none
    std::atomic<std::uint32_t> LoadCount;         // 8: processes attached
    std::atomic<std::uint8_t> SessionsAvailable;  // 12: 1 while a session is registered
    std::atomic<std::uint8_t> ListsReady;         // 13: 1 once the tables are built
    std::uint8_t Reserved[2];                     // 14
};

static_assert(sizeof(SharedControl) == 16);
static_assert(offsetof(SharedControl, ControlMessage) == 0);
static_assert(offsetof(SharedControl, QMXAPIThreadId) == 4);
static_assert(offsetof(SharedControl, LoadCount) == 8);
static_assert(offsetof(SharedControl, SessionsAvailable) == 12);
static_assert(offsetof(SharedControl, ListsReady) == 13);
static_assert(std::atomic<std::uint32_t>::is_always_lock_free);
static_assert(std::atomic<std::uint8_t>::is_always_lock_free);

// This process's view of the control record: the shared one, or a private
// zero record when the segment could not be mapped (ControlSegmentMapped()
// then answers false). Valid for the whole life of the library image.
SharedControl& Control();
bool ControlSegmentMapped();
std::uint32_t ControlSegmentError();  // 0, or the system error of the failed creation

}  // namespace trv
