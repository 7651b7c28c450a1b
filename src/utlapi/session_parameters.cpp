// The parameter table of UTLSetParameter: index, the keywords of its
// settings, and the defaults a new client record starts with.
#include "utlapi/session_parameters.h"

#include "utlapi/utlapi_frame.h"

namespace trv::utl {
namespace {

struct ParameterRow {
    const char* keywords[3];  // settings 1, 2, 3; null where the setting is not allowed
    std::uint32_t defaultValue;
};

constexpr int kTimeoutParameter = 8;
constexpr int kEscapeParameter = 12;
constexpr int kUnsettableParameter = 5;

constexpr ParameterRow kParameters[kParameterCount] = {
    {{nullptr, nullptr, nullptr}, 0},              // 0: not a parameter
    {{"ATTRB", "NOATTRB", nullptr}, 2},            // 1
    // The session's Set Session Parameters knows the opposite of AUTORESET
    // as NORESET and refuses any other spelling.
    {{"AUTORESET", "NORESET", nullptr}, 1},        // 2
    {{"CONLOG", "CONPHYS", nullptr}, 1},           // 3
    {{"EAB", "NOEAB", nullptr}, 2},                // 4
    {{nullptr, nullptr, nullptr}, 0},              // 5: not settable
    {{"SRCHALL", "SRCHFROM", nullptr}, 1},         // 6
    {{"SRCHFRWD", "SRCHBKWD", nullptr}, 1},        // 7
    {{nullptr, nullptr, nullptr}, 0},              // 8: time-out, built below
    {{"", "", nullptr}, 2},                        // 9: accepted, nothing sent
    {{"TWAIT", "LWAIT", "NWAIT"}, 1},              // 10
    {{"", "", nullptr}, 2},                        // 11: accepted, nothing sent
    {{nullptr, nullptr, nullptr}, '@'},            // 12: escape character, built below
};

// Settings 0..9 are their digit, 10..14 the letters J..N, above 14 N.
char TimeoutCharacter(std::int32_t setting) {
    if (setting <= 9) return static_cast<char>('0' + setting);
    if (setting <= 14) return static_cast<char>('J' + (setting - 10));
    return 'N';
}

}  // namespace

void SetDefaultParameters(UTLClient& client) {
    for (int i = 0; i < kParameterCount; ++i) client.parameters[i] = kParameters[i].defaultValue;
}

bool ParameterKeyword(int index, std::int32_t setting, const char* escape, std::string& keyword,
                      std::uint32_t& stored) {
    if (index < 1 || index >= kParameterCount || index == kUnsettableParameter) return false;
    if (index == kTimeoutParameter) {
        if (setting < 0) return false;
        keyword = std::string("TIMEOUT=") + TimeoutCharacter(setting);
        stored = static_cast<std::uint32_t>(setting);
        return true;
    }
    if (index == kEscapeParameter) {
        if (escape == nullptr || escape[0] == 0) return false;
        keyword = std::string("ESC=") + escape[0];
        stored = static_cast<unsigned char>(escape[0]);
        return true;
    }
    if (setting < 1 || setting > 3) return false;
    const char* chosen = kParameters[index].keywords[setting - 1];
    if (chosen == nullptr) return false;
    keyword = chosen;
    stored = static_cast<std::uint32_t>(setting);
    return true;
}

std::string SessionLongNameOf(const std::string& profilePath) {
    constexpr std::size_t kLongNameMax = 255;
    const std::size_t separator = profilePath.find_last_of("\\/");
    std::string name = profilePath.substr(separator == std::string::npos ? 0 : separator + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos) name.resize(dot);
    if (name.size() > kLongNameMax) name.resize(kLongNameMax);
    return name;
}

}  // namespace trv::utl
