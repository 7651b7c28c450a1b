// The Set Session Parameters keyword table and its tokenizer. Keywords are
// matched as prefixes of a token (so TIMEOUT=5 is TIMEOUT), in row order, so
// that a longer keyword must come before any keyword it starts with.
#include "ehllapi/keyword_table.h"

#include "shared/trace.h"
#include "tables/application_block.h"

namespace trv {

using enum KeywordEffect;

const std::array<Keyword, kKeywordCount> KeywordTable = {{
    {"STRLEN", 0x1, false, none},
    {"STREOT", 0x1, true, none},
    {"SRCHALL", 0x2, false, none},
    {"SRCHFROM", 0x2, true, none},
    {"SRCHFRWD", 0x4, false, none},
    {"SRCHBKWD", 0x4, true, none},
    {"NOATTRB", 0x8, false, attrMode0},
    {"ATTRB", 0x8, true, attrMode1},
    {"NULLATTRB", 0x8, true, attrMode2},
    {"FPAUSE", 0x10, false, none},
    {"IPAUSE", 0x10, true, none},
    {"NOQUIET", 0x20, false, none},
    {"QUIET", 0x20, true, none},
    {"AUTORESET", 0x40, false, none},
    {"NORESET", 0x40, true, none},
    {"CONLOG", 0x80, false, none},
    {"CONPHYS", 0x80, true, none},
    {"TWAIT", 0x100, false, waitLimit},
    {"LWAIT", 0x100, true, waitNever},
    {"NWAIT", 0x100, true, waitNone},
    {"NOEAB", 0x200, false, none},
    {"EAB", 0x200, true, none},
    {"NOXLATE", 0x400, false, none},
    {"YesLATE", 0x400, true, none},
    {"XLATE", 0x400, true, none},
    {"BLANK", 0x800, false, none},
    {"NOBLANK", 0x800, true, none},
    {"CFGSIZE", 0x1000, false, none},
    {"NOCFGSIZE", 0x1000, true, none},
    {"DISPLAY", 0x2000, false, none},
    {"NODISPLAY", 0x2000, true, none},
    {"NOPUTEAB", 0x4000, false, none},
    {"PUTEAB", 0x4000, true, none},
    {"RETRY", 0x8000, false, none},
    {"NORETRY", 0x8000, true, none},
    {"NOEXTEND_PS", 0x10000, false, none},
    {"EXTEND_PS", 0x10000, true, none},
    {"NOKEY", 0x20000, false, none},
    {"KEY", 0x20000, true, none},
    {"EOT", 0x10000000, false, eotChar},
    {"TIMEOUT", 0x20000000, false, timeout},
    {"ESC", 0x30000000, false, escChar},
    {"WRITE_SUPER", 0x50000000, false, none},
    {"SUPER_WRITE", 0x40000000, false, none},
    {"WRITE_WRITE", 0x60000000, false, none},
    {"WRITE_READ", 0x70000000, false, none},
    {"WRITE_NONE", 0x80000000, false, none},
    {"READ_WRITE", 0x90000000, false, none},
}};

namespace {

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool StartsWithIgnoringCase(std::string_view token, std::string_view keyword) {
    if (token.size() < keyword.size()) return false;
    for (std::size_t i = 0; i < keyword.size(); ++i) {
        if (Upper(token[i]) != Upper(keyword[i])) return false;
    }
    return true;
}

// The character after the first "=" of the token; false when there is none
// (no "=", or nothing after it), which leaves the value as it was.
bool ValueOf(std::string_view token, char& value) {
    std::size_t equals = token.find('=');
    if (equals == std::string_view::npos || equals + 1 >= token.size()) return false;
    value = token[equals + 1];
    return true;
}

}  // namespace

const Keyword* FindKeyword(std::string_view token) {
    for (const Keyword& row : KeywordTable) {
        if (StartsWithIgnoringCase(token, row.keyword)) return &row;
    }
    return nullptr;
}

void ApplyKeyword(ApplicationBlock& block, const Keyword& row, std::string_view token) {
    if (row.sets) {
        block.SessionParms |= row.mask;
    } else {
        block.SessionParms &= ~row.mask;
    }
    char value = 0;
    switch (row.effect) {
        case none:
            break;
        case attrMode0:
            block.AttrMode = 0;
            break;
        case attrMode1:
            block.AttrMode = 1;
            break;
        case attrMode2:
            block.AttrMode = 2;
            break;
        case waitLimit:
            block.WaitTimeout = kDefaultWaitTimeout;
            break;
        case waitNever:
            block.WaitTimeout = kNoWaitLimit;
            break;
        case waitNone:
            block.WaitTimeout = 0;
            break;
        case eotChar:
            if (ValueOf(token, value)) block.EotChar = value;
            break;
        case escChar:
            if (ValueOf(token, value)) block.EscChar = value;
            break;
        case timeout:
            // Digits give 0 to 9 half-minutes, the letters J to N 10 to 14.
            if (!ValueOf(token, value)) break;
            if (value >= '0' && value <= '9') block.TimeoutValue = 30u * static_cast<std::uint32_t>(value - '0');
            if (value >= 'J' && value <= 'N') {
                block.TimeoutValue = 30u * static_cast<std::uint32_t>(value - 'J' + 10);
            }
            break;
    }
}

int ApplySessionParameters(ApplicationBlock& block, std::string_view parameters,
                           bool& allRecognised) {
    allRecognised = true;
    int recognised = 0;
    constexpr std::string_view kSeparators = " ,";
    std::size_t at = parameters.find_first_not_of(kSeparators);
    while (at != std::string_view::npos) {
        std::size_t end = parameters.find_first_of(kSeparators, at);
        std::string_view token = parameters.substr(at, end == std::string_view::npos ? end : end - at);
        if (const Keyword* row = FindKeyword(token)) {
            ApplyKeyword(block, *row, token);
            TRV_TRACE("EHLLAPIParser HA_SET_SESSION_PARMS - break1");
            ++recognised;
        } else {
            allRecognised = false;
        }
        at = end == std::string_view::npos ? end : parameters.find_first_not_of(kSeparators, end);
    }
    return recognised;
}

}  // namespace trv
