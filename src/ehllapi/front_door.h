// The EHLLAPI front door `trvhllapi` and the guarded entry that the exported
// EHLLAPI entries share.
//
// Any thread of any process may call them. All calls of one process are
// serialised by its call-serialising mutex "TRV_APPL_BLOCK_%8.8X", except
// Stop Keystroke Intercept (53).
#pragma once

#include <cstdint>

namespace trv {

// Answered when the caller cannot be given an exchange block (all 26 are in
// use, or the process has no application table) or a call fails
// unexpectedly: a system error, which tells the caller the request was not
// carried out and may be retried, as a full registration list does.
constexpr std::int32_t kNoBlockCode = 9;

// Hands one call to the dispatcher on the caller's exchange block: one block
// per process when `perProcess`, else one per thread. Answers the return
// code, which also stands in *returnCode. When no emulator session is
// registered it answers 1 (0 for Query Sessions) at once and stores 0 in the
// length. `function` and `returnCode` must not be null (the guarded entry
// checks them).
std::int32_t trvhllapi(std::int32_t* function, unsigned char* data, std::int32_t* length,
                       std::int32_t* returnCode, bool perProcess);

// The guarded entry of the exported EHLLAPI entries: argument checks, the
// configured delay, the gap between a Send Key and a following Wait, then
// trvhllapi. A null `returnCode` answers 2; a null or out-of-range function
// number stores and answers 10. Never throws: an unexpected failure answers
// 9 (stored when `returnCode` is given).
std::int32_t GuardedEntry(std::int32_t* function, unsigned char* data, std::int32_t* length,
                          std::int32_t* returnCode, bool perProcess) noexcept;

// The minimum gap between a successful Send Key and the next Wait.
constexpr std::uint16_t kSendKeyWaitGapMs = 20;

}  // namespace trv
