// What the wait, notification and intercept handlers share: the session's
// letter and state, and the unaligned words they read from and write into
// the caller's data buffer. The bits they keep in the exchange block are the
// notification protocol's (protocol/notification.h).
#pragma once

#include <cstdint>
#include <cstring>

#include "protocol/notification.h"

namespace trv {

// 'A'..'Z' for a session index 0..25.
inline char SessionLetter(int index) { return static_cast<char>('A' + index); }

// True while session `index` (0..25) is registered and its emulator
// process lives; sessions of an emulator that ended unannounced are
// reclaimed on the way. False for an index outside 0..25.
bool IsSessionEstablished(int index);

inline char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

inline std::uint64_t ReadU64(const unsigned char* at) {
    std::uint64_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}
inline void WriteU64(unsigned char* at, std::uint64_t value) { std::memcpy(at, &value, sizeof value); }
inline void WriteU16(unsigned char* at, std::uint16_t value) { std::memcpy(at, &value, sizeof value); }

}  // namespace trv
