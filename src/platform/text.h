// Conversion of UTF-16 text (as Java strings hold it) to the system's ANSI
// code page, the single-byte text the shared records carry.
#pragma once

#include <cstddef>
#include <cstdint>

namespace trv::platform {

// Converts `length` UTF-16 units at `text` into out[outSize]: at most
// outSize - 1 bytes, always zero-terminated, cut at a character boundary
// when it does not fit. A character the code page lacks becomes the code
// page's default character ('?'). Answers the bytes stored (without the
// terminator); 0 for a null or empty text, or outSize 0 (nothing stored).
std::size_t Utf16ToAnsi(const std::uint16_t* text, std::size_t length, char* out,
                        std::size_t outSize);

}  // namespace trv::platform
