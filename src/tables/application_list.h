// ApplicationList: the 26 exchange blocks of the EHLLAPI callers, in the
// shared mapping "APPL_LIST_FILE" (3,099,624 bytes: an 8-byte header and 26
// ApplicationBlocks). The first process to attach constructs it in place;
// the last one to detach destroys it.
//
// Every lookup and change takes the named mutex "PEAR_LIST_MUTEX" by name
// (re-entrant). Blocks are handed out as addresses inside this process's view
// of the table; the fields of a block are not locked (the request protocol
// decides who writes what). Any thread of any process may call these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "platform/handle.h"
#include "tables/application_block.h"

namespace trv {

constexpr const char* kApplicationListMappingName = "APPL_LIST_FILE";
constexpr const char* kApplicationListMutexName = "PEAR_LIST_MUTEX";
constexpr std::size_t kApplicationListSize = 3099624;

class ApplicationList {
public:
    // Handle of "PEAR_LIST_MUTEX" in the process that built the table; no
    // other process may use or close it.
    platform::Handle ListMutexHandle;          // 0
    ApplicationBlock Blocks[kSessionCount];    // 8: block i at 8 + i * 119,216

    ApplicationList();   // creates the table mutex, frees all 26 blocks
    ~ApplicationList();  // closes the mutex handle, only in the process that created it
    ApplicationList(const ApplicationList&) = delete;
    ApplicationList& operator=(const ApplicationList&) = delete;

    // The caller's block: with `perProcess` the process's block whatever the
    // thread, otherwise the block of the process and thread; created with
    // the creation defaults and its reply event (a handle of the calling
    // process) when there is none. When all 26 blocks are taken, blocks whose
    // owner process has ended without detaching are reclaimed first; nullptr
    // when none is free even then.
    ApplicationBlock* AddApplicationBlock(std::uint32_t processId, std::uint32_t threadId,
                                          bool perProcess);
    // First block of the process (and thread); nullptr when none.
    ApplicationBlock* FindApplicationBlock(std::uint32_t processId);
    ApplicationBlock* FindApplicationBlock(std::uint32_t processId, std::uint32_t threadId);
    // The used block whose BlockName equals the 28 bytes at `name` (compared
    // over all 28 bytes, so the name must be zero-padded); nullptr when none.
    ApplicationBlock* GetApplicationBlock(const char* name);
    // Frees (zeroes) the first block of the process (and thread). The
    // block's reply-event handle is not closed.
    void RemoveApplicationBlock(std::uint32_t processId, std::uint32_t threadId);
    void RemoveApplicationBlock(std::uint32_t processId);
    // Frees the blocks of processes that ended without detaching and undoes
    // their ties to the sessions (their handles are left alone: they were
    // the dead process's). Answers the number of blocks freed.
    int ReclaimBlocksOfEndedProcesses();

private:
    // FindApplicationBlock, by process (and thread when `threadId` is given),
    // with its trace lines; takes the table's lock unless the calling thread
    // holds it already (`lockHeld`).
    ApplicationBlock* FindBlock(std::uint32_t processId, const std::uint32_t* threadId, bool lockHeld);
    ApplicationBlock* FirstFreeBlock();
    void InitialiseBlock(ApplicationBlock& block, std::uint32_t processId, std::uint32_t threadId,
                         bool perProcess, const char (&name)[kBlockNameSize]);
};

static_assert(std::is_standard_layout_v<ApplicationList>);
static_assert(sizeof(ApplicationList) == kApplicationListSize);
static_assert(offsetof(ApplicationList, ListMutexHandle) == 0);
static_assert(offsetof(ApplicationList, Blocks) == 8);

}  // namespace trv
