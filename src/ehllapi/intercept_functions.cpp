// The close intercept (41 Start, 42 Query, 43 Stop Close Intercept) and the
// keystroke intercept (50 Start Keystroke Intercept, 51 Get Key, 52 Post
// Intercept Status, 53 Stop Keystroke Intercept).
//
// The registration lives in the caller's exchange block and in the session's
// CloseNotifyList or KeyNotifyList; the start and stop functions also tell
// the emulator through the send step. The emulator fills the key queue and
// signals the events; the queue and its count change on both sides under
// the key queue lock (the application table's mutex).
//
// Stop Keystroke Intercept runs without the process's call-serialising
// mutex, so it may run while another thread of the process waits in Get Key
// on the same block. That waiter is released through a private event of
// this process, and the key event handle it waits on is handed to it to
// close, so that no handle is closed under a wait. Its request to the
// emulator waits for a request another thread has in flight on the block
// (BlockRequestLock), whose fields and reply event it would otherwise share.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <span>
#include <vector>

#include "protocol/mnemonic_table.h"
#include "ehllapi/call_to_session.h"
#include "ehllapi/dispatcher.h"
#include "ehllapi/notify_support.h"
#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/event.h"
#include "platform/window.h"
#include "protocol/caller_data.h"
#include "shared/named_objects.h"
#include "shared/trace.h"
#include "tables/application_block.h"
#include "tables/application_list.h"
#include "tables/session_list.h"
#include "tables/table_support.h"

namespace trv::handlers {
namespace {

constexpr std::uint16_t kStartedKeyQueueLimit = 96;
constexpr std::int32_t kLargestKeyQueueLimit = 3069;

// A thread of this process waiting in Get Key.
struct KeyWaiter {
    const ApplicationBlock* block;
    int slot;
    platform::Handle cancel;     // private event signalled by a stop; 0 when not waiting
    platform::Handle keyEvent;   // the block's key event when the call began
    platform::Handle handedOver; // key event the stop left to this caller to close
    bool stopped;                // the intercept was stopped meanwhile
};

std::mutex g_keyWaitersLock;
std::vector<KeyWaiter*> g_keyWaiters;

// Registers a Get Key for its duration: while registered, the key event it
// took from the block stays open even if the intercept is stopped.
class KeyWaitRegistration {
public:
    explicit KeyWaitRegistration(KeyWaiter& waiter) : waiter_(waiter) {
        std::lock_guard<std::mutex> guard(g_keyWaitersLock);
        waiter_.keyEvent = waiter_.block->KeyInterceptEvent[waiter_.slot];
        g_keyWaiters.push_back(&waiter_);
    }
    ~KeyWaitRegistration() {
        platform::Handle handed = platform::kNoHandle;
        {
            std::lock_guard<std::mutex> guard(g_keyWaitersLock);
            g_keyWaiters.erase(std::remove(g_keyWaiters.begin(), g_keyWaiters.end(), &waiter_),
                               g_keyWaiters.end());
            handed = waiter_.handedOver;
        }
        FreeHLLEvent(handed);
    }
    KeyWaitRegistration(const KeyWaitRegistration&) = delete;
    KeyWaitRegistration& operator=(const KeyWaitRegistration&) = delete;

    bool stopped() const {
        std::lock_guard<std::mutex> guard(g_keyWaitersLock);
        return waiter_.stopped;
    }

private:
    KeyWaiter& waiter_;
};

// Ends the block's key event for `slot`: a Get Key waiting on it is woken
// and closes the handle when it leaves; otherwise it is closed now.
void ReleaseKeyEvent(ApplicationBlock& block, int slot) {
    const platform::Handle event = block.KeyInterceptEvent[slot];
    block.KeyInterceptEvent[slot] = platform::kNoHandle;
    bool handed = false;
    {
        std::lock_guard<std::mutex> guard(g_keyWaitersLock);
        for (KeyWaiter* waiter : g_keyWaiters) {
            if (waiter->block != &block || waiter->slot != slot) continue;
            waiter->stopped = true;
            if (!handed && event != platform::kNoHandle) {
                waiter->handedOver = event;
                handed = true;
            }
            if (waiter->cancel != platform::kNoHandle) platform::SignalEvent(waiter->cancel);
        }
    }
    if (!handed) FreeHLLEvent(event);
}

// The named-session check of 42, 43, 51, 52 and 53: 1 for no session,
// 12 for one that is not established, else the index.
struct Checked {
    int index = -1;
    std::int32_t failure = HLLAPI_RC_SUCCESS;
};

Checked CheckNamedSession(const ParserCall& call) {
    const int index = SelectSession(call);
    if (index < 0) return {-1, HLLAPI_RC_NO_SESSION};
    if (!IsSessionEstablished(index)) return {-1, HLLAPI_RC_NOT_ESTABLISHED};
    return {index, HLLAPI_RC_SUCCESS};
}

// 41 and 50 always take the session from data byte 0.
int NamedInFirstByte(const ParserCall& call) {
    if (call.caller.data == nullptr) return -1;
    const char name[2] = {static_cast<char>(call.caller.data[0]), '\0'};
    const int index = SessionIndex(name);
    return index >= 0 && IsSessionEstablished(index) ? index : -1;
}

void EventNameOf(char (&out)[kBlockNameSize + 1], const char (&field)[kBlockNameSize]) {
    TerminatedCopy<kBlockNameSize>(out, field);
}

// Removes the first queued key of `slot`. Up to a third of the limit queued,
// the rest moves up one place (0). Beyond it the newest key goes too, to
// make room at once (31).
std::int32_t DropDeliveredKey(ApplicationBlock& block, int slot) {
    KeyQueueEntry* queue = block.KeyQueue[slot];
    const int count = block.QueuedKeys(slot);
    const int limit = block.KeyQueueLimit[slot];
    if (count <= limit / 3 || count < 2) {
        if (count > 1) std::memmove(queue, queue + 1, static_cast<std::size_t>(count - 1) * sizeof *queue);
        if (count > 0) queue[count - 1] = KeyQueueEntry{};
        block.KeyQueueCount[slot] = static_cast<std::int16_t>(count > 0 ? count - 1 : 0);
        return HLLAPI_RC_SUCCESS;
    }
    const int kept = count - 2;
    std::memmove(queue, queue + 1, static_cast<std::size_t>(kept) * sizeof *queue);
    queue[kept] = KeyQueueEntry{};
    queue[kept + 1] = KeyQueueEntry{};
    block.KeyQueueCount[slot] = static_cast<std::int16_t>(kept);
    return HLLAPI_RC_KEY_QUEUE_OVERFLOW;
}

// Writes the first queued key of `slot` into the caller's GetKeyReply (bytes
// 4 onward, never past its 10 bytes); answers the length reported to the
// caller.
std::int32_t DeliverFirstKey(const ApplicationBlock& block, int slot, unsigned char* data) {
    const KeyQueueEntry entry = block.KeyQueue[slot][0];
    GetKeyReply reply{};
    reply.Kind = static_cast<char>(entry.Kind);
    std::int32_t length = 0;
    if (entry.Kind == 'A') {
        const auto low = static_cast<char>(entry.Value & 0xFF);
        const auto high = static_cast<char>(entry.Value >> 8);
        reply.Key[0] = low;
        reply.Key[1] = high;
        length = high != 0 ? 2 : 1;
    } else {
        // A row outside the table (a spoiled block) reads as the end row.
        const std::size_t row = entry.Value < kMnemonicRows ? entry.Value : kMnemonicEndRow;
        const char* code = MnemonicTable[row].code;
        const std::size_t size = std::min(std::strlen(code), sizeof reply.Key - 1);
        std::memcpy(reply.Key, code, size);
        if (size > 0) reply.Key[0] = block.EscChar;
        if (size > 2 && reply.Key[2] == '@') reply.Key[2] = block.EscChar;
        length = static_cast<std::int32_t>(size);
    }
    // Byte 0 (the session) is the caller's; only the key's bytes are written.
    const std::size_t end = offsetof(GetKeyReply, Key) + (entry.Kind == 'A' ? 2 : static_cast<std::size_t>(length) + 1);
    const std::size_t from = offsetof(GetKeyReply, Kind);
    std::memcpy(data + from, reinterpret_cast<const unsigned char*>(&reply) + from, end - from);
    return length;
}

std::int32_t GetKeyFor(ParserCall& call) {
    ApplicationBlock& block = call.block;
    const Checked checked = CheckNamedSession(call);
    if (checked.failure != HLLAPI_RC_SUCCESS) return HLLAPI_RC_NO_SESSION;
    const int slot = checked.index;
    if (block.KeyInterceptOptions[slot] == 0) return HLLAPI_RC_NOT_STARTED;
    if (call.caller.data == nullptr) return HLLAPI_RC_BAD_PARAMETER;

    const ServedSession served[1] = {ServedSession(Sessions()->GetSession(SessionLetter(slot)))};
    platform::UniqueHandle cancel;
    if (block.QueuedKeys(slot) == 0) cancel.reset(platform::CreateNamedEvent(true, nullptr));
    KeyWaiter waiter{&block, slot, cancel.get(), platform::kNoHandle, platform::kNoHandle, false};
    KeyWaitRegistration registration(waiter);
    // Stopped by another thread between the check above and here.
    if (block.KeyInterceptOptions[slot] == 0) return HLLAPI_RC_NO_KEY;
    // The key event is shared by every caller intercepting the session, so
    // a wake may find nothing queued here: the wait goes on for the time
    // left. The session's end is caught by the wait's watch.
    const std::uint32_t started = platform::TickCount();
    while (block.QueuedKeys(slot) == 0) {
        std::uint32_t left = block.WaitTimeout;
        if (left != platform::kInfinite) {
            const std::uint32_t elapsed = platform::TickCount() - started;
            left = elapsed < left ? left - elapsed : 0;
        }
        const platform::Handle events[2] = {waiter.keyEvent, cancel.get()};
        const SessionWaitResult waited = AwaitSessionEvents(std::span(events, cancel ? 2 : 1), left, served);
        // A stop while waiting leaves nothing to deliver.
        if (registration.stopped()) return HLLAPI_RC_NO_KEY;
        if (waited.outcome == SessionWait::sessionEnded) return HLLAPI_RC_SYSTEM_ERROR;
        if (waited.outcome == SessionWait::timedOut) return HLLAPI_RC_NO_KEY;
        if (waited.outcome != SessionWait::signalled || waited.index != 0) return HLLAPI_RC_SYSTEM_ERROR;
    }
    ResetHLLEvent(waiter.keyEvent);
    // The emulator appends meanwhile: the first key is read and removed in
    // one step under the queue lock.
    const KeyQueueLock queueLock;
    if (!queueLock.held()) return HLLAPI_RC_SYSTEM_ERROR;
    if (block.QueuedKeys(slot) == 0) return HLLAPI_RC_NO_KEY;
    const std::int32_t length = DeliverFirstKey(block, slot, call.caller.data);
    const std::int32_t result = DropDeliveredKey(block, slot);
    call.caller.StoreLength(length);
    return result;
}

}  // namespace

HandlerOutcome StartCloseIntercept(ParserCall& call) {
    ApplicationBlock& block = call.block;
    const int index = NamedInFirstByte(call);
    if (index < 0) return HLLAPI_RC_NO_SESSION;
    unsigned char* data = call.caller.data;
    // Both forms use the handle field: a shorter string cannot take the answer.
    if (call.caller.LengthOrZero() < static_cast<std::int32_t>(kCloseInterceptRequestSize)) {
        return HLLAPI_RC_BAD_PARAMETER;
    }
    unsigned char* handleField = data + offsetof(NotifyRequest, Handle);

    if (block.CloseInterceptHandle[index] != 0 && block.CloseInterceptMode[index] != kCloseByMessage) {
        FreeHLLEvent(static_cast<platform::Handle>(block.CloseInterceptHandle[index]));
    }
    block.CloseInterceptMode[index] = '\0';
    block.CloseInterceptHandle[index] = 0;
    block.CloseRequested = 0;

    const int position = Sessions()->AddToCloseNotificationList(SessionLetter(index), block);
    if (position < 0) return HLLAPI_RC_SYSTEM_ERROR;

    if (UpperAscii(static_cast<char>(data[offsetof(NotifyRequest, Form)])) != kMessageFormLetter) {
        const SessionBlock session = Sessions()->GetSession(SessionLetter(index));
        char name[kBlockNameSize + 1];
        EventNameOf(name, session.CloseEventName);
        block.CloseInterceptMode[index] = kCloseByEvent;
        block.CloseInterceptHandle[index] = GetHLLEvent(name);
        WriteU64(handleField, reinterpret_cast<std::uintptr_t>(&block.CloseInterceptHandle[index]));
    } else {
        const std::uint64_t window = ReadU64(handleField);
        if (!platform::IsWindowHandle(static_cast<platform::WindowHandle>(window))) {
            return HLLAPI_RC_BAD_PARAMETER;
        }
        block.CloseInterceptHandle[index] = static_cast<std::uintptr_t>(window);
        block.CloseInterceptMode[index] = kCloseByMessage;
        WriteU16(handleField, static_cast<std::uint16_t>(position + kNotifyWParamBase));
    }
    call.session = index;
    call.requestBytes = kCloseInterceptRequestSize;
    return kSendToSession;
}

HandlerOutcome QueryCloseIntercept(ParserCall& call) {
    ApplicationBlock& block = call.block;
    const Checked checked = CheckNamedSession(call);
    if (checked.failure != HLLAPI_RC_SUCCESS) return checked.failure;
    const int index = checked.index;
    if (block.CloseInterceptMode[index] == '\0') return HLLAPI_RC_NOT_STARTED;
    if (block.CloseRequested == 0) return HLLAPI_RC_SUCCESS;
    block.CloseRequested = 0;
    if (block.CloseInterceptMode[index] == kCloseByEvent) {
        ResetHLLEvent(static_cast<platform::Handle>(block.CloseInterceptHandle[index]));
    }
    return HLLAPI_RC_EVENT_OCCURRED;
}

HandlerOutcome StopCloseIntercept(ParserCall& call) {
    ApplicationBlock& block = call.block;
    const Checked checked = CheckNamedSession(call);
    if (checked.failure != HLLAPI_RC_SUCCESS) return checked.failure;
    const int index = checked.index;
    if (block.CloseInterceptMode[index] == '\0') return HLLAPI_RC_NOT_STARTED;
    if (block.CloseInterceptMode[index] == kCloseByEvent) {
        FreeHLLEvent(static_cast<platform::Handle>(block.CloseInterceptHandle[index]));
    }
    block.CloseInterceptHandle[index] = 0;
    block.CloseInterceptMode[index] = '\0';
    block.CloseRequested = 0;
    Sessions()->RemoveFromCloseNotificationList(SessionLetter(index), block);
    call.session = index;
    call.requestBytes = call.caller.LengthOrZero();
    return kSendToSession;
}

HandlerOutcome StartKeyIntercept(ParserCall& call) {
    ApplicationBlock& block = call.block;
    const int index = NamedInFirstByte(call);
    if (index < 0) return HLLAPI_RC_NO_SESSION;
    unsigned char* data = call.caller.data;
    if (block.KeyInterceptOptions[index] != 0) return HLLAPI_RC_SUCCESS;

    // The request is checked whole before anything changes, so that nothing
    // is registered (and the emulator not told) for an option other than D
    // or L or a window that does not exist; a corrected start is then not
    // taken for a repeated one. The caller's length is the queue's limit,
    // not a size: the form decides how many bytes are read.
    NotifyRequest request{};
    std::memcpy(&request, data, kBasicNotifyRequestSize);
    const bool byMessage = UpperAscii(request.Form) == kMessageFormLetter;
    if (byMessage) std::memcpy(&request, data, sizeof request);
    const char option = UpperAscii(byMessage ? request.Type : request.Form);
    std::uint32_t options = 0;
    if (option == 'L') options = kInterceptAidKeys | kInterceptAllKeys;
    if (option == 'D') options = kInterceptAidKeys;
    if (options == 0) return HLLAPI_RC_BAD_PARAMETER;
    std::uint64_t window = 0;
    if (byMessage) {
        std::memcpy(&window, request.Handle, sizeof window);
        if (!platform::IsWindowHandle(static_cast<platform::WindowHandle>(window))) {
            return HLLAPI_RC_BAD_PARAMETER;
        }
        options |= kInterceptByMessage;
    }

    ReleaseKeyEvent(block, index);
    block.KeyInterceptWindow[index] = static_cast<platform::WindowHandle>(window);
    block.ClearKeyQueue(index, kStartedKeyQueueLimit);
    block.KeyInterceptOptions[index] = options;

    const int position = Sessions()->AddToKeyNotificationList(SessionLetter(index), block);
    if (position < 0) return HLLAPI_RC_SYSTEM_ERROR;
    if (byMessage) {
        WriteU16(data + offsetof(NotifyRequest, Handle), static_cast<std::uint16_t>(position + kNotifyWParamBase));
    }

    const SessionBlock session = Sessions()->GetSession(SessionLetter(index));
    char name[kBlockNameSize + 1];
    EventNameOf(name, session.KeyEventName);
    block.KeyInterceptEvent[index] = GetHLLEvent(name);

    const std::int32_t length = call.caller.LengthOrZero();
    block.KeyQueueLimit[index] = static_cast<std::uint16_t>(
        length > kStartedKeyQueueLimit ? std::min(length, kLargestKeyQueueLimit) : kStartedKeyQueueLimit);
    // Keystrokes of a reserved session would never reach the intercept.
    if (block.Reserved != 0) InternalRequest(block, HA_RELEASE, nullptr, 0);
    call.session = index;
    call.requestBytes = byMessage ? sizeof request : kBasicNotifyRequestSize;
    return kSendToSession;
}

HandlerOutcome GetKey(ParserCall& call) {
    const std::int32_t result = GetKeyFor(call);
    if (result != HLLAPI_RC_SUCCESS && result != HLLAPI_RC_KEY_QUEUE_OVERFLOW) call.caller.StoreLength(0);
    return result;
}

HandlerOutcome PostInterceptStatus(ParserCall& call) {
    const Checked checked = CheckNamedSession(call);
    if (checked.failure != HLLAPI_RC_SUCCESS) return checked.failure;
    if (call.block.KeyInterceptOptions[checked.index] == 0) return HLLAPI_RC_NOT_STARTED;
    if (call.caller.data == nullptr) return HLLAPI_RC_BAD_PARAMETER;
    const char status = UpperAscii(static_cast<char>(call.caller.data[offsetof(PostInterceptStatusRequest, Status)]));
    if (status == 'A') return HLLAPI_RC_SUCCESS;
    if (status == 'R') {
        platform::DefaultBeep();
        return HLLAPI_RC_SUCCESS;
    }
    return HLLAPI_RC_BAD_PARAMETER;
}

HandlerOutcome StopKeyIntercept(ParserCall& call) {
    ApplicationBlock& block = call.block;
    const Checked checked = CheckNamedSession(call);
    if (checked.failure != HLLAPI_RC_SUCCESS) return checked.failure;
    const int index = checked.index;
    if (block.KeyInterceptOptions[index] == 0) return HLLAPI_RC_NOT_STARTED;
    ReleaseKeyEvent(block, index);
    block.KeyInterceptWindow[index] = 0;
    block.KeyInterceptOptions[index] = 0;
    block.ClearKeyQueue(index, kStoppedKeyQueueLimit);
    Sessions()->RemoveFromKeyNotificationList(SessionLetter(index), block);
    call.session = index;
    call.requestBytes = call.caller.LengthOrZero();
    return kSendToSession;
}

}  // namespace trv::handlers
