// The mnemonic table of keystrokes: each row pairs an EHLLAPI escape code
// ("@E") with the mnemonic the Java emulator understands ("[enter]"). The
// row number is what an intercepted key is queued as, so rows never move.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace trv {

struct MnemonicRow {
    const char* code;         // escape code with '@' as escape character; "" in the end row
    const char* mnemonic;     // bracketed name, or a single " " or "@"
    std::uint8_t codeLength;  // 2 or 4; 0 only in the end row
    bool aid;                 // taken by an AID-only keystroke intercept
};

constexpr std::size_t kMnemonicRows = 225;
constexpr int kMnemonicEndRow = 224;  // "[null]": as a code it matches anything

extern const std::array<MnemonicRow, kMnemonicRows> MnemonicTable;

// The first row whose mnemonic is a prefix of the zero-terminated `keyText`
// (compared byte for byte over the mnemonic's length), or -1.
int FindMnemonicPrefixOf(const char* keyText);

}  // namespace trv
