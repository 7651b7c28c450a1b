// What the UTLAPI waits share: the deadline in half seconds, the 10 ms poll
// sleep, the no-wait mode with keystroke interception that the key-reading
// waits run under, the pass-on of an intercepted key, and the reading of a
// session's state from the emulator.
//
// Every wait polls complete EHLLAPI or QMXAPI calls and sleeps between them,
// so a wait ends with its process at any point and never leaves a request
// half-served; a call that fails (the emulator gone) only makes its
// condition not hold in that pass, and the deadline still ends the wait.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "trvha64_utlapi.h"

namespace trv::utl {

struct UTLClient;

constexpr std::uint32_t kPollIntervalMs = 10;
constexpr std::uint32_t kHalfSecondMs = 500;
// An intercepted key: at most 6 bytes and a NUL.
constexpr std::size_t kKeyBufferSize = 7;

// Connection statuses of UTLGetConnectionStatus (type 1) that mean busy.
constexpr std::int32_t kStatusHostBusy = 5;
constexpr std::int32_t kStatusSystemBusy = 8;
constexpr std::int32_t kConnectionStatusType = 1;
constexpr bool IsBusyStatus(std::int32_t status) {
    return status == kStatusHostBusy || status == kStatusSystemBusy;
}

// Time since the wait began, against a time-out in half seconds (the
// argument's low 16 bits). Measured with the monotonic tick count.
class WaitClock {
public:
    explicit WaitClock(std::int32_t halfSeconds);
    std::uint32_t Elapsed() const;
    bool Expired() const { return Expired(Elapsed()); }
    bool Expired(std::uint32_t elapsed) const { return elapsed >= limitMs_; }

private:
    std::uint32_t start_;
    std::uint32_t limitMs_;
};

void PollSleep();

// Parameter 10 switched to no-wait (3) and keystroke interception started
// with filter 1 on the client's session; both undone when it goes.
class KeyWaitScope {
public:
    KeyWaitScope(trvUTLClient client, const UTLClient& record);
    ~KeyWaitScope();
    KeyWaitScope(const KeyWaitScope&) = delete;
    KeyWaitScope& operator=(const KeyWaitScope&) = delete;

private:
    trvUTLClient client_;
    char session_[2];
    std::int32_t previousWaitMode_;
};

// Reads one intercepted keystroke into `key` and sends it on to the session
// unchanged, so that the host still gets it. True when a key was read;
// otherwise `key` keeps what it held.
bool PassKeystroke(trvUTLClient client, const char* session, char (&key)[kKeyBufferSize]);

// The session's status word from the emulator; nullopt when no emulator
// answered (QMX_SYSTEM_ERROR is never a status word).
std::optional<std::uint32_t> EmulatorStatus(char letter);

// The low 16 bits of an argument, as the waits and tables take them.
constexpr std::int32_t Unsigned16(std::int32_t value) { return value & 0xFFFF; }

}  // namespace trv::utl
