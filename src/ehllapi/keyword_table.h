// The keywords of Set Session Parameters (function 9) and their effect on
// an exchange block's session parameters.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace trv {

struct ApplicationBlock;

constexpr std::uint32_t kNoWaitLimit = 0xFFFFFFFFu;  // LWAIT

// What a keyword does besides setting or clearing its mask bits.
enum class KeywordEffect : std::uint8_t {
    none,
    attrMode0,   // AttrMode = 0
    attrMode1,   // AttrMode = 1
    attrMode2,   // AttrMode = 2
    waitLimit,   // WaitTimeout = 60,000
    waitNever,   // WaitTimeout = no limit
    waitNone,    // WaitTimeout = 0
    eotChar,     // EotChar = the character after "="
    timeout,     // TimeoutValue from the character after "="
    escChar,     // EscChar = the character after "="
};

struct Keyword {
    std::string_view keyword;  // compared over its whole length, ignoring case
    std::uint32_t mask;
    bool sets;  // true: the mask's bits are set; false: cleared
    KeywordEffect effect;
};

constexpr std::size_t kKeywordCount = 48;

// Searched in row order; the first row whose keyword starts the token wins.
extern const std::array<Keyword, kKeywordCount> KeywordTable;

// The first row whose keyword equals the start of `token`, ignoring case;
// nullptr when none does.
const Keyword* FindKeyword(std::string_view token);

// Applies one recognised keyword, with its token for the value keywords.
void ApplyKeyword(ApplicationBlock& block, const Keyword& row, std::string_view token);

// Applies every blank- or comma-separated token of `parameters` in order.
// Answers the number of recognised keywords; `allRecognised` is false when
// any token was not one.
int ApplySessionParameters(ApplicationBlock& block, std::string_view parameters,
                           bool& allRecognised);

}  // namespace trv
