// What the wait, notification and intercept handlers share: the bits they
// keep in the exchange block, the session's letter and state, and the
// unaligned words they read from and write into the caller's data buffer.
#pragma once

#include <cstdint>
#include <cstring>

namespace trv {

// Bits of HostUpdateNotifyType.
constexpr std::uint32_t kNotifyPS = 0x1;
constexpr std::uint32_t kNotifyOIA = 0x2;
constexpr std::uint32_t kNotifyBoth = kNotifyPS | kNotifyOIA;
constexpr std::uint32_t kNotifyByMessage = 0x10;
constexpr std::uint32_t kNotifyByEvent = 0x20;

// Bits of KeyInterceptOptions.
constexpr std::uint32_t kInterceptAidKeys = 0x1;
constexpr std::uint32_t kInterceptAllKeys = 0x2;
constexpr std::uint32_t kInterceptByMessage = 0x10;

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
