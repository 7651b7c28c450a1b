// SessionIndex, the send step, EHLLAPICallToSession and ReplyCopyBack.
//
// Everything in the exchange block may have been written by another process;
// every size read from it is held to the 10,240 bytes of Data before it is
// used to copy.
#include "ehllapi/call_to_session.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <optional>
#include <span>

#include "platform/clock.h"
#include "platform/emulator_window.h"
#include "platform/event.h"
#include "platform/handle.h"
#include "platform/process.h"
#include "platform/spin.h"
#include "protocol/caller_data.h"
#include "shared/exchange_words.h"
#include "shared/name_format.h"
#include "shared/named_objects.h"
#include "shared/process_state.h"
#include "shared/trace.h"
#include "tables/application_block.h"
#include "tables/application_list.h"
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

    bool held() const { return held_ ? held_->held() : opened_->held(); }

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

// How long each block's caller polls for its reply; used under the block's
// request lock, so by one thread at a time.
SpinAdvisor& ReplyAdvisorOf(int blockIndex) {
    static SpinAdvisor* advisors = new SpinAdvisor[kSessionCount];  // outlives the process detach
    return advisors[blockIndex];
}

// Polls for a reply the service thread is about to post, while it is
// running: it was polling for the request or serving one when the request
// was posted (`serverBefore`), and it has not gone back to waiting since.
// True when the reply was taken from the word.
bool PollForReply(ExchangeWord& replyWord, const ExchangeWord& requestWord, std::uint32_t serverBefore,
                  SpinAdvisor& advisor) {
    const bool serverRunning = serverBefore == kExchangeSpinning || serverBefore == kExchangeServing;
    const std::uint64_t budget = serverRunning ? advisor.NextBudgetNs() : 0;
    const bool taken = PollForPost(replyWord, &requestWord, budget, [&] {
        const std::uint32_t server = requestWord.state.load(std::memory_order_relaxed);
        return server == kExchangeServing || server == kExchangePostedQuiet || server == kExchangePostedLoud;
    }, kExchangeIdle);
    if (budget > 0) {
        if (taken) advisor.Paid();
        else advisor.Missed();
    }
    return taken;
}

// Waits for the reply to the request just sent. There is no limit on how long
// the emulator may take, but between slices the caller makes sure the reply
// can still come: when the session was unregistered without releasing this
// caller (its release reaches only the callers connected to the session), or
// the process serving it ended without unregistering (killed), the wait ends
// and the request fails. False when no reply came.
bool AwaitReply(const platform::EventRef& reply, const SessionBlock& session) {
    const ServedSession served(session);
    SessionWatchSlices slices;
    std::uint32_t status = AwaitHLLEvent(reply, slices.Next());
    while (status == platform::kWaitTimeout) {
        if (SessionHasEnded(served)) return false;
        status = reply.Wait(slices.Next());
    }
    return status == platform::kWaitObject0;
}

}  // namespace

namespace {

// One lock per block of the table, and one for a block outside it (a caller
// that is not attached to the shared table has none of its blocks).
std::mutex& RequestLockOf(const ApplicationBlock& block) {
    static std::mutex* locks = new std::mutex[kSessionCount + 1];  // outlives the process detach
    ApplicationList* applications = Applications();
    if (applications != nullptr) {
        const ApplicationBlock* first = &applications->Blocks[0];
        const ApplicationBlock* end = first + kSessionCount;
        if (&block >= first && &block < end) return locks[&block - first];
    }
    return locks[kSessionCount];
}

}  // namespace

BlockRequestLock::BlockRequestLock(const ApplicationBlock& block) : lock_(RequestLockOf(block)) {}

ServedSession::ServedSession(const SessionBlock& session)
    : letter(session.ShortName), processId(session.ProcessID), ownerStartStamp(session.OwnerStartStamp()) {}

bool SessionHasEnded(const ServedSession& served) {
    const SessionBlock now = Sessions()->GetSession(served.letter);
    if (now.Established == 0 || now.ProcessID != served.processId) {
        TRV_TRACE("EHLLAPIParser - session %c ended during the call", served.letter);
        return true;
    }
    // The same process still owns the session: whether it lives is asked of
    // the watch, one cheap call per look.
    if (!served.owner) served.owner.emplace(served.processId, served.ownerStartStamp);
    if (served.owner->Ended()) {
        TRV_TRACE("EHLLAPIParser - process %x serving session %c has ended", served.processId,
                  served.letter);
        // What its unregistration would have done, so that later calls
        // answer "no session" at once.
        ReclaimSessionsOfEndedProcess(served.processId);
        return true;
    }
    return false;
}

SessionWaitResult AwaitSessionEvents(std::span<const platform::Handle> events, std::uint32_t timeoutMs,
                                     std::span<const ServedSession> watched) {
    if (events.empty() || events.size() > platform::kMaxWaitObjects) return {SessionWait::failed};
    const auto count = static_cast<std::uint32_t>(events.size());
    const std::uint32_t started = platform::TickCount();
    SessionWatchSlices slices;
    for (;;) {
        std::uint32_t slice = slices.Next();
        if (timeoutMs != platform::kInfinite) {
            const std::uint32_t elapsed = platform::TickCount() - started;
            const std::uint32_t left = elapsed < timeoutMs ? timeoutMs - elapsed : 0;
            if (left < slice) slice = left;
        }
        const std::uint32_t status = count == 1 ? AwaitHLLEvent(events[0], slice)
                                                : AwaitMultipleHLLEvents(count, events.data(), false, slice);
        if (status < platform::kWaitObject0 + count) return {SessionWait::signalled, status - platform::kWaitObject0};
        if (status != platform::kWaitTimeout) return {SessionWait::failed};
        for (const ServedSession& served : watched) {
            if (SessionHasEnded(served)) return {SessionWait::sessionEnded};
        }
        if (timeoutMs != platform::kInfinite && platform::TickCount() - started >= timeoutMs) {
            return {SessionWait::timedOut};
        }
    }
}


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

std::size_t ReplyBytes(const ApplicationBlock& block, std::int32_t function, std::int64_t callerLength) {
    switch (function) {
        case HA_COPY_PS:
            // The screen as the emulator delivered it (ReplyLength), never
            // the larger length it asked for (DataLength, inflated by STREOT).
            return std::min(HeldToData(block.DataLength), HeldToData(block.ReplyLength));
        case HA_COPY_PS_TO_STR:
        case HA_COPY_FIELD_TO_STR: {
            const std::size_t buffer = callerLength > 0 ? static_cast<std::size_t>(callerLength) : 0;
            return std::min(HeldToData(block.ReplyLength), buffer);
        }
        case HA_COPY_OIA:
            return sizeof(OIAReply);
        case HA_QUERY_SESSION_STATUS:
            return sizeof(QuerySessionStatusReply);
        case HA_START_CLOSE_INTERCEPT:
            return 12;
        case HA_QUERY_WINDOW_COORDS:
            return 20;
        case HA_PM_WINDOW_STATUS:
            return 28;
        default:
            // Start Keystroke Intercept among them: its answer (the message
            // identifier) is written into the caller's data before the send.
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
    const BlockRequestLock requestLock(block);
    const SessionBlock target = Sessions()->GetSession(static_cast<char>('A' + session));

    block.Function = static_cast<std::uint32_t>(caller.function);
    // Nothing of an earlier reply may stand for this one's.
    block.ReplyLength = 0;
    block.ReplyCount = -1;
    block.DataLength = static_cast<std::uint32_t>(caller.LengthOrZero());
    block.ReturnCode = static_cast<std::uint32_t>(*caller.returnCode);
    if (caller.data != nullptr && requestBytes > 0) {
        NoteDataWritten(block, static_cast<std::size_t>(requestBytes));
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
    if (!sessionMutex.held()) {
        TRV_TRACE("EHLLAPICallToSession - session mutex of %c not taken, request refused", 'A' + index);
        block.ReturnCode = kRequestFailedCode;
        TRV_TRACE("EHLLAPICallToSession return - nRet=[%d]", 0);
        return 0;
    }

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
    if (!Sessions()->SetCaller(blockName, static_cast<char>('A' + index))) {
        // The service thread finds the caller by this name: without it the
        // request would be served for whoever was recorded before.
        block.ReturnCode = kRequestFailedCode;
        TRV_TRACE("EHLLAPICallToSession return - nRet=[%d]", 0);
        return 0;
    }
    // The reply event is reset here and then waited on: resolved once for both.
    const platform::EventRef reply(block.ReplyEvent);
    // A signal left over from an earlier request (a late reply, or a
    // session end that raced with it) must not end this wait.
    ResetHLLEvent(reply);
    // The reply word is armed before the request leaves: a reply that comes
    // back at once finds the caller polling, and nothing an earlier request
    // left on the word can stand for this one's reply.
    const int blockIndex = ApplicationBlockIndex(block);
    ExchangeWord* replyWord = ReplyWord(blockIndex);
    ExchangeWord* requestWord = RequestWord(index);
    if (replyWord != nullptr) {
        replyWord->cpu.store(platform::CurrentCpu(), std::memory_order_relaxed);
        replyWord->state.store(kExchangeSpinning);
        replyWord->posted.fetch_add(1);
    }
    // Waiting is set before the request leaves, so that a session ending
    // at any moment after it finds the caller to release.
    block.Waiting = 1;
    TRV_TRACE("EHLLAPICallToSession - TriggerEvent %s", eventName);
    bool replied = false;
    if (replyWord != nullptr && requestWord != nullptr) {
        const std::uint32_t serverBefore = PostExchange(*requestWord, request);
        replied = PollForReply(*replyWord, *requestWord, serverBefore, ReplyAdvisorOf(blockIndex));
    } else {
        TriggerHLLEvent(request);
    }
    if (!replied) replied = AwaitReply(reply, session);
    if (replyWord != nullptr) replyWord->state.store(kExchangeIdle);
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
    const std::size_t bytes = ReplyBytes(block, function, caller.length != nullptr ? *caller.length : -1);
    const std::int32_t reported = ReportedLength(block, function, bytes);
    if (caller.length != nullptr) {
        *caller.length = reported;
        block.DataLength = 0;
    }
    caller.StoreReturnCode(static_cast<std::int32_t>(block.ReturnCode));
    block.ReturnCode = 0;
    if (caller.data != nullptr) {
        std::memcpy(caller.data, block.Data, bytes);
        // Only what was written since Data was last zero.
        std::memset(block.Data, 0, DataWrittenExtent(block));
        NoteDataCleared(block);
    }
}

}  // namespace trv
