// QMXAPIBlock: the session-API exchange record of one caller thread, a wire
// format shared by the caller processes and the emulator process (little-
// endian integers, a 64-bit handle, zero-terminated single-byte strings).
// The event handle is the owner process's own; every other process opens
// the event by EventName.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "platform/handle.h"

namespace trv {

constexpr std::size_t kQMXAPIBlockSize = 1392;
constexpr std::size_t kQMXAPINameSize = 32;          // BlockName, EventName
constexpr std::size_t kQMXAPITextSize = 260;         // profile names
constexpr std::size_t kQMXAPISessionListBytes = 1024;
constexpr std::size_t kQMXAPISessionListEntries = 128;

// Request codes (Request).
enum QMXAPIRequest : std::uint32_t {
    kQMXStartSession = 0,
    kQMXStopSession = 1,
    kQMXConnectSession = 2,
    kQMXDisconnectSession = 4,
    kQMXQuerySessionList = 8,
    kQMXQueryEmulatorStatus = 16,
    kQMXQueryWorkstationProfile = 32,
    kQMXQueryConnectionInfo = 64,
    kQMXSetLinkTimeout = 128,
};

constexpr std::uint32_t kQMXSystemError = 9;  // QMX_SYSTEM_ERROR
constexpr std::uint32_t kQMXSessionEstablishedBit = 4;

// One entry of a session-list reply.
struct QMXAPISessionEntry {
    char ShortName;             // 0
    std::uint8_t Delivered[3];  // 1: as the emulator delivered them
    std::uint32_t Status;       // 4: status word
};
static_assert(sizeof(QMXAPISessionEntry) == 8);
static_assert(offsetof(QMXAPISessionEntry, Status) == 4);

struct QMXAPIBlock {
    std::uint32_t ProcessId;                        // 0: 0 marks a free record
    std::uint32_t ThreadId;                         // 4
    char BlockName[kQMXAPINameSize];                // 8: "QMXAPI_BLOCK_%8.8X%8.8X"
    std::uint16_t Atom;                             // 40: global atom of BlockName
    char EventName[kQMXAPINameSize];                // 42: "QMXAPI_EVENT_%8.8X%8.8X"
    std::uint8_t Unused74[6];                       // 74
    platform::Handle Event;                         // 80: owner process only
    std::uint8_t Waiting;                           // 88
    char ShortName;                                 // 89
    char ShortNameEnd;                              // 90: always 0
    char Text[kQMXAPITextSize];                     // 91
    std::uint8_t SessionList[kQMXAPISessionListBytes];  // 351: QMXAPISessionEntry x 128
    std::uint8_t Unused1375;                        // 1375
    std::uint32_t WindowMode;                       // 1376
    std::uint32_t Result;                           // 1380
    std::uint32_t Request;                          // 1384
    std::uint8_t Unused1388[4];                     // 1388

    QMXAPIBlock() = default;
    // Copies all 1,392 bytes, traced.
    QMXAPIBlock(const QMXAPIBlock& other);
    QMXAPIBlock& operator=(const QMXAPIBlock& other);
};

static_assert(std::is_standard_layout_v<QMXAPIBlock>);
static_assert(sizeof(QMXAPIBlock) == kQMXAPIBlockSize);
static_assert(offsetof(QMXAPIBlock, ProcessId) == 0);
static_assert(offsetof(QMXAPIBlock, ThreadId) == 4);
static_assert(offsetof(QMXAPIBlock, BlockName) == 8);
static_assert(offsetof(QMXAPIBlock, Atom) == 40);
static_assert(offsetof(QMXAPIBlock, EventName) == 42);
static_assert(offsetof(QMXAPIBlock, Event) == 80);
static_assert(offsetof(QMXAPIBlock, Waiting) == 88);
static_assert(offsetof(QMXAPIBlock, ShortName) == 89);
static_assert(offsetof(QMXAPIBlock, ShortNameEnd) == 90);
static_assert(offsetof(QMXAPIBlock, Text) == 91);
static_assert(offsetof(QMXAPIBlock, SessionList) == 351);
static_assert(offsetof(QMXAPIBlock, WindowMode) == 1376);
static_assert(offsetof(QMXAPIBlock, Result) == 1380);
static_assert(offsetof(QMXAPIBlock, Request) == 1384);

}  // namespace trv
