// The bridge's Java calls: the context of one handler's calls on the
// HLLBridge object of its session, and the two ways a handler reads a
// method's long result.
#pragma once

#include <cstdint>

#include "jni/java_call.h"

namespace trv {

// The return code of a handler whose Java method could not be called: no
// virtual machine, no emulator object, a method lookup that failed or a Java
// exception. EHLLAPI's "system error".
constexpr std::int32_t kJavaCallFailed = 9;

// A packed long: bits 0 to 15 an EHLLAPI return code; when that is 0, the
// long shifted right by 16 (arithmetic, low 32 bits kept) is a value.
struct PackedResult {
    std::int32_t code;
    std::int32_t value;
};

constexpr PackedResult UnpackResult(jlong result) {
    return {static_cast<std::int32_t>(result & 0xFFFF),
            static_cast<std::int32_t>(static_cast<std::uint32_t>(
                static_cast<std::uint64_t>(result >> 16) & 0xFFFFFFFFu))};
}

// A plain long: its low 32 bits are the return code.
constexpr std::int32_t PlainResult(jlong result) {
    return static_cast<std::int32_t>(
        static_cast<std::uint32_t>(static_cast<std::uint64_t>(result) & 0xFFFFFFFFu));
}

// The context of one handler's Java calls on the HLLBridge object of its
// session, with the method cache of that session's registration.
class JavaCallContext : public JavaObjectCall {
public:
    // The BridgeObject of session slot `sessionIndex` (0..25).
    explicit JavaCallContext(std::int32_t sessionIndex);
};

// One call of a "J" method on the bridge object of session `sessionIndex`,
// read as a plain result; kJavaCallFailed when the call could not be made or
// raised an exception (cleared).
std::int32_t PlainCall(int sessionIndex, const char* method, const char* signature = "()J",
                       const jvalue* args = nullptr);

// The whole of a handler that only calls the "()J" method `method` and
// answers its plain result, with the handler's "enter" and "returns" trace
// lines under the name `handler`.
std::int32_t TracedPlainCall(const char* handler, int sessionIndex, const char* method);

}  // namespace trv
