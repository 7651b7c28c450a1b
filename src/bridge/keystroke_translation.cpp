// The Send Key handler: the caller's keystroke string is pre-translated in
// place, cut at its end, its brackets doubled and its escape codes replaced
// by the mnemonics of the mnemonic table, then handed to the emulator's
// "SendKeys" after a "[reset]" (unless NORESET). Everything is read within
// the block's Data; nothing here depends on the platform.
#include "bridge/keystroke_translation.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>

#include "bridge/handlers.h"
#include "bridge/bridge_call.h"
#include "protocol/mnemonic_table.h"
#include "tables/session_parms.h"
#include "shared/trace.h"
#include "tables/application_block.h"
#include "tables/application_list.h"
#include "tables/session_block.h"

namespace trv {
namespace {

struct PreTranslation {
    const char* pattern;      // 3 bytes
    const char* replacement;  // 4 bytes
};

constexpr PreTranslation kPreTranslations[] = {
    {"@Sr", "@S@<"},  // [screenrtl]
    {"@Sl", "@S@>"},  // [screenltr]
    {"@Se", "@:@l"},  // [latinlayer]
    {"@Sh", "@:@n"},  // [bidilayer]
};

// At most this many bytes move in one pre-translation (Data less the
// replacement's extra byte and the terminator).
constexpr std::size_t kMaxMovedBytes = kDataSize - 2;

constexpr char kResetMnemonic[] = "[reset]";

// Bytes before the first zero byte of Data, at most all of it.
std::size_t DataStringLength(const ApplicationBlock& caller) {
    const void* zero = std::memchr(caller.Data, 0, kDataSize);
    return zero == nullptr ? kDataSize
                           : static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - caller.Data);
}

bool StartsWith(const ApplicationBlock& caller, const char* prefix) {
    const std::size_t length = std::strlen(prefix);
    return std::memcmp(caller.Data, prefix, length) == 0;
}

jvalue BytesArg(jbyteArray value) {
    jvalue v;
    v.l = value;
    return v;
}

jvalue BoolArg(bool value) {
    jvalue v;
    v.z = value ? JNI_TRUE : JNI_FALSE;
    return v;
}

// "SendKeys" "([BZ)J" with `text`; its plain result, or kJavaCallFailed.
std::int32_t CallSendKeys(JavaCallContext& java, const std::string& text, bool retry) {
    jbyteArray bytes = java.ByteArray(text.data(), text.size());
    if (bytes == nullptr) return kJavaCallFailed;
    const jvalue args[2] = {BytesArg(bytes), BoolArg(retry)};
    const std::optional<jlong> result = java.CallLong("SendKeys", "([BZ)J", args);
    return result ? PlainResult(*result) : kJavaCallFailed;
}

}  // namespace

void PreTranslateKeys(ApplicationBlock& caller) {
    for (const PreTranslation& rule : kPreTranslations) {
        const std::size_t stringLength = DataStringLength(caller);
        const std::uint8_t* begin = caller.Data;
        const std::uint8_t* end = caller.Data + stringLength;
        const std::uint8_t* found = std::search(begin, end, rule.pattern, rule.pattern + 3,
                                                [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); });
        if (found == end) continue;
        const std::size_t offset = static_cast<std::size_t>(found - begin);

        // The move count comes from the caller's length, as the string's end
        // is where the caller says it is; it is kept inside Data.
        std::size_t moved = caller.DataLength > offset ? caller.DataLength - offset : 0;
        moved = std::min({moved, kMaxMovedBytes, kDataSize - offset - 1});
        if (caller.DataLength < std::numeric_limits<std::uint32_t>::max()) caller.DataLength += 1;
        NoteDataWritten(caller, std::max(offset + 1 + moved, offset + 4));
        std::memmove(caller.Data + offset + 1, caller.Data + offset, moved);
        std::memcpy(caller.Data + offset, rule.replacement, std::min<std::size_t>(4, kDataSize - offset));
    }
}

bool KeystrokeInputLength(const ApplicationBlock& caller, std::size_t* length) {
    if ((caller.SessionParms & parms::kStrEot) != 0) {
        const void* eot = std::memchr(caller.Data, static_cast<unsigned char>(caller.EotChar), kDataSize);
        if (eot == nullptr) return false;
        *length = static_cast<std::size_t>(static_cast<const std::uint8_t*>(eot) - caller.Data);
        return true;
    }
    *length = std::min<std::size_t>(caller.DataLength, kDataSize);
    return true;
}

KeystrokeTranslation TranslateKeys(const std::uint8_t* input, std::size_t length, char escape) {
    // The escaped copy: every bracket doubled, ended at the first zero byte.
    std::string escaped;
    escaped.reserve(length * 2);
    for (std::size_t i = 0; i < length && input[i] != 0; ++i) {
        const char c = static_cast<char>(input[i]);
        escaped += c;
        if (c == '[' || c == ']') escaped += c;
    }

    KeystrokeTranslation out{0, {}};
    out.mnemonics.reserve(escaped.size() * 2 + 1);
    std::size_t previous = 0;
    std::size_t current = 0;
    // A zero escape character never occurs in the copy: no codes at all.
    while (escape != 0) {
        const std::size_t at = escaped.find(escape, current);
        if (at == std::string::npos) break;
        char code[4] = {};
        for (std::size_t i = 0; i < 4 && at + i < escaped.size(); ++i) code[i] = escaped[at + i];
        code[0] = '@';
        code[2] = '@';
        std::size_t row = 0;
        while (row < static_cast<std::size_t>(kMnemonicEndRow) &&
               std::memcmp(MnemonicTable[row].code, code, MnemonicTable[row].codeLength) != 0) {
            ++row;
        }
        out.mnemonics.append(escaped, previous, at - previous);
        out.mnemonics += MnemonicTable[row].mnemonic;
        if (MnemonicTable[row].codeLength == 0) {
            out.result = kUnknownKeyCode;
            return out;
        }
        current = previous = at + MnemonicTable[row].codeLength;
    }
    if (previous < escaped.size()) out.mnemonics.append(escaped, previous, std::string::npos);
    return out;
}

bool KeystrokeRetry(const ApplicationBlock& caller) {
    if ((caller.SessionParms & parms::kNoRetry) != 0) return false;
    return !(StartsWith(caller, "@R") || StartsWith(caller, "@A@H") || StartsWith(caller, "@A@Q"));
}

std::int32_t SendKeys(ApplicationBlock& caller, const SessionBlock& session) {
    TRV_TRACE("SendKeys enter");
    PreTranslateKeys(caller);
    std::size_t length = 0;
    KeystrokeTranslation keys{kUnknownKeyCode, {}};
    if (KeystrokeInputLength(caller, &length)) {
        keys = TranslateKeys(caller.Data, length, caller.EscChar);
    } else {
        TRV_TRACE("SendKeys - no end character in the data");
    }

    JavaCallContext java(session.Index);
    if ((caller.SessionParms & parms::kNoReset) == 0) {
        CallSendKeys(java, std::string(kResetMnemonic), false);
    }
    std::int32_t result = keys.result;
    if (result == 0) result = CallSendKeys(java, keys.mnemonics, KeystrokeRetry(caller));
    TRV_TRACE("SendKeys returns %d", result);
    return result;
}

}  // namespace trv
