// The emulator side of one EHLLAPI request: ProcessEHLLAPICall picks the
// handler for the caller's function number and stores its result as the
// request's return code.
//
// Called by a session's service thread (or any thread that may call Java)
// while the caller waits for its reply, so the caller's block is written
// without a lock. Never throws.
#pragma once

#include <cstdint>

namespace trv {

struct ApplicationBlock;
struct SessionBlock;

// The return code of a function that has no handler on the emulator side.
constexpr std::int32_t kNoHandlerCode = 10;

// Serves the request in `caller` for `session` (a private copy of the
// session's block): writes ReturnCode, and whatever the handler writes
// (DataLength, Data). An unexpected failure answers kJavaCallFailed.
void ProcessEHLLAPICall(ApplicationBlock& caller, const SessionBlock& session);

}  // namespace trv
