// Translation of an EHLLAPI keystroke string ("ABC@E", escape codes after the
// escape character) into the mnemonic form the Java emulator takes
// ("ABC[enter]", special keys as bracketed names, literal brackets doubled).
// The steps are separate so that each can be tried without a Java side; the
// Send Key handler (SendKeys in handlers.h) runs them in order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace trv {

struct ApplicationBlock;

// Answered when the string holds an escape code that no mnemonic row knows,
// or when STREOT is set and Data holds no end character.
constexpr std::int32_t kUnknownKeyCode = 2;

// Rewrites, in place in the block's Data, the first occurrence of each of
// "@Sr", "@Sl", "@Se" and "@Sh" ('@' literally, whatever the escape
// character) into its four-byte code, moving the rest of the string one
// place to the right and growing DataLength by one. Never reads or writes
// outside Data.
void PreTranslateKeys(ApplicationBlock& caller);

// The bytes of Data that form the keystroke string: with STREOT those before
// the first end character (false when Data holds none), otherwise the first
// DataLength bytes, at most the whole of Data.
bool KeystrokeInputLength(const ApplicationBlock& caller, std::size_t* length);

struct KeystrokeTranslation {
    std::int32_t result;    // 0, or kUnknownKeyCode
    std::string mnemonics;  // what goes to the emulator when result is 0
};

// Translates `length` bytes of `input` with `escape` as the escape
// character. The text ends at its first zero byte, as the emulator would
// take it. An escape code near the end is compared as if zeros followed.
KeystrokeTranslation TranslateKeys(const std::uint8_t* input, std::size_t length, char escape);

// Whether the keys may wait for the host's answer to an earlier attention
// key: not with NORETRY, nor for a string that starts with Reset ("@R"),
// System Request ("@A@H") or Attention ("@A@Q"), '@' taken literally.
bool KeystrokeRetry(const ApplicationBlock& caller);

}  // namespace trv
