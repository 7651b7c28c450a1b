// ProcessEHLLAPICall and the dispatch table from function numbers to the
// handlers of the emulator side.
#include "bridge/dispatch.h"

#include "bridge/handlers.h"
#include "bridge/bridge_call.h"
#include "shared/trace.h"
#include "trvha64.h"
#include "tables/application_block.h"
#include "tables/session_block.h"

namespace trv {

EHLLAPIHandler HandlerFor(std::uint32_t function) {
    switch (function) {
        case HA_CONNECT_PS: return &ConnectPS;
        case HA_SENDKEY: return &SendKeys;
        case HA_COPY_PS: return &CopyPS;
        case HA_SEARCH_PS: return &SearchPS;
        case HA_QUERY_CURSOR_LOC: return &QueryCursorLocation;
        case HA_COPY_PS_TO_STR: return &CopyPSToString;
        case HA_QUERY_SESSIONS: return &QuerySession;
        case HA_RESERVE: return &Reserve;
        case HA_RELEASE: return &Release;
        case HA_COPY_OIA: return &CopyOIA;
        case HA_QUERY_FIELD_ATTR: return &QueryFieldAttribute;
        case HA_COPY_STR_TO_PS: return &CopyStringToPS;
        case HA_QUERY_SESSION_STATUS: return &QuerySessionStatus;
        case HA_SEARCH_FIELD: return &SearchField;
        case HA_FIND_FIELD_POS: return &FindFieldPosition;
        case HA_FIND_FIELD_LEN: return &FindFieldLength;
        case HA_COPY_STR_TO_FIELD: return &CopyStringToField;
        case HA_COPY_FIELD_TO_STR: return &CopyFieldToString;
        case HA_SET_CURSOR: return &SetCursor;
        case HA_START_CLOSE_INTERCEPT: return &StartCloseIntercept;
        case HA_STOP_CLOSE_INTERCEPT: return &StopCloseIntercept;
        case HA_START_KEY_INTERCEPT: return &StartKeystrokeIntercept;
        case HA_STOP_KEY_INTERCEPT: return &StopKeystrokeIntercept;
        case HA_SEND_FILE:
        case HA_RECEIVE_FILE: return &SendReceiveFile;
        case HA_CONVERT_POS_ROW_COL: return &ConvertPosRowCol;
        case HA_CONNECT_PM_SRVCS: return &ConnectWindowServices;
        case HA_QUERY_WINDOW_COORDS: return &QueryWindowCoordinates;
        case HA_PM_WINDOW_STATUS: return &WindowStatus;
        case HA_CHANGE_SWITCH_NAME:
        case HA_CHANGE_WINDOW_NAME: return &ChangeWindowName;
        case HA_START_PLAYING_MACRO: return &StartMacro;
        default: return nullptr;
    }
}

void ProcessEHLLAPICall(ApplicationBlock& caller, const SessionBlock& session) {
    TRV_TRACE("ProcessEHLLAPICall enter");
    std::int32_t result = kNoHandlerCode;
    try {
        if (EHLLAPIHandler handler = HandlerFor(caller.Function)) result = handler(caller, session);
    } catch (...) {
        TRV_TRACE("ProcessEHLLAPICall - function %u failed unexpectedly", caller.Function);
        result = kJavaCallFailed;
    }
    caller.ReturnCode = static_cast<std::uint32_t>(result);
}

}  // namespace trv
