// ApplicationBlock: the exchange block of one EHLLAPI caller (a process, or
// one thread of it), a wire format read and written at the same byte offsets
// by the caller and by the emulator's service thread. Little-endian integers,
// 64-bit handles and addresses, zero-terminated single-byte strings.
//
// Handles and caller addresses in a block are meaningful only in the process
// whose id is ProcessId; the emulator side opens the reply event by
// ReplyEventName. The bounded helpers at the end are the way to fill Data and
// the key queues without running past them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "platform/handle.h"
#include "platform/window.h"
#include "shared/name_format.h"
#include "shared/process_state.h"

namespace trv {

constexpr std::size_t kApplicationBlockSize = 119216;
constexpr std::size_t kDataSize = 10240;             // Data
constexpr std::size_t kKeyQueueBytes = 4096;         // one session's KeyQueue
constexpr std::size_t kKeyQueueEntries = kKeyQueueBytes / 4;
constexpr std::size_t kTransferNameSize = 256;       // XferPCFile, XferHostFile
constexpr std::size_t kTransferOptionsSize = 512;    // XferOptions
constexpr std::uint32_t kDefaultWaitTimeout = 60000; // TWAIT
constexpr std::uint16_t kStoppedKeyQueueLimit = 32;  // after a stop of the intercept

// One intercepted keystroke.
struct KeyQueueEntry {
    std::uint8_t Kind;      // 0: 'A' a character, any other value a mnemonic
    std::uint8_t Reserved;  // 1: zero
    std::uint16_t Value;    // 2: character code, or the mnemonic table row
};
static_assert(sizeof(KeyQueueEntry) == 4);
static_assert(offsetof(KeyQueueEntry, Value) == 2);

struct ApplicationBlock {
    std::uint32_t ProcessId;                         // 0: 0 marks a free block
    std::uint32_t ThreadId;                          // 4
    std::uint32_t OwnerThreadId;                     // 8
    std::uint32_t SessionParms;                      // 12
    std::int32_t SessionID;                          // 16: 0..25, -1 when none
    std::uint32_t TimeoutValue;                      // 20
    std::uint32_t AttrMode;                          // 24
    std::uint32_t WaitTimeout;                       // 28
    std::uint32_t Function;                          // 32
    std::uint32_t DataLength;                        // 36
    std::uint32_t ReturnCode;                        // 40
    std::uint32_t ReplyLength;                       // 44
    std::int32_t ReplyCount;                         // 48
    // The owner's start stamp (platform::ProcessStartStamp), so that a
    // process that later got the same id is not taken for the owner.
    std::uint32_t OwnerStartStamp;                   // 52
    std::uint64_t CallerData;                        // 56: caller's process only
    std::uint64_t CallerLength;                      // 64
    std::uint64_t CallerReturnCode;                  // 72
    char ShortName;                                  // 80: 0 when not connected
    std::uint8_t WinConnected[kSessionCount];        // 81
    char EscChar;                                    // 107
    char EotChar;                                    // 108
    std::uint8_t EnhEHLLAPI;                         // 109
    std::uint8_t OIAUpdated;                         // 110
    std::uint8_t PSUpdated;                          // 111
    std::uint8_t CloseRequested;                     // 112
    std::uint8_t Waiting;                            // 113
    std::uint8_t Reserved;                           // 114
    std::uint8_t Reserved115;                        // 115
    std::uint32_t HostUpdateNotifyType[kSessionCount];      // 116
    char CloseInterceptMode[kSessionCount];                 // 220
    std::uint8_t Padding246[2];                             // 246
    std::uint32_t KeyInterceptOptions[kSessionCount];       // 248
    std::uintptr_t HostNotifyHandle[kSessionCount];         // 352: window or event
    std::uintptr_t CloseInterceptHandle[kSessionCount];     // 560: window or event
    platform::WindowHandle KeyInterceptWindow[kSessionCount];  // 768
    platform::Handle KeyInterceptEvent[kSessionCount];      // 976
    platform::Handle ReplyEvent;                            // 1184
    std::uint8_t Data[kDataSize];                           // 1192
    KeyQueueEntry KeyQueue[kSessionCount][kKeyQueueEntries];  // 11432
    std::int16_t KeyQueueCount[kSessionCount];              // 117928
    std::uint16_t KeyQueueLimit[kSessionCount];             // 117980
    char ReplyEventName[kBlockNameSize];                    // 118032
    char BlockName[kBlockNameSize];                         // 118060
    char XferPCFile[kTransferNameSize];                     // 118088
    char XferHostFile[kTransferNameSize];                   // 118344
    char XferOptions[kTransferOptionsSize];                 // 118600
    std::uint32_t WinOwnerThreadId[kSessionCount];          // 119112

    // Blocks live only in the table; never copied (119 KB) by accident.
    ApplicationBlock() = default;
    ApplicationBlock(const ApplicationBlock&) = delete;
    ApplicationBlock& operator=(const ApplicationBlock&) = delete;

    // Copies `length` bytes into Data, truncated to its 10,240 bytes;
    // answers the number of bytes stored.
    std::size_t StoreData(const void* bytes, std::size_t length);

    // The key queues (KeyQueue, KeyQueueCount) are changed by the emulator
    // (appending) and by the caller (taking the first key, clearing) from
    // two processes: every change, and every read that a change depends on,
    // is made under KeyQueueLock (application_list.h). QueueKey and
    // ClearKeyQueue take it themselves.
    //
    // Appends one keystroke to the queue of session slot `session` (0..25).
    // Refused (false) when the queue holds KeyQueueLimit entries or its
    // 1,024 entries, whichever is fewer, or the slot or the stored count is
    // out of range.
    bool QueueKey(int session, KeyQueueEntry entry);
    // Entries queued for the slot, held to 0..1,024 whatever is stored.
    int QueuedKeys(int session) const;
    // Empties the slot's queue and sets its limit.
    void ClearKeyQueue(int session, std::uint16_t limit);
};

static_assert(std::is_standard_layout_v<ApplicationBlock>);
static_assert(sizeof(ApplicationBlock) == kApplicationBlockSize);
static_assert(offsetof(ApplicationBlock, ProcessId) == 0);
static_assert(offsetof(ApplicationBlock, ThreadId) == 4);
static_assert(offsetof(ApplicationBlock, OwnerThreadId) == 8);
static_assert(offsetof(ApplicationBlock, SessionParms) == 12);
static_assert(offsetof(ApplicationBlock, SessionID) == 16);
static_assert(offsetof(ApplicationBlock, TimeoutValue) == 20);
static_assert(offsetof(ApplicationBlock, AttrMode) == 24);
static_assert(offsetof(ApplicationBlock, WaitTimeout) == 28);
static_assert(offsetof(ApplicationBlock, Function) == 32);
static_assert(offsetof(ApplicationBlock, DataLength) == 36);
static_assert(offsetof(ApplicationBlock, ReturnCode) == 40);
static_assert(offsetof(ApplicationBlock, ReplyLength) == 44);
static_assert(offsetof(ApplicationBlock, ReplyCount) == 48);
static_assert(offsetof(ApplicationBlock, OwnerStartStamp) == 52);
static_assert(offsetof(ApplicationBlock, CallerData) == 56);
static_assert(offsetof(ApplicationBlock, CallerLength) == 64);
static_assert(offsetof(ApplicationBlock, CallerReturnCode) == 72);
static_assert(offsetof(ApplicationBlock, ShortName) == 80);
static_assert(offsetof(ApplicationBlock, WinConnected) == 81);
static_assert(offsetof(ApplicationBlock, EscChar) == 107);
static_assert(offsetof(ApplicationBlock, EotChar) == 108);
static_assert(offsetof(ApplicationBlock, EnhEHLLAPI) == 109);
static_assert(offsetof(ApplicationBlock, OIAUpdated) == 110);
static_assert(offsetof(ApplicationBlock, PSUpdated) == 111);
static_assert(offsetof(ApplicationBlock, CloseRequested) == 112);
static_assert(offsetof(ApplicationBlock, Waiting) == 113);
static_assert(offsetof(ApplicationBlock, Reserved) == 114);
static_assert(offsetof(ApplicationBlock, HostUpdateNotifyType) == 116);
static_assert(offsetof(ApplicationBlock, CloseInterceptMode) == 220);
static_assert(offsetof(ApplicationBlock, KeyInterceptOptions) == 248);
static_assert(offsetof(ApplicationBlock, HostNotifyHandle) == 352);
static_assert(offsetof(ApplicationBlock, CloseInterceptHandle) == 560);
static_assert(offsetof(ApplicationBlock, KeyInterceptWindow) == 768);
static_assert(offsetof(ApplicationBlock, KeyInterceptEvent) == 976);
static_assert(offsetof(ApplicationBlock, ReplyEvent) == 1184);
static_assert(offsetof(ApplicationBlock, Data) == 1192);
static_assert(offsetof(ApplicationBlock, KeyQueue) == 11432);
static_assert(offsetof(ApplicationBlock, KeyQueueCount) == 117928);
static_assert(offsetof(ApplicationBlock, KeyQueueLimit) == 117980);
static_assert(offsetof(ApplicationBlock, ReplyEventName) == 118032);
static_assert(offsetof(ApplicationBlock, BlockName) == 118060);
static_assert(offsetof(ApplicationBlock, XferPCFile) == 118088);
static_assert(offsetof(ApplicationBlock, XferHostFile) == 118344);
static_assert(offsetof(ApplicationBlock, XferOptions) == 118600);
static_assert(offsetof(ApplicationBlock, WinOwnerThreadId) == 119112);

}  // namespace trv
