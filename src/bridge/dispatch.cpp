// ProcessEHLLAPICall and the dispatch table from function numbers to the
// handlers of the emulator side.
#include "bridge/dispatch.h"

#include "bridge/handlers.h"
#include "bridge/bridge_call.h"
#include "shared/trace.h"
#include "tables/application_block.h"
#include "tables/session_block.h"

namespace trv {

EHLLAPIHandler HandlerFor(std::uint32_t function) {
    switch (function) {
        case 1: return &ConnectPS;
        case 3: return &SendKeys;
        case 5: return &CopyPS;
        case 6: return &SearchPS;
        case 7: return &QueryCursorLocation;
        case 8: return &CopyPSToString;
        case 10: return &QuerySession;
        case 11: return &Reserve;
        case 12: return &Release;
        case 13: return &CopyOIA;
        case 14: return &QueryFieldAttribute;
        case 15: return &CopyStringToPS;
        case 22: return &QuerySessionStatus;
        case 30: return &SearchField;
        case 31: return &FindFieldPosition;
        case 32: return &FindFieldLength;
        case 33: return &CopyStringToField;
        case 34: return &CopyFieldToString;
        case 40: return &SetCursor;
        case 41: return &StartCloseIntercept;
        case 43: return &StopCloseIntercept;
        case 50: return &StartKeystrokeIntercept;
        case 53: return &StopKeystrokeIntercept;
        case 90:
        case 91: return &SendReceiveFile;
        case 99: return &ConvertPosRowCol;
        case 101: return &ConnectWindowServices;
        case 103: return &QueryWindowCoordinates;
        case 104: return &WindowStatus;
        case 105:
        case 106: return &ChangeWindowName;
        case 110: return &StartMacro;
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
