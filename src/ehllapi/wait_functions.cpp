// Waiting for the host: Wait (4), Pause (18) and the host notification
// functions Start Host Notification (23), Query Host Update (24) and Stop
// Host Notification (25).
//
// All five are answered in the caller's process. They wait on, reset or
// register for the session's named events, which the emulator side signals,
// and keep their state in the caller's exchange block. The event handles
// they store in the block are this process's own; the emulator reaches the
// events by name. The update flags (PSUpdated, OIAUpdated) are set by the
// emulator's threads and cleared here without a lock: an update arriving
// between the test and the clear is lost, which callers tolerate.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "ehllapi/call_to_session.h"
#include "ehllapi/dispatcher.h"
#include "ehllapi/keyword_table.h"
#include "ehllapi/notify_support.h"
#include "platform/clock.h"
#include "platform/error.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "protocol/caller_data.h"
#include "protocol/notification.h"
#include "shared/named_objects.h"
#include "shared/trace.h"
#include "tables/application_block.h"
#include "tables/session_list.h"
#include "tables/session_parms.h"
#include "tables/table_support.h"

namespace trv::handlers {
namespace {

constexpr std::int32_t kDefaultPauseHalfSeconds = 2400;
constexpr std::int64_t kMsPerHalfSecond = 500;
constexpr std::int64_t kLongestPauseMs = 0x7FFFFFFF;

// The update kinds of a type letter (P, O, B); 0 for any other letter.
std::uint32_t UpdateKinds(char type) {
    if (type == 'B') return kNotifyBoth;
    if (type == 'P') return kNotifyPS;
    if (type == 'O') return kNotifyOIA;
    return 0;
}

// The session selection of 23, 24 and 25 with its trace lines; `tag` is the
// function's trace abbreviation.
int SelectTraced(const ParserCall& call, const char* tag) {
    const char first = call.caller.FirstDataByte();
    if (first != ' ' && first != '\0') {
        TRV_TRACE("EHLLAPIParser %s - ptr1 is %c", tag, first);
        const int index = SelectSession(call);
        TRV_TRACE("EHLLAPIParser %s - session ID from SessionIndex is %d, name = %c", tag, index, first);
        return index;
    }
    TRV_TRACE("EHLLAPIParser %s - ptr1 is NULL or BLANK", tag);
    const int index = ConnectedSession(call.block);
    TRV_TRACE("EHLLAPIParser %s - session ID from lpAB is %d, name = %c", tag, index,
              call.block.ShortName != '\0' ? call.block.ShortName : ' ');
    return index;
}

// Name of the session's event serving the registered update kinds.
const char* UpdateEventName(const SessionBlock& session, std::uint32_t type) {
    if ((type & kNotifyBoth) == kNotifyBoth) return session.BothEventName;
    if ((type & kNotifyPS) != 0) return session.PSEventName;
    return session.OIAEventName;
}

// Ends the block's current registration for `slot` as far as the block goes:
// the event of an event-form registration is closed, the handle cleared.
void DropNotifyHandle(ApplicationBlock& block, int slot) {
    if ((block.HostUpdateNotifyType[slot] & kNotifyByEvent) != 0) {
        FreeHLLEvent(static_cast<platform::Handle>(block.HostNotifyHandle[slot]));
    }
    block.HostNotifyHandle[slot] = 0;
}

// Opens the named event of `session`, resets it and closes it again.
void ResetSessionEvent(const char (&name)[kBlockNameSize]) {
    char terminated[kBlockNameSize + 1];
    TerminatedCopy<kBlockNameSize>(terminated, name);
    TRV_TRACE("EHLLAPIParser QHU - event name is %s", terminated);
    platform::UniqueHandle event(GetHLLEvent(terminated));
    ResetHLLEvent(event.get());
}

std::int32_t StopHostNotifyFor(ParserCall& call) {
    ApplicationBlock& block = call.block;
    const int index = SelectTraced(call, "SHN");
    if (index < 0 || !IsSessionEstablished(index)) return HLLAPI_RC_NO_SESSION;
    if (block.HostUpdateNotifyType[index] == 0) return HLLAPI_RC_NOT_STARTED;
    DropNotifyHandle(block, index);
    block.HostUpdateNotifyType[index] = 0;
    block.PSUpdated = 0;
    block.OIAUpdated = 0;
    Sessions()->RemoveFromHostNotificationList(SessionLetter(index), block);
    return HLLAPI_RC_SUCCESS;
}

}  // namespace

HandlerOutcome Wait(ParserCall& call) {
    ApplicationBlock& block = call.block;
    const int index = ConnectedSession(block);
    if (index < 0) return HLLAPI_RC_NO_SESSION;
    const SessionBlock session = Sessions()->GetSession(SessionLetter(index));
    char name[kBlockNameSize + 1];
    TerminatedCopy<kBlockNameSize>(name, session.WaitEventName);
    platform::UniqueHandle event(GetHLLEvent(name));
    if (session.InhibitedStatus == 0) return HLLAPI_RC_SUCCESS;

    // Only a release signalled after this call began counts. The status is
    // read again after the reset: a release between the first look and the
    // reset had its signal taken by the reset, and would otherwise leave this
    // caller waiting out its whole time limit on free input.
    ResetHLLEvent(event.get());
    if (Sessions()->GetSession(SessionLetter(index)).InhibitedStatus == 0) return HLLAPI_RC_SUCCESS;
    const platform::Handle events[1] = {event.get()};
    const ServedSession served[1] = {ServedSession(session)};
    const SessionWaitResult waited = AwaitSessionEvents(events, block.WaitTimeout, served);
    ResetHLLEvent(event.get());
    // A session that ended (or released this caller) while it waited did not
    // accept input, whatever woke the wait.
    if (waited.outcome == SessionWait::sessionEnded || ConnectedSession(block) != index ||
        SessionHasEnded(served[0])) {
        return HLLAPI_RC_SYSTEM_ERROR;
    }
    if (waited.outcome == SessionWait::signalled) return HLLAPI_RC_SUCCESS;
    if (waited.outcome == SessionWait::timedOut) return HLLAPI_RC_WAIT_TIMEOUT;
    return HLLAPI_RC_SYSTEM_ERROR;
}

HandlerOutcome Pause(ParserCall& call) {
    const ApplicationBlock& block = call.block;
    const std::int32_t length = call.caller.LengthOrZero();
    const std::int64_t halfSeconds = length > 0 ? length : kDefaultPauseHalfSeconds;
    std::int64_t wanted = halfSeconds * kMsPerHalfSecond;
    if (wanted > kLongestPauseMs) wanted = kLongestPauseMs;
    const auto durationMs = static_cast<std::uint32_t>(wanted);
    TRV_TRACE("EHLLAPIParser P - Duration is %d", static_cast<int>(durationMs));

    if ((block.SessionParms & parms::kIPause) == 0) {
        TRV_TRACE("EHLLAPIParser P - IPAUSE NOT set in SessionParms, so just sleep");
        platform::SleepMs(durationMs);
        TRV_TRACE("EHLLAPIParser P - sleep complete");
        TRV_TRACE("EHLLAPIParser P - done with PAUSE");
        return HLLAPI_RC_SUCCESS;
    }

    TRV_TRACE("EHLLAPIParser P - IPAUSE set in SessionParms");
    platform::UniqueHandle owned[kSessionCount];
    platform::Handle events[kSessionCount] = {};
    std::vector<ServedSession> served;
    std::uint32_t count = 0;
    for (int i = 0; i < kSessionCount; ++i) {
        TRV_TRACE("EHLLAPIParser P - loop through sessions at %d", i);
        const std::uint32_t type = block.HostUpdateNotifyType[i];
        const bool ps = (type & kNotifyPS) != 0;
        const bool oia = (type & kNotifyOIA) != 0;
        if (!ps && !oia) continue;
        const SessionBlock session = Sessions()->GetSession(SessionLetter(i));
        const char* field = nullptr;
        if (ps && oia) {
            TRV_TRACE("EHLLAPIParser P - HostUpdateNotifyType is PS or OIA. cur = %d, i=%d", count, i);
            field = session.BothEventName;
        } else if (ps) {
            TRV_TRACE("EHLLAPIParser P - HostUpdateNotifyType is PS. cur = %d, i=%d", count, i);
            field = session.PSEventName;
        } else {
            TRV_TRACE("EHLLAPIParser P - HostUpdateNotifyType is OIA. cur = %d, i=%d", count, i);
            field = session.OIAEventName;
        }
        char name[kBlockNameSize + 1] = {};
        std::memcpy(name, field, kBlockNameSize);
        TRV_TRACE("EHLLAPIParser P - event name is %s", name);
        platform::Handle event = GetHLLEvent(name);
        if (event == platform::kNoHandle) continue;
        TRV_TRACE("EHLLAPIParser P - handle is " TRV_PRIHANDLE, event);
        owned[count].reset(event);
        events[count] = event;
        served.emplace_back(session);
        ++count;
    }

    TRV_TRACE("EHLLAPIParser P - Begin WAIT");
    // Without any event the wait fails at once: nothing could end it early,
    // and the caller asked for an interruptible pause. A session that ends
    // while the pause waits for it ends the pause as a failed wait.
    const SessionWaitResult waited =
        count > 0 ? AwaitSessionEvents(std::span(events, count), durationMs, served)
                  : SessionWaitResult{SessionWait::failed};
    const std::uint32_t status = waited.outcome == SessionWait::signalled ? platform::kWaitObject0 + waited.index
                                 : waited.outcome == SessionWait::timedOut ? platform::kWaitTimeout
                                                                           : platform::kWaitFailed;
    TRV_TRACE("EHLLAPIParser P - WAIT returns with %d, gle=%d", static_cast<int>(status),
              static_cast<int>(platform::LastError()));
    std::int32_t result = HLLAPI_RC_SUCCESS;
    if (waited.outcome == SessionWait::timedOut) {
        TRV_TRACE("EHLLAPIParser P - WAIT TIMEOUT");
    } else if (waited.outcome != SessionWait::signalled) {
        TRV_TRACE("EHLLAPIParser P - WAIT FAILED!");
        result = HLLAPI_RC_SYSTEM_ERROR;
    } else {
        TRV_TRACE("EHLLAPIParser P - Host Updated");
        result = HLLAPI_RC_EVENT_OCCURRED;
    }
    TRV_TRACE("EHLLAPIParser P - done with PAUSE");
    return result;
}

HandlerOutcome StartHostNotification(ParserCall& call) {
    ApplicationBlock& block = call.block;
    unsigned char* data = call.caller.data;
    const int index = SelectTraced(call, "SHN");
    if (index < 0 || !IsSessionEstablished(index)) return HLLAPI_RC_NO_SESSION;

    // The request is checked whole before anything changes: a string too
    // short for its form, a type other than P, O or B, or a window that does
    // not exist answers 2 and leaves the registration as it was.
    const std::int32_t length = call.caller.LengthOrZero();
    if (data == nullptr || length < static_cast<std::int32_t>(kBasicNotifyRequestSize)) {
        return HLLAPI_RC_BAD_PARAMETER;
    }
    NotifyRequest request{};
    std::memcpy(&request, data, std::min(static_cast<std::size_t>(length), sizeof request));
    const char form = UpperAscii(request.Form);
    const bool byMessage = form == kMessageFormLetter;
    const bool byEvent = form == kEventFormLetter;
    if ((byMessage || byEvent) && length < static_cast<std::int32_t>(sizeof request)) {
        return HLLAPI_RC_BAD_PARAMETER;
    }
    const std::uint32_t kinds = UpdateKinds(byMessage || byEvent ? UpperAscii(request.Type) : form);
    if (kinds == 0) return HLLAPI_RC_BAD_PARAMETER;
    std::uint64_t window = 0;
    if (byMessage) {
        std::memcpy(&window, request.Handle, sizeof window);
        // A window that does not exist would never hear of an update.
        if (!platform::IsWindowHandle(static_cast<platform::WindowHandle>(window))) {
            return HLLAPI_RC_BAD_PARAMETER;
        }
    }

    const std::uint32_t kept = block.HostUpdateNotifyType[index] & kNotifyBoth;
    DropNotifyHandle(block, index);
    block.PSUpdated = 0;
    block.OIAUpdated = 0;
    std::uint32_t type = kept | kinds;
    if (byEvent) type |= kNotifyByEvent;
    if (byMessage) {
        type |= kNotifyByMessage;
        block.HostNotifyHandle[index] = static_cast<std::uintptr_t>(window);
    }
    block.HostUpdateNotifyType[index] = type;

    const int position = Sessions()->AddToHostNotificationList(SessionLetter(index), block);
    if (position < 0) return HLLAPI_RC_SYSTEM_ERROR;

    unsigned char* handleField = data + offsetof(NotifyRequest, Handle);
    if (byEvent) {
        const SessionBlock session = Sessions()->GetSession(SessionLetter(index));
        char name[kBlockNameSize + 1] = {};
        std::memcpy(name, UpdateEventName(session, type), kBlockNameSize);
        const platform::Handle event = GetHLLEvent(name);
        block.HostNotifyHandle[index] = event;
        ResetHLLEvent(event);
        WriteU64(handleField, reinterpret_cast<std::uintptr_t>(&block.HostNotifyHandle[index]));
    } else if (byMessage) {
        WriteU16(handleField, static_cast<std::uint16_t>(position + kNotifyWParamBase));
    }
    return HLLAPI_RC_SUCCESS;
}

HandlerOutcome QueryHostUpdate(ParserCall& call) {
    ApplicationBlock& block = call.block;
    const int index = SelectTraced(call, "QHU");
    if (index < 0 || !IsSessionEstablished(index)) {
        TRV_TRACE("EHLLAPIParser QHU - SessionID is INVALID");
        return HLLAPI_RC_NO_SESSION;
    }
    const std::uint32_t type = block.HostUpdateNotifyType[index];
    if (type == 0) {
        TRV_TRACE("EHLLAPIParser QHU - No update started for this session.");
        return HLLAPI_RC_NOT_STARTED;
    }
    const SessionBlock session = Sessions()->GetSession(SessionLetter(index));
    std::int32_t result = HLLAPI_RC_SUCCESS;
    if ((type & kNotifyPS) != 0 && block.PSUpdated != 0) {
        TRV_TRACE("EHLLAPIParser QHU - Update was PS, nRet is 22");
        result |= HLLAPI_RC_PS_UPDATED;
        block.PSUpdated = 0;
        ResetSessionEvent(session.PSEventName);
    }
    if ((type & kNotifyOIA) != 0 && block.OIAUpdated != 0) {
        TRV_TRACE("EHLLAPIParser QHU - Update was OIA, nRet is 21");
        result |= HLLAPI_RC_OIA_UPDATED;
        block.OIAUpdated = 0;
        ResetSessionEvent(session.OIAEventName);
    }
    if ((type & kNotifyByEvent) != 0) {
        TRV_TRACE("EHLLAPIParser QHU - Update was EVENT");
        ResetHLLEvent(static_cast<platform::Handle>(block.HostNotifyHandle[index]));
    }
    TRV_TRACE("EHLLAPIParser QHU - processing complete with nRet = %d", result);
    return result;
}

HandlerOutcome StopHostNotification(ParserCall& call) {
    const std::int32_t result = StopHostNotifyFor(call);
    TRV_TRACE("EHLLAPIParser SHU - processing complete with nRet = %d", result);
    return result;
}

}  // namespace trv::handlers
