// UTF-16 to the ANSI code page on POSIX, where that code page is Latin-1:
// units up to 0xFF are their own byte, everything else (surrogate pairs
// included, as one character) is '?'.
#include "platform/text.h"

namespace trv::platform {

std::size_t Utf16ToAnsi(const std::uint16_t* text, std::size_t length, char* out,
                        std::size_t outSize) {
    if (out == nullptr || outSize == 0) return 0;
    std::size_t stored = 0;
    for (std::size_t i = 0; text != nullptr && i < length && stored + 1 < outSize; ++i) {
        const std::uint16_t unit = text[i];
        const bool highSurrogate = unit >= 0xD800 && unit <= 0xDBFF;
        if (highSurrogate && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) ++i;
        out[stored++] = unit <= 0xFF ? static_cast<char>(unit) : '?';
    }
    out[stored] = '\0';
    return stored;
}

}  // namespace trv::platform
