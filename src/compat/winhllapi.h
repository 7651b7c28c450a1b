// What the WinHLLAPI entries share inside the library: the negotiated
// version, the registered completion messages, the asynchronous call and its
// worker threads.
#pragma once

#include <cstdint>

#include "compat/conversion.h"
#include "platform/window.h"

namespace trv::compat {

// The version offered: 1.1 (major in the low byte, minor in the high byte).
constexpr std::uint16_t kOfferedVersion = 0x0101;

// major × 256 + minor of a version word, the order versions compare in.
constexpr std::uint32_t VersionRank(std::uint16_t version) {
    return static_cast<std::uint32_t>(version & 0xFF) * 256u + (version >> 8);
}

// The version of the process's last successful start-up; 0 before one.
std::uint16_t NegotiatedVersion();
void SetNegotiatedVersion(std::uint16_t version);

// The message numbers of "WinHLLAPIAsync" and "WinHLLAPIAsyncFileTransfer",
// registered when the library attaches (0 before).
std::uint32_t AsyncMessage();
std::uint32_t AsyncFileTransferMessage();
void RegisterAsyncMessages();

// The asynchronous call of ordinals 809 and 811 on `entry` (the per-thread
// EHLLAPI entry in the library). Answers the task handle, or 0 with the
// return-code word set as the failure requires. Never throws.
std::uint16_t AsyncCall(EHLLAPIEntry entry, platform::WindowHandle window, std::uint16_t* function,
                        std::uint8_t* data, std::uint16_t* length, std::uint16_t* returnCode) noexcept;

// Waits (up to a bound) until no worker thread is running any more, and
// refuses new ones from then on; process detach calls it before freeing the
// state the workers use.
void StopAsyncWorkers();

// Lets workers start again (a new attach of the library to the process).
void AllowAsyncWorkers();

// The number of worker threads that have not finished yet.
std::uint32_t RunningAsyncWorkers();

}  // namespace trv::compat
