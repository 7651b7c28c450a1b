// The caller's side of one request to an emulator session: the session's
// index from its short name, the send step that places the request in the
// caller's exchange block, the locked exchange with the session's service
// thread, and the copy of the reply into the caller's parameters.
//
// Requests have no time limit: a caller is released by the reply or by the
// end of its session (AlertWaitingBlocks stores 9 and signals the reply
// event of a waiting block). Lock order: the process's call-serialising
// mutex, then the session mutex "SESS_MUTEX_%c", then briefly the session
// table's own mutex.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ehllapi/dispatcher.h"

namespace trv {

struct ApplicationBlock;
struct SessionBlock;

// The request event could not be opened or the wait for the reply failed.
constexpr std::uint32_t kRequestFailedCode = HLLAPI_RC_SYSTEM_ERROR;
// A reply asking the caller's side to raise the session window.
constexpr std::int32_t kRaiseWindowCode = 516;

// 0..25 for a name whose first character is 'A'..'Z' or 'a'..'z', else -1
// (also for a null or empty name).
int SessionIndex(const char* name);

// The send step: clears the reply fields left by an earlier request
// (ReplyLength, ReplyCount), copies the caller's length (0 without a length
// word), return-code word and `requestBytes` bytes of data into the block,
// exchanges the request with
// session `session` and copies the reply back. Answers the return code that
// now stands in the caller's word. A byte count outside 0..10,240 is refused
// with 2 before anything is copied; a session index outside 0..25 answers 1.
std::int32_t SendToSession(ApplicationBlock& block, const CallerParameters& caller, int session,
                           std::int64_t requestBytes);

// Sends the request in `block` to the session of the private record
// `session` and waits for the reply. Always answers 0; the outcome stands in
// the block (ReturnCode 9 when the session's request event no longer exists
// or the wait failed).
std::int32_t EHLLAPICallToSession(ApplicationBlock& block, const SessionBlock& session);

// Copies the reply in `block` into the caller's parameters for the block's
// Function, then clears what it copied (DataLength and ReturnCode; Data when
// the caller gave a data buffer). The caller's length word must still hold
// what the caller passed: it bounds the copy.
void ReplyCopyBack(ApplicationBlock& block, const CallerParameters& caller);

// Closes the request events EHLLAPICallToSession keeps open between requests
// (one per session this process has called). Run at process detach; a later
// request opens its event again.
void CloseRequestEvents();

// Bytes of Data a reply to `function` copies back into a caller whose length
// word held `callerLength` (-1: no length word): never more than the
// caller's buffer holds as include/trvha64.h states it per function, nor
// than Data holds. And the length reported to the caller.
std::size_t ReplyBytes(const ApplicationBlock& block, std::int32_t function, std::int64_t callerLength);
std::int32_t ReportedLength(const ApplicationBlock& block, std::int32_t function,
                            std::size_t replyBytes);

}  // namespace trv
