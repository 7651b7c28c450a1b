// SessionBlock: the session table's record of one session letter, a wire
// format shared by the emulator process and every caller process (little-
// endian, 64-bit handles, zero-terminated single-byte strings). Nothing else
// in the code knows its offsets.
//
// The handles in a block are the registering emulator process's own; other
// processes open the events by the names stored beside them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "platform/handle.h"
#include "platform/window.h"
#include "shared/name_format.h"
#include "shared/process_state.h"

namespace trv {

constexpr std::size_t kSessionBlockSize = 2704;
constexpr std::size_t kWindowTitleSize = 128;
constexpr std::size_t kRequestEventNameSize = 17;  // "HLL_EVENT_SESS_%c" and its terminator
constexpr int kNotifyListCapacity = 26;

// One 28-byte, zero-terminated BlockName per caller in a notification list.
using NotifyList = char[kNotifyListCapacity][kBlockNameSize];

// A list's count as stored, held to what the list can hold, so that a count
// spoiled by a process that died mid-update never leads outside the list.
constexpr int UsedNotifyEntries(std::int32_t count) {
    return count < 0 ? 0 : count > kNotifyListCapacity ? kNotifyListCapacity : count;
}

struct SessionBlock {
    std::uint32_t ProcessID;                      // 0: emulator process that registered it
    std::uint8_t Established;                     // 4: 1 while registered
    std::uint8_t Padding5[3];                     // 5
    std::int32_t Index;                           // 8: 0..25, fixed per letter
    char ShortName;                               // 12: 'A'..'Z', fixed per letter
    // Bytes 0-3: the registering process's start stamp (OwnerStartStamp);
    // the rest zero. Carried along by copies and by ImitateSession.
    std::uint8_t Reserved13[9];                   // 13
    char WindowTitle[kWindowTitleSize];           // 22
    std::uint8_t Padding150[2];                   // 150
    platform::WindowHandle WindowHandle;          // 152
    platform::Handle NativeThreadHandle;          // 160
    char PSConnection[kBlockNameSize];            // 168: block connected to the PS
    char WinConnection[kBlockNameSize];           // 196: block holding window services
    char Caller[kBlockNameSize];                  // 224: block being served
    std::uint8_t Padding252[4];                   // 252
    platform::Handle HLLEvent;                    // 256: "HLL_EVENT_SESS_%c"
    platform::Handle PSEvent;                     // 264: "PS_EVENT_SESS_%c"
    platform::Handle OIAEvent;                    // 272: "OIA_EVENT_SESS_%c"
    platform::Handle BothEvent;                   // 280: "BOTH_EVENT_SESS_%c"
    platform::Handle WaitEvent;                   // 288: "WAIT_EVENT_SESS_%c"
    platform::Handle CloseEvent;                  // 296: "CLOSE_EVENT_SESS_%c"
    platform::Handle KeyEvent;                    // 304: "KEY_EVENT_SESS_%c"
    char HLLEventName[kRequestEventNameSize];     // 312
    char PSEventName[kBlockNameSize];             // 329
    char OIAEventName[kBlockNameSize];            // 357
    char BothEventName[kBlockNameSize];           // 385
    char WaitEventName[kBlockNameSize];           // 413
    char CloseEventName[kBlockNameSize];          // 441
    char KeyEventName[kBlockNameSize];            // 469
    NotifyList CloseNotifyList;                   // 497
    std::uint8_t Padding1225[3];                  // 1225
    std::int32_t CloseNotifyCount;                // 1228
    NotifyList KeyNotifyList;                     // 1232
    std::int32_t KeyNotifyCount;                  // 1960
    NotifyList HostNotifyList;                    // 1964
    std::int32_t HostNotifyCount;                 // 2692
    std::uint8_t InhibitedStatus;                 // 2696
    std::uint8_t Padding2697[7];                  // 2697

    // A private, all-zero block (what GetSession answers for an invalid
    // letter).
    SessionBlock();
    // Byte-for-byte copies of all 2,704 bytes, traced.
    SessionBlock(const SessionBlock& other);
    SessionBlock& operator=(const SessionBlock& other);

    // Takes over from `source` exactly what a registration supplies:
    // Established, ProcessID, the reserved bytes and the three connection
    // names. Called under the table lock.
    void ImitateSession(const SessionBlock& source);

    // The registering process's start stamp (platform::ProcessStartStamp),
    // so that a process that later got the same id is not taken for it; 0
    // in a block registered without one.
    std::uint32_t OwnerStartStamp() const {
        std::uint32_t stamp = 0;
        std::memcpy(&stamp, Reserved13, sizeof stamp);
        return stamp;
    }
    void SetOwnerStartStamp(std::uint32_t stamp) { std::memcpy(Reserved13, &stamp, sizeof stamp); }
};

static_assert(sizeof(platform::Handle) == 8 && sizeof(platform::WindowHandle) == 8,
              "the shared records hold 64-bit handles");
static_assert(std::is_standard_layout_v<SessionBlock>);
static_assert(sizeof(SessionBlock) == kSessionBlockSize);
static_assert(offsetof(SessionBlock, ProcessID) == 0);
static_assert(offsetof(SessionBlock, Established) == 4);
static_assert(offsetof(SessionBlock, Index) == 8);
static_assert(offsetof(SessionBlock, ShortName) == 12);
static_assert(offsetof(SessionBlock, Reserved13) == 13);
static_assert(offsetof(SessionBlock, WindowTitle) == 22);
static_assert(offsetof(SessionBlock, WindowHandle) == 152);
static_assert(offsetof(SessionBlock, NativeThreadHandle) == 160);
static_assert(offsetof(SessionBlock, PSConnection) == 168);
static_assert(offsetof(SessionBlock, WinConnection) == 196);
static_assert(offsetof(SessionBlock, Caller) == 224);
static_assert(offsetof(SessionBlock, HLLEvent) == 256);
static_assert(offsetof(SessionBlock, PSEvent) == 264);
static_assert(offsetof(SessionBlock, OIAEvent) == 272);
static_assert(offsetof(SessionBlock, BothEvent) == 280);
static_assert(offsetof(SessionBlock, WaitEvent) == 288);
static_assert(offsetof(SessionBlock, CloseEvent) == 296);
static_assert(offsetof(SessionBlock, KeyEvent) == 304);
static_assert(offsetof(SessionBlock, HLLEventName) == 312);
static_assert(offsetof(SessionBlock, PSEventName) == 329);
static_assert(offsetof(SessionBlock, OIAEventName) == 357);
static_assert(offsetof(SessionBlock, BothEventName) == 385);
static_assert(offsetof(SessionBlock, WaitEventName) == 413);
static_assert(offsetof(SessionBlock, CloseEventName) == 441);
static_assert(offsetof(SessionBlock, KeyEventName) == 469);
static_assert(offsetof(SessionBlock, CloseNotifyList) == 497);
static_assert(offsetof(SessionBlock, CloseNotifyCount) == 1228);
static_assert(offsetof(SessionBlock, KeyNotifyList) == 1232);
static_assert(offsetof(SessionBlock, KeyNotifyCount) == 1960);
static_assert(offsetof(SessionBlock, HostNotifyList) == 1964);
static_assert(offsetof(SessionBlock, HostNotifyCount) == 2692);
static_assert(offsetof(SessionBlock, InhibitedStatus) == 2696);

}  // namespace trv
