// The bridge's Java call context and its one-call handlers.
#include "bridge/bridge_call.h"

#include "bridge/emulator_state.h"
#include "shared/trace.h"

namespace trv {

JavaCallContext::JavaCallContext(std::int32_t sessionIndex) {
    if (env() == nullptr) {
        TRV_TRACE("JavaCallContext - no Java environment for this thread");
        return;
    }
    const BridgeCallTarget target = BridgeTarget(sessionIndex);
    SetTarget(target.object, target.methods);
    if (target.object == nullptr) TRV_TRACE("JavaCallContext - no emulator object for session %d", sessionIndex);
}

std::int32_t PlainCall(int sessionIndex, const char* method, const char* signature,
                       const jvalue* args) {
    JavaCallContext java(sessionIndex);
    const std::optional<jlong> result = java.CallLong(method, signature, args);
    return result ? PlainResult(*result) : kJavaCallFailed;
}

std::int32_t TracedPlainCall(const char* handler, int sessionIndex, const char* method) {
    TRV_TRACE("%s enter", handler);
    const std::int32_t result = PlainCall(sessionIndex, method);
    TRV_TRACE("%s returns %d", handler, result);
    return result;
}


}  // namespace trv
