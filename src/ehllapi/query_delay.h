// The delay applied before every EHLLAPI call, configured by EHLLAPI_DELAY in
// hundredths of a second and read once when the library is attached.
#pragma once

#include <cstdint>

namespace trv {

// The delay in milliseconds for an EHLLAPI_DELAY value: blanks skipped, one
// decimal integer times 10; 0 when the text is not a number. A negative
// value gives 0 and writes an error line to the trace.
std::int32_t ParseQueryDelay(const char* value);

// This process's delay (0 until the attach hook has read it).
std::int32_t QueryDelay();
void SetQueryDelay(std::int32_t milliseconds);

}  // namespace trv
