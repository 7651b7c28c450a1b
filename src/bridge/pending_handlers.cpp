// Handlers whose emulator side is not served yet: file transfer and window
// services. Each answers kNoHandlerCode without calling Java, with its usual
// trace lines.
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

TRV_PENDING_HANDLER(SendReceiveFile)
TRV_PENDING_HANDLER(ConnectWindowServices)
TRV_PENDING_HANDLER(QueryWindowCoordinates)
TRV_PENDING_HANDLER(WindowStatus)
TRV_PENDING_HANDLER(ChangeWindowName)
TRV_PENDING_HANDLER(StartMacro)

#undef TRV_PENDING_HANDLER

}  // namespace trv
