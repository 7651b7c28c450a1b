// The caller's side of one request to an emulator session: the session's
// index from its short name, the send step that places the request in the
// caller's exchange block, the locked exchange with the session's service
// thread, and the copy of the reply into the caller's parameters.
//
// Requests have no time limit: a caller is released by the reply or by the
// end of its session (AlertWaitingBlocks stores 9 and signals the reply
// event of a waiting block), which every wait on a session's emulator also
// watches for itself, so that an emulator that was killed releases it too. Lock order: the process's call-serialising
// mutex, then the session mutex "SESS_MUTEX_%c", then briefly the session
// table's own mutex.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>

#include "ehllapi/dispatcher.h"
#include "platform/handle.h"
#include "platform/process.h"

namespace trv {

struct ApplicationBlock;
struct SessionBlock;

// One request at a time on an exchange block within this process: held from
// the moment the request fields of the block (Function, DataLength,
// ReturnCode, Data) are filled until the reply has been copied out of them.
// Every call of a process but Stop Keystroke Intercept is serialised by the
// process's call mutex anyway; this keeps a stop from a second thread out of
// a request another thread has in flight on the same block (per-process
// block, or a per-thread block reached through the per-process entry),
// since both would share those fields and the block's auto-reset reply
// event. Taken before the session mutex.
class BlockRequestLock {
public:
    explicit BlockRequestLock(const ApplicationBlock& block);
    BlockRequestLock(const BlockRequestLock&) = delete;
    BlockRequestLock& operator=(const BlockRequestLock&) = delete;

private:
    std::lock_guard<std::mutex> lock_;
};

// How long a caller waiting on a session's emulator sleeps between two looks
// at whether the session is still served. The first look comes after 250 ms,
// so that an emulator that ends during a short request is noticed quickly;
// each slice after it is twice as long as the one before, up to a second, so
// that a caller blocked for long (a Wait for the host, a Get Key) wakes at
// most once a second, where every wake-up costs CPU. A wait ends at most one
// slice after the session's end.
class SessionWatchSlices {
public:
    static constexpr std::uint32_t kFirstMs = 250;
    static constexpr std::uint32_t kLongestMs = 1000;

    std::uint32_t Next() {
        const std::uint32_t slice = next_;
        next_ = std::min(next_ * 2, kLongestMs);
        return slice;
    }

private:
    std::uint32_t next_ = kFirstMs;
};

// The session a caller waits on, as it was registered when the wait began,
// with a watch on its emulator process, opened at the first look (a wait
// that ends within its first slice never opens one). Move-only.
struct ServedSession {
    explicit ServedSession(const SessionBlock& session);
    char letter;
    std::uint32_t processId;
    std::uint32_t ownerStartStamp;
    mutable std::optional<platform::ProcessWatch> owner;
};

// True when the session is no longer registered by the same process, or that
// process has ended without unregistering it (it was killed); the sessions
// of such a process are then reclaimed as its unregistration would have
// done. Any caller thread may ask.
bool SessionHasEnded(const ServedSession& served);

// How a wait on events signalled by a session's emulator ended; `index` is
// that of the signalled event.
enum class SessionWait { signalled, timedOut, failed, sessionEnded };
struct SessionWaitResult {
    SessionWait outcome;
    std::uint32_t index = 0;
};

// Waits up to `timeoutMs` (platform::kInfinite for no limit) until any of
// `events` (1 to 64 of them) is signalled. After each SessionWatchSlices
// slice it checks the sessions in `watched` and ends with sessionEnded as
// soon as one has ended, so that no wait outlives the emulator it waits for.
SessionWaitResult AwaitSessionEvents(std::span<const platform::Handle> events, std::uint32_t timeoutMs,
                                     std::span<const ServedSession> watched);

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
