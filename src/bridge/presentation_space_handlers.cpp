// Handlers of the functions that connect to, read, search and query the
// presentation space and the status line, and reserve and release it. Bulk
// data (screen text, status bytes) reaches the caller's Data through the
// reply natives while the Java method runs; the handlers only read or write
// the block before and after that call.
#include <cstring>

#include "bridge/handlers.h"
#include "bridge/bridge_call.h"
#include "protocol/caller_data.h"
#include "tables/session_parms.h"
#include "shared/trace.h"
#include "tables/application_block.h"
#include "tables/session_block.h"

namespace trv {
namespace {

// Answered for a Search PS in STREOT mode whose Data holds no end character:
// the search string has no end, a parameter error.
constexpr std::int32_t kUnterminatedSearchCode = 2;

// 0 without EAB, 1 with EAB, 2 with EAB and XLATE.
jint ExtendedAttributeMode(std::uint32_t sessionParms) {
    if ((sessionParms & parms::kEab) == 0) return 0;
    return (sessionParms & parms::kXlate) != 0 ? 2 : 1;
}

jboolean DisplayFlag(std::uint32_t sessionParms) {
    return (sessionParms & parms::kNoDisplay) != 0 ? JNI_FALSE : JNI_TRUE;
}

// A "()J" method read as a packed result whose value goes to DataLength.
std::int32_t PackedLengthCall(ApplicationBlock& caller, const SessionBlock& session,
                              const char* method) {
    JavaCallContext java(session.Index);
    const std::optional<jlong> result = java.CallLong(method, "()J");
    if (!result) return kJavaCallFailed;
    const PackedResult packed = UnpackResult(*result);
    if (packed.code == 0) caller.DataLength = static_cast<std::uint32_t>(packed.value);
    return packed.code;
}

// "CopyPS" "(IIIZI)J" from `position` for DataLength positions.
std::int32_t CallCopyPS(JavaCallContext& java, const ApplicationBlock& caller, jint position) {
    const jvalue args[5] = {IntArg(position), IntArg(caller.DataLength), IntArg(caller.AttrMode),
                            BoolArg(DisplayFlag(caller.SessionParms) == JNI_TRUE),
                            IntArg(ExtendedAttributeMode(caller.SessionParms))};
    const std::optional<jlong> result = java.CallLong("CopyPS", "(IIIZI)J", args);
    return result ? PlainResult(*result) : kJavaCallFailed;
}

}  // namespace

std::int32_t ConnectPS(ApplicationBlock&, const SessionBlock& session) {
    return TracedPlainCall("ConnectPS", session.Index, "SendToFront");
}

std::int32_t Reserve(ApplicationBlock&, const SessionBlock& session) {
    return TracedPlainCall("Reserve", session.Index, "Reserve");
}

std::int32_t Release(ApplicationBlock&, const SessionBlock& session) {
    return TracedPlainCall("Release", session.Index, "Release");
}

std::int32_t CopyOIA(ApplicationBlock&, const SessionBlock& session) {
    return TracedPlainCall("CopyOIA", session.Index, "CopyOIA");
}

std::int32_t CopyPS(ApplicationBlock& caller, const SessionBlock& session) {
    TRV_TRACE("CopyPS enter");
    std::int32_t result = kJavaCallFailed;
    JavaCallContext java(session.Index);
    if (const std::optional<jlong> size = java.CallLong("GetPSSize", "()J")) {
        const PackedResult packed = UnpackResult(*size);
        if (packed.code != 0) {
            result = packed.code;
        } else {
            const std::uint32_t positions = static_cast<std::uint32_t>(packed.value) & 0xFFFF;
            std::uint32_t factor = 1;
            if ((caller.SessionParms & parms::kEab) != 0) factor += 1;
            if ((caller.SessionParms & parms::kStrEot) != 0) factor += 2;
            caller.DataLength = positions * factor;
            result = CallCopyPS(java, caller, 1);
        }
    }
    TRV_TRACE("CopyPS returns %d", result);
    return result;
}

std::int32_t CopyPSToString(ApplicationBlock& caller, const SessionBlock& session) {
    TRV_TRACE("CopyPSToString enter");
    JavaCallContext java(session.Index);
    const std::int32_t result = CallCopyPS(java, caller, static_cast<jint>(caller.ReturnCode));
    TRV_TRACE("CopyPSToString returns %d", result);
    return result;
}

std::int32_t SearchPS(ApplicationBlock& caller, const SessionBlock& session) {
    TRV_TRACE("SearchPS enter");
    std::int32_t result = kJavaCallFailed;
    const std::uint32_t flags = caller.SessionParms;
    std::size_t length = 0;
    bool terminated = true;
    if ((flags & parms::kStrEot) != 0) {
        const void* end = std::memchr(caller.Data, static_cast<unsigned char>(caller.EotChar), kDataSize);
        terminated = end != nullptr;
        if (terminated) length = static_cast<std::size_t>(static_cast<const std::uint8_t*>(end) - caller.Data);
    } else {
        length = caller.DataLength < kDataSize ? caller.DataLength : kDataSize;
    }
    if (!terminated) {
        result = kUnterminatedSearchCode;
    } else {
        // The string goes to Java up to its first zero byte.
        const void* zero = std::memchr(caller.Data, 0, length);
        if (zero != nullptr) length = static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - caller.Data);
        bool wholeSpace = true;
        jint start = 1;
        bool backward = false;
        if ((flags & parms::kSrchFrom) != 0) {
            wholeSpace = false;
            start = static_cast<jint>(caller.ReturnCode);
            backward = (flags & parms::kSrchBkwd) != 0;
        }
        JavaCallContext java(session.Index);
        if (jbyteArray text = java.ByteArray(caller.Data, length)) {
            const jvalue args[4] = {ObjectArg(text), IntArg(start), IntArg(backward ? 1 : 0),
                                    BoolArg(wholeSpace)};
            if (const std::optional<jlong> found = java.CallLong("SearchPS", "([BIIZ)J", args)) {
                const PackedResult packed = UnpackResult(*found);
                if (packed.code == 0) caller.DataLength = static_cast<std::uint32_t>(packed.value);
                result = packed.code;
            }
        }
    }
    TRV_TRACE("SearchPS returns %d", result);
    return result;
}

std::int32_t QueryCursorLocation(ApplicationBlock& caller, const SessionBlock& session) {
    TRV_TRACE("QueryCursorLocation enter");
    const std::int32_t result = PackedLengthCall(caller, session, "QueryCursorLocation");
    TRV_TRACE("QueryCursorLocation returns %d", result);
    return result;
}

std::int32_t QuerySession(ApplicationBlock& caller, const SessionBlock& session) {
    TRV_TRACE("QuerySession enter");
    std::int32_t result = kJavaCallFailed;
    JavaCallContext java(session.Index);
    std::optional<std::int32_t> packedSize;
    const std::uint32_t both = parms::kNoCfgSize | parms::kExtendPS;
    if ((caller.SessionParms & both) == both) {
        if (const std::optional<jlong> size = java.CallLong("GetPSSize", "()J")) {
            packedSize = PlainResult(*size);
        }
    } else {
        const std::optional<jlong> rowsResult = java.CallLong("GetPSSizeRows", "()J");
        const std::optional<jlong> colsResult =
            rowsResult ? java.CallLong("GetPSSizeCols", "()J") : std::nullopt;
        if (rowsResult && colsResult) {
            std::int32_t rows = PlainResult(*rowsResult) >> 16;
            if (rows == 25 || rows == 28 || rows == 33 || rows == 44) rows -= 1;
            const std::int32_t columns = PlainResult(*colsResult) >> 16;
            const std::int64_t positions = static_cast<std::int64_t>(rows) * columns;
            packedSize = static_cast<std::int32_t>(static_cast<std::uint32_t>(positions) << 16);
        }
    }
    if (packedSize) {
        result = *packedSize & 0xFFFF;
        if (result == 0) {
            const std::uint16_t size =
                static_cast<std::uint16_t>(static_cast<std::uint32_t>(*packedSize) >> 16);
            QuerySessionsEntry entry{};
            entry.ShortName = session.ShortName;
            entry.LongName[0] = session.ShortName;
            entry.SessionType = 'H';
            entry.PSSize = size;
            caller.StoreData(&entry, sizeof entry);
        }
    }
    TRV_TRACE("QuerySession returns %d", result);
    return result;
}

}  // namespace trv
