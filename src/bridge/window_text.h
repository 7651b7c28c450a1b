// The coordinate text the emulator's "QueryWindowCoordinates" leaves in Data:
// " L<left> B<bottom> R<right> T<top>W", each a signed decimal number.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace trv {

struct WindowCoordinates {
    std::int32_t left;
    std::int32_t bottom;
    std::int32_t right;
    std::int32_t top;
};

// The four numbers of the text from its first " L", read within 39
// characters of it; nothing when a marker or a number is missing there.
std::optional<WindowCoordinates> ParseCoordinateText(std::string_view text);

}  // namespace trv
