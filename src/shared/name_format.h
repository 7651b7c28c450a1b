// Bounded formatting of object names, message texts and paths into the
// fixed-size buffers the shared records and object names use.
#pragma once

#include <cstddef>

namespace trv {

constexpr std::size_t kProcessMutexNameSize = 24;  // "TRV_APPL_BLOCK_%8.8X"
constexpr std::size_t kBlockNameSize = 28;         // block and event names
constexpr std::size_t kSessionMutexNameSize = 13;  // "SESS_MUTEX_%c"
constexpr std::size_t kMessageTextSize = 100;      // message-box texts
constexpr std::size_t kPathBufferSize = 260;       // paths

// printf-style formatting into buffer[size]. Answers the number of
// characters written, or -1 when the text did not fit (the buffer then holds
// the truncated, terminated text). A null buffer or size 0 answers -1.
int FormatBounded(char* buffer, std::size_t size, const char* format, ...)
    __attribute__((format(gnu_printf, 3, 4)));

}  // namespace trv
