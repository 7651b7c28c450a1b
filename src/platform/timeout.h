// Time limits and wait results shared by every waiting call of this layer.
#pragma once

#include <cstdint>

namespace trv::platform {

constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;

// Wait status values, as the Win32 waits report them.
constexpr std::uint32_t kWaitObject0 = 0;        // + index of the signalled object
constexpr std::uint32_t kWaitTimeout = 258;
constexpr std::uint32_t kWaitFailed = 0xFFFFFFFFu;
constexpr std::uint32_t kMaxWaitObjects = 64;

}  // namespace trv::platform
