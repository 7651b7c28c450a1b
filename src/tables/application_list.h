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
#include "tables/cleanup.h"
#include "tables/table_support.h"

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
    // process) when there is none. Before a block is created, the blocks of
    // every process that ended without detaching are reclaimed; nullptr when
    // none is free even then.
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
    // Frees the blocks whose owner process has ended without detaching (a
    // process with the same id but another start is not the owner) and
    // undoes their ties to the sessions, as ApplicationDestroyed would have
    // in that process. Answers how many were freed.
    int ReclaimBlocksOfEndedProcesses();
    // For a name found in the way (a connection, a list entry): reclaims the
    // block bearing it when its owner has ended. True when no live caller
    // bears the name any more (also when no block does).
    bool ReclaimIfHolderEnded(const char* name);
    // Whether the block's owner process has ended (false for a free block).
    static bool HolderEnded(const ApplicationBlock& block);

private:
    // FindApplicationBlock, by process (and thread when `threadId` is given),
    // with its trace lines; takes the table's lock unless the calling thread
    // holds it already (`lockHeld`).
    ApplicationBlock* FindBlock(std::uint32_t processId, const std::uint32_t* threadId, bool lockHeld);
    ApplicationBlock* FirstFreeBlock();
    void InitialiseBlock(ApplicationBlock& block, std::uint32_t processId, std::uint32_t threadId,
                         bool perProcess, const char (&name)[kBlockNameSize]);
    static bool IsOwnIncarnation(const ApplicationBlock& block);
    SessionLinks FreeBlockOfEndedProcess(ApplicationBlock& block, int index);
};

// Held while a block's key queue changes (see ApplicationBlock): the
// emulator's thread appending a keystroke and the caller taking one out run
// in two processes. The lock is the application table's own mutex
// "PEAR_LIST_MUTEX", which also keeps a block from being freed or handed
// out while its queue changes; it is held only for the change itself, with
// no other lock taken inside it. Re-entrant, like every table lock.
class KeyQueueLock {
public:
    KeyQueueLock() : lock_(kApplicationListMutexName) {}
    bool held() const { return lock_.held(); }

private:
    TableLock lock_;
};

static_assert(std::is_standard_layout_v<ApplicationList>);
static_assert(sizeof(ApplicationList) == kApplicationListSize);
static_assert(offsetof(ApplicationList, ListMutexHandle) == 0);
static_assert(offsetof(ApplicationList, Blocks) == 8);

// The block's position in the application table, or -1 for a block outside
// it (a caller that is not attached to the shared table).
int ApplicationBlockIndex(const ApplicationBlock& block);

// What of Data may be non-zero since it was last cleared, kept beside the
// table (in the block's exchange word) so that the caller's copy-back clears
// only that: every writer of Data, in either process, notes how far it
// writes before its reply is posted. A block without an exchange word counts
// as written whole.
void NoteDataWritten(const ApplicationBlock& block, std::size_t bytes);
std::size_t DataWrittenExtent(const ApplicationBlock& block);
void NoteDataCleared(const ApplicationBlock& block);

}  // namespace trv
