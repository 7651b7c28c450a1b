// Handlers whose emulator side is not served yet: keystroke translation,
// fields and cursor, file transfer and window services. Each answers
// kNoHandlerCode without calling Java, with its usual trace lines.
#include "bridge/dispatch.h"
#include "bridge/handlers.h"
#include "shared/trace.h"

namespace trv {

#define TRV_PENDING_HANDLER(name)                                  \
    std::int32_t name(ApplicationBlock&, const SessionBlock&) {   \
        TRV_TRACE(#name " enter");                                 \
        TRV_TRACE(#name " returns %d", kNoHandlerCode);            \
        return kNoHandlerCode;                                     \
    }

TRV_PENDING_HANDLER(SendKeys)
TRV_PENDING_HANDLER(QueryFieldAttribute)
TRV_PENDING_HANDLER(CopyStringToPS)
TRV_PENDING_HANDLER(QuerySessionStatus)
TRV_PENDING_HANDLER(SearchField)
TRV_PENDING_HANDLER(FindFieldPosition)
TRV_PENDING_HANDLER(FindFieldLength)
TRV_PENDING_HANDLER(CopyStringToField)
TRV_PENDING_HANDLER(CopyFieldToString)
TRV_PENDING_HANDLER(SetCursor)
TRV_PENDING_HANDLER(StartCloseIntercept)
TRV_PENDING_HANDLER(StopCloseIntercept)
TRV_PENDING_HANDLER(StartKeystrokeIntercept)
TRV_PENDING_HANDLER(StopKeystrokeIntercept)
TRV_PENDING_HANDLER(ConvertPosRowCol)
TRV_PENDING_HANDLER(SendReceiveFile)
TRV_PENDING_HANDLER(ConnectWindowServices)
TRV_PENDING_HANDLER(QueryWindowCoordinates)
TRV_PENDING_HANDLER(WindowStatus)
TRV_PENDING_HANDLER(ChangeWindowName)
TRV_PENDING_HANDLER(StartMacro)

#undef TRV_PENDING_HANDLER

}  // namespace trv
