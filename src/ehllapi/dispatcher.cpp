// The dispatcher frame of EHLLAPIParser: the function table with the trace
// name of every function, the unsupported-function answer, and the internal
// requests. A function whose handler is not in the table yet answers as an
// unsupported one; adding its handler to the table is all it takes to
// dispatch it.
#include "ehllapi/dispatcher.h"

#include <array>

#include "ehllapi/call_to_session.h"
#include "shared/message_boxes.h"
#include "shared/name_format.h"
#include "shared/process_state.h"
#include "shared/trace.h"
#include "tables/application_block.h"

namespace trv {
namespace {

using Handler = HandlerOutcome (*)(ParserCall&);

struct FunctionEntry {
    const char* traceName = nullptr;  // nullptr: not an EHLLAPI function
    Handler handler = nullptr;        // nullptr: answered as unsupported
    bool tracesItself = false;        // the handler writes its own trace line
};


using FunctionTable = std::array<FunctionEntry, HLLAPI_HIGHEST_FUNCTION + 1>;

constexpr FunctionTable BuildFunctionTable() {
    using namespace handlers;
    FunctionTable table{};
    auto set = [&table](std::int32_t function, const char* name, Handler handler = nullptr,
                        bool tracesItself = false) {
        table[static_cast<std::size_t>(function)] = FunctionEntry{name, handler, tracesItself};
    };
    set(HA_CONNECT_PS, "HA_CONNECT_PS", ConnectPS, true);
    set(HA_DISCONNECT_PS, "HA_DISCONNECT_PS", DisconnectPS);
    set(HA_SENDKEY, "HA_SENDKEY", PresentationSpace);
    set(HA_WAIT, "HA_WAIT", Wait);
    set(HA_COPY_PS, "HA_COPY_PS", PresentationSpace);
    set(HA_SEARCH_PS, "HA_SEARCH_PS", PresentationSpace);
    set(HA_QUERY_CURSOR_LOC, "HA_QUERY_CURSOR_LOC", PresentationSpace);
    set(HA_COPY_PS_TO_STR, "HA_COPY_PS_TO_STR", PresentationSpace);
    set(HA_SET_SESSION_PARMS, "HA_SET_SESSION_PARMS", SetSessionParameters, true);
    set(HA_QUERY_SESSIONS, "HA_QUERY_SESSIONS", QuerySessions);
    set(HA_RESERVE, "HA_RESERVE", Reserve);
    set(HA_RELEASE, "HA_RELEASE", Release);
    set(HA_COPY_OIA, "HA_COPY_OIA", PresentationSpace);
    set(HA_QUERY_FIELD_ATTR, "HA_QUERY_FIELD_ATTR", PresentationSpace);
    set(HA_COPY_STR_TO_PS, "HA_COPY_STR_TO_PS", PresentationSpace);
    set(HA_STORAGE_MGR, "HA_STORAGE_MGR");  // never supported
    set(HA_PAUSE, "HA_PAUSE", Pause);
    set(HA_QUERY_SYSTEM, "HA_QUERY_SYSTEM", QuerySystem);
    set(HA_RESET_SYSTEM, "HA_RESET_SYSTEM", ResetSystem);
    set(HA_QUERY_SESSION_STATUS, "HA_QUERY_SESSION_STATUS", QuerySessionStatus);
    set(HA_START_HOST_NOTIFY, "HA_START_HOST_NOTIFY", StartHostNotification);
    set(HA_QUERY_HOST_UPDATE, "HA_QUERY_HOST_UPDATE", QueryHostUpdate);
    set(HA_STOP_HOST_NOTIFY, "HA_STOP_HOST_NOTIFY", StopHostNotification);
    set(HA_SEARCH_FIELD, "HA_SEARCH_FIELD", PresentationSpace);
    set(HA_FIND_FIELD_POS, "HA_FIND_FIELD_POS", PresentationSpace);
    set(HA_FIND_FIELD_LEN, "HA_FIND_FIELD_LEN", PresentationSpace);
    set(HA_COPY_STR_TO_FIELD, "HA_COPY_STR_TO_FIELD", PresentationSpace);
    set(HA_COPY_FIELD_TO_STR, "HA_COPY_FIELD_TO_STR", PresentationSpace);
    set(HA_SET_CURSOR, "HA_SET_CURSOR", PresentationSpace);
    set(HA_START_CLOSE_INTERCEPT, "HA_START_CLOSE_INTERCEPT", StartCloseIntercept);
    set(HA_QUERY_CLOSE_INTERCEPT, "HA_QUERY_CLOSE_INTERCEPT", QueryCloseIntercept);
    set(HA_STOP_CLOSE_INTERCEPT, "HA_STOP_CLOSE_INTERCEPT", StopCloseIntercept);
    set(HA_QUERY_ADD_FIELD_ATTR, "HA_QUERY_ADD_FIELD_ATTR", PresentationSpace);
    set(HA_START_KEY_INTERCEPT, "HA_START_KEY_INTERCEPT", StartKeyIntercept);
    set(HA_GET_KEY, "HA_GET_KEY", GetKey);
    set(HA_POST_INTERCEPT_STATUS, "HA_POST_INTERCEPT_STATUS", PostInterceptStatus);
    set(HA_STOP_KEY_INTERCEPT, "HA_STOP_KEY_INTERCEPT", StopKeyIntercept);
    set(HA_LOCK_PS, "HA_LOCK_PS", LockPresentationSpace);
    set(HA_LOCK_PMSVC, "HA_LOCK_PMSVC", LockPresentationSpace);
    set(HA_SEND_FILE, "HA_SEND_FILE", SendReceiveFile);
    set(HA_RECEIVE_FILE, "HA_RECEIVE_FILE", SendReceiveFile);
    set(HA_CONVERT_POS_ROW_COL, "HA_CONVERT_POS_ROW_COL", PresentationSpace);
    set(HA_CONNECT_PM_SRVCS, "HA_CONNECT_PM_SRVCS", ConnectWindowServices, true);
    set(HA_DISCONNECT_PM_SRVCS, "HA_DISCONNECT_PM_SRVCS", DisconnectWindowServices, true);
    set(HA_QUERY_WINDOW_COORDS, "HA_QUERY_WINDOW_COORDS", QueryWindowCoordinates);
    set(HA_PM_WINDOW_STATUS, "HA_PM_WINDOW_STATUS", WindowStatus, true);
    set(HA_CHANGE_SWITCH_NAME, "HA_CHANGE_SWITCH_NAME", ChangeWindowName);
    set(HA_CHANGE_WINDOW_NAME, "HA_CHANGE_WINDOW_NAME", ChangeWindowName);
    set(HA_START_PLAYING_MACRO, "HA_START_PLAYING_MACRO", StartPlayingMacro);
    return table;
}

constexpr FunctionTable kFunctionTable = BuildFunctionTable();

const FunctionEntry* EntryOf(std::int32_t function) {
    if (function < 0 || function > HLLAPI_HIGHEST_FUNCTION) return nullptr;
    const FunctionEntry& entry = kFunctionTable[static_cast<std::size_t>(function)];
    return entry.traceName != nullptr ? &entry : nullptr;
}

std::int32_t Unsupported(const CallerParameters& caller) {
    char text[kMessageTextSize];
    FormatBounded(text, sizeof text,
                  "Unsupported EHLLAPI function %d encountered, application may not work correctly",
                  caller.function);
    ShowErrorBox(text);
    return HLLAPI_RC_UNSUPPORTED;
}

}  // namespace

bool HasHandler(std::int32_t function) {
    const FunctionEntry* entry = EntryOf(function);
    return entry != nullptr && entry->handler != nullptr;
}

int ConnectedSession(const ApplicationBlock& block) {
    const std::int32_t id = block.SessionID;
    return block.ShortName != '\0' && id >= 0 && id < kSessionCount ? id : -1;
}

int SelectSession(const ParserCall& call) {
    const char first = call.caller.FirstDataByte();
    if (first != ' ' && first != '\0') {
        const char name[2] = {first, '\0'};
        return SessionIndex(name);
    }
    return ConnectedSession(call.block);
}

std::int32_t EHLLAPIParser(ApplicationBlock& block, const CallerParameters& caller) {
    TRV_TRACE("EHLLAPIParser entry");
    ParserCall call{block, caller};
    const FunctionEntry* entry = EntryOf(caller.function);
    std::int32_t result = HLLAPI_RC_UNSUPPORTED;

    if (entry == nullptr) {
        if (caller.function >= 120 && caller.function <= 127) {
            TRV_TRACE("EHLLAPIParser HA_*** - unsupported");
        } else {
            TRV_TRACE("EHLLAPIParser DEFAULT - unsupported");
        }
        result = Unsupported(caller);
        caller.StoreReturnCode(result);
    } else {
        if (!entry->tracesItself) TRV_TRACE("EHLLAPIParser %s", entry->traceName);
        if (entry->handler == nullptr) {
            result = Unsupported(caller);
            caller.StoreReturnCode(result);
        } else if (HandlerOutcome decided = entry->handler(call)) {
            result = *decided;
            caller.StoreReturnCode(result);
        } else {
            result = SendToSession(block, caller, call.session, call.requestBytes);
        }
    }
    TRV_TRACE("EHLLAPIParser return %d", result);
    return result;
}

std::int32_t InternalRequest(ApplicationBlock& block, std::int32_t function, unsigned char* data,
                             std::int32_t length) {
    std::int32_t lengthWord = length;
    std::int32_t returnCode = 0;
    const CallerParameters internal{function, data, &lengthWord, &returnCode};
    const std::uint32_t outerFunction = block.Function;
    block.Function = static_cast<std::uint32_t>(function);
    const std::int32_t result = EHLLAPIParser(block, internal);
    block.Function = outerFunction;
    return result;
}

}  // namespace trv
