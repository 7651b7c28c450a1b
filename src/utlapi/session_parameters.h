// The per-client session parameters: their defaults and the Set Session
// Parameters keyword each index and setting stands for.
#pragma once

#include <cstdint>
#include <string>

namespace trv::utl {

struct UTLClient;

// Parameter indexes the other functions read or switch.
constexpr int kAttributeParameter = 1;  // 1 ATTRB, 2 NOATTRB
constexpr int kWaitParameter = 10;      // 1 TWAIT, 2 LWAIT, 3 NWAIT

void SetDefaultParameters(UTLClient& client);

// The keyword for `setting` of `index`; false for a pair that is not allowed
// (index outside 1..12, index 5, a setting the index does not have). Indexes
// 9 and 11 accept 1 and 2 with an empty keyword: nothing is sent for them.
// `stored` is the value the parameter takes (for index 12, the escape
// character's).
bool ParameterKeyword(int index, std::int32_t setting, const char* escape, std::string& keyword,
                      std::uint32_t& stored);

// A session's long name from its profile path: the last component (after
// the last backslash or slash) without its extension, at most 255 characters.
std::string SessionLongNameOf(const std::string& profilePath);

}  // namespace trv::utl
