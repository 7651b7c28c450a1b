// The file-transfer handler of Send File (90) and Receive File (91). The
// caller's side left the personal-computer file name in XferPCFile and the
// rest of the command, upper case and ending with a blank, in XferOptions.
// Here the host file is split off, the options the bridge handles itself
// (TIME, CLEAR) and those the emulator is not to see (NOCLEAR, QUIET and,
// until the emulator asked for the bridge's version, PROGRESS) are taken
// out, and the transfer is handed to the emulator's "SendReceiveFile".
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "bridge/bridge_call.h"
#include "bridge/handlers.h"
#include "bridge/transfer_options.h"
#include "bridge/version.h"
#include "shared/trace.h"
#include "tables/application_block.h"
#include "tables/session_block.h"
#include "trvha64.h"

namespace trv {
namespace {

constexpr std::size_t kHostFileWords = 3;
constexpr std::size_t kMaxHostFile = kTransferNameSize - 1;
// The time-out value is read from at most this many characters.
constexpr std::size_t kTimeValueDigits = 10;
// "TIME" and the character after it.
constexpr std::size_t kTimeValueOffset = 5;
// An EHLLAPI transfer that completed answers 3, not 0.
constexpr std::int32_t kTransferComplete = 3;

bool RemoveFirst(std::string& text, std::string_view word) {
    const std::size_t at = text.find(word);
    if (at == std::string::npos) return false;
    text.erase(at, word.size());
    return true;
}

// The decimal value of at most kTimeValueDigits characters, as atoi reads
// it (leading blanks and a sign, digits up to the first other character);
// a value beyond a 32-bit integer is clamped.
std::int32_t ReadTimeValue(std::string_view value) {
    char digits[kTimeValueDigits + 1] = {};
    std::memcpy(digits, value.data(), value.size() < kTimeValueDigits ? value.size() : kTimeValueDigits);
    const long long parsed = std::strtoll(digits, nullptr, 10);
    if (parsed > INT32_MAX) return INT32_MAX;
    if (parsed < INT32_MIN) return INT32_MIN;
    return static_cast<std::int32_t>(parsed);
}

// Takes the TIME option out of `text`; answers its value, or -1.
std::int32_t TakeTimeOption(std::string& text) {
    const std::size_t word = text.find("TIME");
    if (word == std::string::npos) return -1;
    std::size_t start = word + kTimeValueOffset;
    while (start < text.size() && text[start] == ' ') ++start;
    if (start >= text.size()) {
        // Nothing follows: the option and whatever is behind it are cut.
        text.erase(word);
        return -1;
    }
    std::size_t end = std::string::npos;
    if (text[start] == '(') {
        ++start;
        while (start < text.size() && text[start] == ' ') ++start;
        end = text.find(')', start);
        if (end == std::string::npos) end = text.find(' ', start);
    } else {
        end = text.find(' ', start);
    }
    const std::size_t valueEnd = end == std::string::npos ? text.size() : end;
    const std::int32_t timeout = ReadTimeValue(std::string_view(text).substr(start, valueEnd - start));
    text.erase(word, end == std::string::npos ? std::string::npos : end + 1 - word);
    return timeout;
}

}  // namespace

TransferRequest SplitTransferOptions(std::string_view rest, bool removeProgress) {
    TransferRequest request;
    std::size_t at = 0;
    auto skipBlanks = [&] {
        while (at < rest.size() && rest[at] == ' ') ++at;
    };
    skipBlanks();
    for (std::size_t word = 0; word < kHostFileWords; ++word) {
        if (at >= rest.size()) {
            request.valid = false;
            break;
        }
        const std::size_t end = rest.find(' ', at);
        const std::size_t stop = end == std::string_view::npos ? rest.size() : end;
        if (word > 0) request.hostFile += ' ';
        request.hostFile.append(rest.substr(at, stop - at));
        at = stop;
        skipBlanks();
    }
    if (request.hostFile.size() > kMaxHostFile) request.valid = false;
    request.options = std::string(rest.substr(at < rest.size() ? at : rest.size()));

    request.timeout = TakeTimeOption(request.options);
    RemoveFirst(request.options, "NOCLEAR,");
    RemoveFirst(request.options, "NOCLEAR");
    const bool clearComma = RemoveFirst(request.options, "CLEAR,");
    const bool clear = RemoveFirst(request.options, "CLEAR");
    request.clear = clearComma || clear;
    RemoveFirst(request.options, "QUIET,");
    RemoveFirst(request.options, "QUIET");
    if (removeProgress) {
        RemoveFirst(request.options, "PROGRESS,");
        RemoveFirst(request.options, "PROGRESS");
    }
    return request;
}

std::int32_t SendReceiveFile(ApplicationBlock& caller, const SessionBlock& session) {
    TRV_TRACE("SendReceiveFile enter");
    char rest[kTransferOptionsSize + 1] = {};
    std::memcpy(rest, caller.XferOptions, kTransferOptionsSize);
    const TransferRequest request = SplitTransferOptions(rest, ProgressOptionSuppressed());

    std::memset(caller.XferHostFile, 0, sizeof caller.XferHostFile);
    if (request.hostFile.size() <= kMaxHostFile) {
        std::memcpy(caller.XferHostFile, request.hostFile.data(), request.hostFile.size());
    }
    // The options only ever shrink; the bound keeps the terminator all the same.
    std::memset(caller.XferOptions, 0, sizeof caller.XferOptions);
    std::memcpy(caller.XferOptions, request.options.data(),
                std::min(request.options.size(), kTransferOptionsSize - 1));

    std::int32_t result = HLLAPI_RC_BAD_PARAMETER;
    if (request.valid) {
        JavaCallContext java(session.Index);
        const jvalue args[6] = {
            IntArg(request.timeout),
            ObjectArg(java.Latin1String(caller.XferPCFile, kTransferNameSize)),
            ObjectArg(java.Latin1String(caller.XferHostFile, kTransferNameSize)),
            ObjectArg(java.Latin1String(caller.XferOptions, kTransferOptionsSize)),
            BoolArg(caller.Function == HA_SEND_FILE),
            BoolArg(request.clear)};
        TRV_TRACE("SendReceiveFile - calling Java method");
        const std::optional<jlong> answer = java.CallLong(
            "SendReceiveFile", "(ILjava/lang/String;Ljava/lang/String;Ljava/lang/String;ZZ)J", args);
        result = answer ? PlainResult(*answer) : kJavaCallFailed;
        TRV_TRACE("SendReceiveFile - return [%d] from Java method", result);
        if (result == 0) result = kTransferComplete;
    }
    TRV_TRACE("SendReceiveFile return %d", result);
    return result;
}

}  // namespace trv
