// SessionIndex, the send step, EHLLAPICallToSession and ReplyCopyBack.
//
// Everything in the exchange block may have been written by another process;
// every size read from it is held to the 10,240 bytes of Data before it is
// used to copy.
#include "ehllapi/call_to_session.h"

#include <cstring>
#include <mutex>
#include <optional>

#include "platform/emulator_window.h"
#include "platform/event.h"
#include "platform/handle.h"
#include "platform/process.h"
#include "shared/name_format.h"
#include "shared/named_objects.h"
#include "shared/process_state.h"
#include "shared/trace.h"
#include "tables/application_block.h"
#include "tables/cleanup.h"
#include "tables/session_list.h"
#include "tables/table_support.h"

namespace trv {
namespace {

std::size_t HeldToData(std::uint32_t bytes) { return bytes < kDataSize ? bytes : kDataSize; }

// The session's mutex "SESS_MUTEX_%c" for one request: the handle this
// process opened at attach, or, when it never attached to the tables, the
// mutex opened by name for the request.
class SessionMutexLock {
public:
    explicit SessionMutexLock(int index) {
        const platform::Handle attached = Process().sessionMutexes[index];
        if (attached != platform::kNoHandle) {
            held_.emplace(attached);
            return;
        }
        char name[kSessionMutexNameSize];
        FormatBounded(name, sizeof name, "SESS_MUTEX_%c", 'A' + index);
        opened_.emplace(name);
    }

private:
    std::optional<HeldMutexHandle> held_;
    std::optional<HeldNamedMutex> opened_;
};

// The request events "HLL_EVENT_SESS_%c" this process has signalled, kept open
// from one request to the next so that a request costs no open and close.
// An entry is opened again when the session's owner or its event name
// changes. Holding the event open keeps it alive (on both platforms a named
// object lives while any handle does), so an owner that unregisters and
// registers the session again creates the very event this process holds.
// Entries are used while the session's mutex is held; the lock only guards
// against the detach emptying the cache.
struct RequestEventCache {
    struct Entry {
        std::uint32_t owner = 0;
        char name[kRequestEventNameSize + 1] = {};
        platform::EventRef event;  // resolved once, for every request's signal and reset
    };
    std::mutex lock;
    Entry entries[kSessionCount];
};

// Never destroyed: the process detach may run after static destructors.
RequestEventCache& RequestEvents() {
    static RequestEventCache* cache = new RequestEventCache;
    return *cache;
}

// The session's request event, opened by name when this process holds no
// handle to it yet; a reference to 0 when it cannot be opened. The handle is
// owned by the cache.
platform::EventRef RequestEventOf(const SessionBlock& session, const char* name) {
    RequestEventCache& cache = RequestEvents();
    std::lock_guard<std::mutex> guard(cache.lock);
    RequestEventCache::Entry& entry = cache.entries[session.Index];
    if (entry.event.handle() != platform::kNoHandle && entry.owner == session.ProcessID &&
        std::strcmp(entry.name, name) == 0) {
        return entry.event;
    }
    FreeHLLEvent(entry.event.handle());
    entry = RequestEventCache::Entry{};
    const Handle opened = GetHLLEvent(name);
    if (opened == platform::kNoHandle) return platform::EventRef();
    entry.owner = session.ProcessID;
    std::memcpy(entry.name, name, sizeof entry.name);
    entry.event = platform::EventRef(opened);
    return entry.event;
}

// Closes the cached request event of a session that can no longer answer.
void ForgetRequestEvent(int index) {
    RequestEventCache& cache = RequestEvents();
    std::lock_guard<std::mutex> guard(cache.lock);
    FreeHLLEvent(cache.entries[index].event.handle());
    cache.entries[index] = RequestEventCache::Entry{};
}

// How long a caller waits for a reply before it checks that the session is
// still served by a live process.
constexpr std::uint32_t kReplyWatchSliceMs = 250;

// Waits for the reply to the request just sent. There is no limit on how long
// the emulator may take, but between slices the caller makes sure the reply
// can still come: when the session was unregistered without releasing this
// caller (its release reaches only the callers connected to the session), or
// the process serving it ended without unregistering (killed), the wait ends
// and the request fails. A session of an ended process is reclaimed on the
// way, so that later calls answer "no session". False when no reply came.
bool AwaitReply(const platform::EventRef& reply, const SessionBlock& session) {
    std::uint32_t status = AwaitHLLEvent(reply, kReplyWatchSliceMs);
    const char letter = session.ShortName;
    while (status == platform::kWaitTimeout) {
        const SessionBlock now = Sessions()->GetSession(letter);
        if (now.Established == 0 || now.ProcessID != session.ProcessID) {
            TRV_TRACE("EHLLAPICallToSession - session %c ended during the request", letter);
            return false;
        }
        if (SessionOwnerEnded(session)) {
            TRV_TRACE("EHLLAPICallToSession - process %x serving session %c has ended",
                      session.ProcessID, letter);
            ReclaimSessionsOfEndedProcess(session.ProcessID);
            return false;
        }
        status = reply.Wait(kReplyWatchSliceMs);
    }
    return status == platform::kWaitObject0;
}

}  // namespace


int SessionIndex(const char* name) {
    TRV_TRACE("SessionIndex enter - SessionName=[%s]", name != nullptr ? name : "");
    int index = -1;
    if (name != nullptr) {
        const char first = name[0];
        if (first >= 'A' && first <= 'Z') index = first - 'A';
        if (first >= 'a' && first <= 'z') index = first - 'a';
    }
    TRV_TRACE("SessionIndex return - SessionID=[%d]", index);
    return index;
}

std::size_t ReplyBytes(const ApplicationBlock& block, std::int32_t function) {
    switch (function) {
        case HA_COPY_PS:
            return HeldToData(block.DataLength);
        case HA_COPY_PS_TO_STR:
        case HA_COPY_FIELD_TO_STR:
            return HeldToData(block.ReplyLength);
        case HA_COPY_OIA:
            return 104;
        case HA_QUERY_SESSION_STATUS:
            return 20;
        case HA_START_CLOSE_INTERCEPT:
            return 12;
        case HA_START_KEY_INTERCEPT:
            return 10;
        case HA_QUERY_WINDOW_COORDS:
            return 20;
        case HA_PM_WINDOW_STATUS:
            return 28;
        default:
            return 0;
    }
}

std::int32_t ReportedLength(const ApplicationBlock& block, std::int32_t function,
                            std::size_t replyBytes) {
    switch (function) {
        case HA_COPY_PS_TO_STR:
        case HA_COPY_FIELD_TO_STR:
            return block.ReplyCount != -1 ? block.ReplyCount
                                          : static_cast<std::int32_t>(block.ReplyLength);
        case HA_COPY_PS:
        case HA_COPY_STR_TO_PS:
        case HA_SEARCH_FIELD:
            return static_cast<std::int32_t>(replyBytes);
        case HA_SEARCH_PS:
        case HA_QUERY_CURSOR_LOC:
            return block.ReturnCode != 0 ? 0 : static_cast<std::int32_t>(block.DataLength);
        default:
            return static_cast<std::int32_t>(block.DataLength);
    }
}

std::int32_t SendToSession(ApplicationBlock& block, const CallerParameters& caller, int session,
                           std::int64_t requestBytes) {
    // A byte count beyond Data would overrun the block; copying part of it
    // would send the emulator a request the caller did not make.
    if (requestBytes < 0 || requestBytes > static_cast<std::int64_t>(kDataSize)) {
        TRV_TRACE("EHLLAPIParser - request of %lld bytes refused", static_cast<long long>(requestBytes));
        caller.StoreReturnCode(HLLAPI_RC_BAD_PARAMETER);
        return HLLAPI_RC_BAD_PARAMETER;
    }
    if (session < 0 || session >= kSessionCount) {
        caller.StoreReturnCode(HLLAPI_RC_NO_SESSION);
        return HLLAPI_RC_NO_SESSION;
    }
    const SessionBlock target = Sessions()->GetSession(static_cast<char>('A' + session));

    block.Function = static_cast<std::uint32_t>(caller.function);
    if (caller.length != nullptr) block.DataLength = static_cast<std::uint32_t>(*caller.length);
    block.ReturnCode = static_cast<std::uint32_t>(*caller.returnCode);
    if (caller.data != nullptr && requestBytes > 0) {
        std::memcpy(block.Data, caller.data, static_cast<std::size_t>(requestBytes));
    }

    EHLLAPICallToSession(block, target);
    ReplyCopyBack(block, caller);

    std::int32_t result = *caller.returnCode;
    if (result == kRaiseWindowCode) {
        TRV_TRACE("EHLLAPICallToSession - bring [" TRV_PRIHANDLE "] to top", target.WindowHandle);
        platform::BringWindowToFront(target.WindowHandle);
        result = HLLAPI_RC_SUCCESS;
        caller.StoreReturnCode(result);
    }
    return result;
}

std::int32_t EHLLAPICallToSession(ApplicationBlock& block, const SessionBlock& session) {
    TRV_TRACE("EHLLAPICallToSession enter");
    const int index = session.Index;
    if (index < 0 || index >= kSessionCount) {
        block.ReturnCode = HLLAPI_RC_NO_SESSION;
        TRV_TRACE("EHLLAPICallToSession return - nRet=[%d]", 0);
        return 0;
    }
    SessionMutexLock sessionMutex(index);

    char eventName[kRequestEventNameSize + 1];
    TerminatedCopy<kRequestEventNameSize>(eventName, session.HLLEventName);
    const platform::EventRef request = RequestEventOf(session, eventName);
    // Without the request event (the emulator that created it is gone)
    // or a reply event, nobody could ever answer: fail now, not never.
    if (request.handle() == platform::kNoHandle || block.ReplyEvent == platform::kNoHandle) {
        TRV_TRACE("EHLLAPICallToSession - no event to exchange with [%s]", eventName);
        ReclaimSessionsOfEndedProcess(session.ProcessID);
        block.ReturnCode = kRequestFailedCode;
        TRV_TRACE("EHLLAPICallToSession return - nRet=[%d]", 0);
        return 0;
    }
    char blockName[kBlockNameSize + 1];
    TerminatedCopy<kBlockNameSize>(blockName, block.BlockName);
    Sessions()->SetCaller(blockName, static_cast<char>('A' + index));
    // The reply event is reset here and then waited on: resolved once for both.
    const platform::EventRef reply(block.ReplyEvent);
    // A signal left over from an earlier request (a late reply, or a
    // session end that raced with it) must not end this wait.
    ResetHLLEvent(reply);
    // Waiting is set before the request leaves, so that a session ending
    // at any moment after it finds the caller to release.
    block.Waiting = 1;
    TRV_TRACE("EHLLAPICallToSession - TriggerEvent %s", eventName);
    TriggerHLLEvent(request);
    const bool replied = AwaitReply(reply, session);
    ResetHLLEvent(request);
    if (!replied) {
        block.ReturnCode = kRequestFailedCode;
        // The session ended or its process died: the next request opens
        // whatever event a new owner creates.
        ForgetRequestEvent(index);
    }
    block.Waiting = 0;
    TRV_TRACE("EHLLAPICallToSession return - nRet=[%d]", 0);
    return 0;
}

void CloseRequestEvents() {
    for (int index = 0; index < kSessionCount; ++index) ForgetRequestEvent(index);
}

void ReplyCopyBack(ApplicationBlock& block, const CallerParameters& caller) {
    const std::int32_t function = static_cast<std::int32_t>(block.Function);
    const std::size_t bytes = ReplyBytes(block, function);
    const std::int32_t reported = ReportedLength(block, function, bytes);
    if (caller.length != nullptr) {
        *caller.length = reported;
        block.DataLength = 0;
    }
    caller.StoreReturnCode(static_cast<std::int32_t>(block.ReturnCode));
    block.ReturnCode = 0;
    if (caller.data != nullptr) {
        std::memcpy(caller.data, block.Data, bytes);
        std::memset(block.Data, 0, sizeof block.Data);
    }
}

}  // namespace trv
