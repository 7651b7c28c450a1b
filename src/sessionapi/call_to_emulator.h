// The caller side of one session-API request: hands the calling thread's
// QMXAPIBlock to the emulator's QMXAPI service thread and waits for the
// reply in the same record.
#pragma once

#include <cstdint>

#include "tables/qmxapi_block.h"

namespace trv {

// How long a start request waits for an emulator to register its service,
// and how often a waiting caller checks that the emulator still lives.
constexpr std::uint32_t kStartWaitForEmulatorMs = 45 * 1000;
constexpr std::uint32_t kEmulatorPollMs = 50;
constexpr std::uint32_t kReplyWaitSliceMs = 250;

// The id of the emulator's QMXAPI service thread from the control record,
// or 0 when none is registered. An id whose thread no longer runs (the
// emulator was killed and could not clear it) is cleared here, so that it
// answers 0 from then on. `processId` receives the emulator's process id.
std::uint32_t LiveQMXAPIThread(std::uint32_t* processId = nullptr);

// Sends the request written in `record` (request fields and Request) to the
// emulator and waits for the reply; answers the record's Result, which is 9
// (QMX_SYSTEM_ERROR) when no emulator serves the request or the emulator
// process ended while the caller waited. A start request with no emulator
// waits up to kStartWaitForEmulatorMs for one to register.
//
// Called only by the record's owner thread. The wait ends early with 9 when
// the calling thread is asked to stop (platform::RequestThreadStop).
std::uint32_t QMXAPICalltoZEM(QMXAPIBlock& record);

}  // namespace trv
