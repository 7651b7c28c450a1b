#include "shared/name_format.h"

#include <cstdarg>
#include <cstdio>

namespace trv {

int FormatBounded(char* buffer, std::size_t size, const char* format, ...) {
    if (buffer == nullptr || size == 0) return -1;
    va_list args;
    va_start(args, format);
    int written = std::vsnprintf(buffer, size, format, args);
    va_end(args);
    if (written < 0 || static_cast<std::size_t>(written) >= size) return -1;
    return written;
}

}  // namespace trv
