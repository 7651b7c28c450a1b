// QMXAPIList: the 26 session-API records, one per caller thread, in the
// shared mapping "QMXAPI_LIST_FILE" (36,200 bytes: an 8-byte header and 26
// QMXAPIBlocks). The first process to attach constructs it in place; the
// last one to detach destroys it.
//
// Every operation takes the named mutex "TRVQMXAPILSTMTX" by name
// (re-entrant). Records are handed out as addresses inside this process's
// view of the table; their contents are not locked. Any thread of any
// process may call these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "platform/handle.h"
#include "shared/process_state.h"
#include "tables/qmxapi_block.h"

namespace trv {

constexpr const char* kQMXAPIListMappingName = "QMXAPI_LIST_FILE";
constexpr const char* kQMXAPIListMutexName = "TRVQMXAPILSTMTX";
constexpr std::size_t kQMXAPIListSize = 36200;

class QMXAPIList {
public:
    // Handle of "TRVQMXAPILSTMTX" in the process that built the table; no
    // other process may use or close it.
    platform::Handle ListMutexHandle;  // 0
    QMXAPIBlock Blocks[kSessionCount];   // 8: record i at 8 + i * 1,392

    QMXAPIList();   // creates the table mutex, frees all 26 records
    ~QMXAPIList();  // closes the mutex handle, only in the process that created it
    QMXAPIList(const QMXAPIList&) = delete;
    QMXAPIList& operator=(const QMXAPIList&) = delete;

    // The record of the pair, created (with its event, a handle of the
    // calling process, and its global atom) when there is none. When all 26
    // are owned, records whose owner process has ended are reclaimed first;
    // nullptr when none is free even then.
    QMXAPIBlock* AddQMXAPIBlock(std::uint32_t processId, std::uint32_t threadId);
    QMXAPIBlock* FindQMXAPIBlock(std::uint32_t processId, std::uint32_t threadId);
    QMXAPIBlock* FindQMXAPIBlock(std::uint32_t processId);
    // The owned record whose name equals `name` in its first 32 characters.
    QMXAPIBlock* GetQMXAPIBlock(const char* name);
    // The record at `index`; nullptr outside 0..25.
    QMXAPIBlock* GetQMXAPIBlock(int index);
    // Frees the pair's record and deletes its atom; the event handle is not
    // closed. Always 0.
    int RemoveQMXAPIBlock(std::uint32_t processId, std::uint32_t threadId);

private:
    int ReclaimRecordsOfEndedProcesses();
};

static_assert(std::is_standard_layout_v<QMXAPIList>);
static_assert(sizeof(QMXAPIList) == kQMXAPIListSize);
static_assert(offsetof(QMXAPIList, ListMutexHandle) == 0);
static_assert(offsetof(QMXAPIList, Blocks) == 8);

// The calling thread's record in this process's table, created on first use;
// nullptr when the process is not attached or the table is full.
QMXAPIBlock* GetQMXAPIBlock();

// Signals the event of every record whose owner waits for the emulator (by
// the event's name); the woken owners clear their flags. Called in the
// emulator process when its session-API service thread has ended.
void AlertWaitingQMXAPIBlocks();

}  // namespace trv
