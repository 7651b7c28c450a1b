// Handlers of the functions that work on fields, strings, the cursor, the
// intercepts and position conversion. Each turns the request into one call
// (two for Copy Field to String) of the session's HLLBridge object and
// writes what comes back into the block; field text reaches the caller's
// Data through the reply natives while the Java method runs.
//
// Strings are read within the block's Data only: a STREOT string without its
// end character in Data, and a string whose characters (with their
// extended-attribute bytes) would run past Data, are refused with 2 before
// any Java call.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>
#include <vector>

#include "bridge/handlers.h"
#include "bridge/bridge_call.h"
#include "protocol/caller_data.h"
#include "tables/session_parms.h"
#include "shared/trace.h"
#include "tables/application_block.h"
#include "tables/session_block.h"

namespace trv {
namespace {

// A string argument that cannot be taken from Data: a parameter error.
constexpr std::int32_t kBadStringCode = 2;
// Convert Position or Row/Column with a request letter other than P or R.
constexpr std::int32_t kBadConversionLetter = 9999;
// Find Field Position answers this for a field without character positions
// and still reports where the field starts.
constexpr std::int32_t kZeroLengthFieldCode = 28;

jint Position(const ApplicationBlock& caller) { return static_cast<jint>(caller.ReturnCode); }

bool Has(const ApplicationBlock& caller, std::uint32_t bits) { return (caller.SessionParms & bits) == bits; }

enum class StringUse { copyToPS, copyToField, searchField };

// The input string of Copy String to PS (15), Copy String to Field (33) and
// Search Field (30), or nothing when it cannot be taken from Data.
std::optional<std::vector<std::uint8_t>> InputString(const ApplicationBlock& caller, StringUse use) {
    std::size_t length = 0;
    if (Has(caller, parms::kStrEot)) {
        const void* eot = std::memchr(caller.Data, static_cast<unsigned char>(caller.EotChar), kDataSize);
        if (eot == nullptr) return std::nullopt;
        length = static_cast<std::size_t>(static_cast<const std::uint8_t*>(eot) - caller.Data);
    } else {
        length = caller.DataLength;
    }
    // With PUTEAB and EAB each character is followed by its extended
    // attribute, which the emulator does not take.
    const std::size_t stride = use != StringUse::searchField && Has(caller, parms::kPutEab | parms::kEab) ? 2 : 1;
    if (length > kDataSize / stride) return std::nullopt;
    std::vector<std::uint8_t> text(length);
    for (std::size_t i = 0; i < length; ++i) text[i] = caller.Data[i * stride];
    if (use != StringUse::copyToPS) {
        text.resize(static_cast<std::size_t>(std::find(text.begin(), text.end(), 0) - text.begin()));
    }
    return text;
}

// Calls `method` with the input string and the caller's position; for Search
// Field also the direction and whether the whole field is searched.
std::optional<jlong> CallWithString(JavaCallContext& java, const ApplicationBlock& caller, StringUse use,
                                    const char* method) {
    const std::optional<std::vector<std::uint8_t>> text = InputString(caller, use);
    if (!text) return std::nullopt;
    jbyteArray bytes = java.ByteArray(text->data(), text->size());
    if (bytes == nullptr) return std::nullopt;
    if (use == StringUse::searchField) {
        const bool from = Has(caller, parms::kSrchFrom);
        const bool backward = from && Has(caller, parms::kSrchBkwd);
        const jvalue args[4] = {ObjectArg(bytes), IntArg(Position(caller)), IntArg(backward ? 1 : 0),
                                BoolArg(!from)};
        return java.CallLong(method, "([BIIZ)J", args);
    }
    const jvalue args[2] = {ObjectArg(bytes), IntArg(Position(caller))};
    return java.CallLong(method, "([BI)J", args);
}

// The field code of Find Field Position or Length: the request's bytes up to
// the first zero byte, with anything outside ASCII (never a valid code)
// made '?' so that the text is valid modified UTF-8.
std::string FieldCode(const ApplicationBlock& caller) {
    std::string code;
    for (std::size_t i = 0; i < sizeof(FieldCodeRequest::Code) && caller.Data[i] != 0; ++i) {
        code += caller.Data[i] < 0x80 ? static_cast<char>(caller.Data[i]) : '?';
    }
    return code;
}

std::optional<jlong> CallFindField(JavaCallContext& java, const char* method, const std::string& code,
                                   jint position) {
    jstring text = java.String(code.c_str());
    if (text == nullptr) return std::nullopt;
    const jvalue args[2] = {ObjectArg(text), IntArg(position)};
    return java.CallLong(method, "(Ljava/lang/String;I)J", args);
}

// Reads a packed result: the code is the answer; the value goes to
// DataLength when the code is 0 or one of `alsoFor`.
std::int32_t StorePacked(ApplicationBlock& caller, const std::optional<jlong>& result,
                         std::int32_t alsoFor = 0) {
    if (!result) return kJavaCallFailed;
    const PackedResult packed = UnpackResult(*result);
    if (packed.code == 0 || packed.code == alsoFor) caller.DataLength = static_cast<std::uint32_t>(packed.value);
    return packed.code;
}

// 0 without EAB, 1 with EAB, 2 with EAB and XLATE.
jint ExtendedAttributeMode(const ApplicationBlock& caller) {
    if (!Has(caller, parms::kEab)) return 0;
    return Has(caller, parms::kXlate) ? 2 : 1;
}

}  // namespace

std::int32_t QueryFieldAttribute(ApplicationBlock& caller, const SessionBlock& session) {
    TRV_TRACE("QueryFieldAttribute enter");
    JavaCallContext java(session.Index);
    const jvalue args[1] = {IntArg(Position(caller))};
    const std::int32_t result = StorePacked(caller, java.CallLong("QueryFieldAttribute", "(I)J", args));
    TRV_TRACE("QueryFieldAttribute returns %d", result);
    return result;
}

std::int32_t CopyStringToPS(ApplicationBlock& caller, const SessionBlock& session) {
    TRV_TRACE("CopyStringToPS enter");
    std::int32_t result = kBadStringCode;
    if (InputString(caller, StringUse::copyToPS)) {
        JavaCallContext java(session.Index);
        const std::optional<jlong> answer = CallWithString(java, caller, StringUse::copyToPS, "CopyStringToPS");
        result = answer ? PlainResult(*answer) : kJavaCallFailed;
    }
    TRV_TRACE("CopyStringToPS returns %d", result);
    return result;
}

std::int32_t CopyStringToField(ApplicationBlock& caller, const SessionBlock& session) {
    TRV_TRACE("CopyStringToField enter");
    std::int32_t result = kBadStringCode;
    if (InputString(caller, StringUse::copyToField)) {
        JavaCallContext java(session.Index);
        const std::optional<jlong> answer =
            CallWithString(java, caller, StringUse::copyToField, "CopyStringToField");
        result = answer ? PlainResult(*answer) : kJavaCallFailed;
    }
    TRV_TRACE("CopyStringToField returns %d", result);
    return result;
}

std::int32_t SearchField(ApplicationBlock& caller, const SessionBlock& session) {
    TRV_TRACE("SearchField enter");
    std::int32_t result = kBadStringCode;
    if (InputString(caller, StringUse::searchField)) {
        JavaCallContext java(session.Index);
        result = StorePacked(caller, CallWithString(java, caller, StringUse::searchField, "SearchField"));
    }
    TRV_TRACE("SearchField returns %d", result);
    return result;
}

std::int32_t QuerySessionStatus(ApplicationBlock&, const SessionBlock& session) {
    TRV_TRACE("QuerySessionStatus enter");
    const std::int32_t result = PlainCall(session.Index, "QuerySessionStatus", "()J");
    TRV_TRACE("QuerySessionStatus returns %d", result);
    return result;
}

std::int32_t FindFieldPosition(ApplicationBlock& caller, const SessionBlock& session) {
    TRV_TRACE("FindFieldPosition enter");
    JavaCallContext java(session.Index);
    const std::int32_t result = StorePacked(
        caller, CallFindField(java, "FindFieldPosition", FieldCode(caller), Position(caller)), kZeroLengthFieldCode);
    TRV_TRACE("FindFieldPosition returns %d", result);
    return result;
}

std::int32_t FindFieldLength(ApplicationBlock& caller, const SessionBlock& session) {
    TRV_TRACE("FindFieldLength enter");
    JavaCallContext java(session.Index);
    const std::int32_t result =
        StorePacked(caller, CallFindField(java, "FindFieldLength", FieldCode(caller), Position(caller)));
    TRV_TRACE("FindFieldLength returns %d", result);
    return result;
}

std::int32_t CopyFieldToString(ApplicationBlock& caller, const SessionBlock& session) {
    TRV_TRACE("CopyFieldToString enter");
    std::int32_t result = kJavaCallFailed;
    JavaCallContext java(session.Index);
    const jint position = Position(caller);
    if (const std::optional<jlong> length = CallFindField(java, "FindFieldLength", "  ", position)) {
        const PackedResult packed = UnpackResult(*length);
        std::int64_t fieldLength = packed.code == 0 ? packed.value : 0;
        if (Has(caller, parms::kEab)) fieldLength *= 2;
        if (Has(caller, parms::kStrEot)) fieldLength *= 2;
        const jvalue args[5] = {IntArg(position), IntArg(caller.DataLength), IntArg(caller.AttrMode),
                                BoolArg(!Has(caller, parms::kNoDisplay)),
                                IntArg(ExtendedAttributeMode(caller))};
        if (const std::optional<jlong> copied = java.CallLong("CopyFieldToString", "(IIIZI)J", args)) {
            result = PlainResult(*copied);
        }
        const std::int64_t callerLength = static_cast<std::int32_t>(caller.DataLength);
        if (fieldLength < callerLength) caller.DataLength = static_cast<std::uint32_t>(fieldLength);
    }
    TRV_TRACE("CopyFieldToString returns %d", result);
    return result;
}

std::int32_t SetCursor(ApplicationBlock& caller, const SessionBlock& session) {
    TRV_TRACE("SetCursor enter");
    const jvalue args[1] = {IntArg(Position(caller))};
    const std::int32_t result = PlainCall(session.Index, "SetCursor", "(I)J", args);
    TRV_TRACE("SetCursor returns %d", result);
    return result;
}

std::int32_t StartCloseIntercept(ApplicationBlock&, const SessionBlock& session) {
    return TracedPlainCall("StartCloseIntercept", session.Index, "StartCloseIntercept");
}

std::int32_t StopCloseIntercept(ApplicationBlock&, const SessionBlock& session) {
    return TracedPlainCall("StopCloseIntercept", session.Index, "StopCloseIntercept");
}

std::int32_t StartKeystrokeIntercept(ApplicationBlock&, const SessionBlock& session) {
    return TracedPlainCall("StartKeystrokeIntercept", session.Index, "StartKeystrokeIntercept");
}

std::int32_t StopKeystrokeIntercept(ApplicationBlock&, const SessionBlock& session) {
    return TracedPlainCall("StopKeystrokeIntercept", session.Index, "StopKeystrokeIntercept");
}

// Function 99's answers are positions (R: the position; P: the column, with
// the row in DataLength), so every code but 0 reads as one. A conversion the
// session cannot make (its bridge is going or gone, the call failed) answers
// 0 with DataLength and the position 0, the answer of a position off the
// screen, rather than a code a caller would take for a place on it.
namespace {

std::int32_t NoPosition(ApplicationBlock& caller) {
    caller.DataLength = 0;
    caller.ReturnCode = 0;
    return 0;
}

}  // namespace

std::int32_t ConvertPosRowCol(ApplicationBlock& caller, const SessionBlock& session) {
    TRV_TRACE("ConvertPosRowCol enter");
    std::int32_t result = kBadConversionLetter;
    ConvertPositionRequest request;
    std::memcpy(&request, caller.Data, sizeof request);
    const int letter = std::toupper(static_cast<unsigned char>(request.Conversion));
    if (letter == 'R' || letter == 'P') {
        JavaCallContext java(session.Index);
        std::optional<jlong> answer;
        if (letter == 'R') {
            const jvalue args[2] = {IntArg(static_cast<std::int32_t>(caller.DataLength)),
                                    IntArg(Position(caller))};
            answer = java.CallLong("ConvertRowCol", "(II)J", args);
        } else {
            const jvalue args[1] = {IntArg(Position(caller))};
            answer = java.CallLong("ConvertPos", "(I)J", args);
        }
        if (!answer) {
            TRV_TRACE("ConvertPosRowCol - session %c did not convert, no position", session.ShortName);
            result = NoPosition(caller);
        } else if (letter == 'R') {
            result = static_cast<std::int32_t>(*answer);
            if (result == -1) result = NoPosition(caller);
        } else {
            const PackedResult packed = UnpackResult(*answer);
            caller.DataLength = static_cast<std::uint32_t>(packed.value);
            result = packed.code;
        }
    }
    TRV_TRACE("ConvertPosRowCol returns %d", result);
    return result;
}

}  // namespace trv
