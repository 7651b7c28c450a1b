#include "ehllapi/query_delay.h"

#include <cstdio>

#include "shared/trace.h"

namespace trv {
namespace {
std::int32_t g_queryDelay = 0;
}  // namespace

std::int32_t ParseQueryDelay(const char* value) {
    if (value == nullptr) return 0;
    while (*value == ' ') ++value;
    int hundredths = 0;
    if (std::sscanf(value, "%d", &hundredths) != 1) return 0;
    if (hundredths < 0) {
        TRV_TRACE("qmxhll32 *** EHLLAPI_DELAY ERROR value < 0 [%s]", value);
        return 0;
    }
    if (hundredths > INT32_MAX / 10) return INT32_MAX / 10 * 10;
    return hundredths * 10;
}

std::int32_t QueryDelay() { return g_queryDelay; }
void SetQueryDelay(std::int32_t milliseconds) { g_queryDelay = milliseconds; }

}  // namespace trv
