// The application table's operations and the bounded helpers of
// ApplicationBlock.
#include "tables/application_list.h"

#include <cstring>
#include <optional>

#include "platform/process.h"
#include "shared/named_objects.h"
#include "shared/trace.h"
#include "tables/cleanup.h"
#include "tables/table_support.h"

namespace trv {

// ---- ApplicationBlock ------------------------------------------------------

std::size_t ApplicationBlock::StoreData(const void* bytes, std::size_t length) {
    if (bytes == nullptr) return 0;
    std::size_t stored = length < kDataSize ? length : kDataSize;
    std::memcpy(Data, bytes, stored);
    return stored;
}

int ApplicationBlock::QueuedKeys(int session) const {
    if (session < 0 || session >= kSessionCount) return 0;
    int count = KeyQueueCount[session];
    if (count < 0) return 0;
    return count > static_cast<int>(kKeyQueueEntries) ? static_cast<int>(kKeyQueueEntries) : count;
}

bool ApplicationBlock::QueueKey(int session, KeyQueueEntry entry) {
    if (session < 0 || session >= kSessionCount) return false;
    const KeyQueueLock lock;
    if (!lock.held()) return false;
    int count = KeyQueueCount[session];
    // The limit may be set as high as 3,069 entries; the queue holds 1,024.
    int capacity = KeyQueueLimit[session] < kKeyQueueEntries ? KeyQueueLimit[session]
                                                               : static_cast<int>(kKeyQueueEntries);
    if (count < 0 || count >= capacity) return false;
    KeyQueue[session][count] = entry;
    KeyQueueCount[session] = static_cast<std::int16_t>(count + 1);
    return true;
}

void ApplicationBlock::ClearKeyQueue(int session, std::uint16_t limit) {
    if (session < 0 || session >= kSessionCount) return;
    const KeyQueueLock lock;
    std::memset(KeyQueue[session], 0, sizeof KeyQueue[session]);
    KeyQueueCount[session] = 0;
    KeyQueueLimit[session] = limit;
}

// ---- ApplicationList -------------------------------------------------------

namespace {

void ZeroBlock(ApplicationBlock& block) {
    std::memset(static_cast<void*>(&block), 0, sizeof block);
}

}  // namespace

ApplicationList::ApplicationList() {
    TRV_TRACE("ApplicationList::ctor enter");
    ListMutexHandle = CreateHLLMutex(kApplicationListMutexName);
    NoteOwnHandle(&ListMutexHandle, ListMutexHandle);
    for (ApplicationBlock& block : Blocks) ZeroBlock(block);
    TRV_TRACE("ApplicationList::ctor return");
}

ApplicationList::~ApplicationList() {
    TRV_TRACE("ApplicationList::dtor enter");
    // Only the building process's handle is closed; any other process that
    // happens to detach last leaves the value alone.
    if (TakeOwnHandle(&ListMutexHandle, ListMutexHandle)) {
        CloseHLLMutex(ListMutexHandle);
        ListMutexHandle = platform::kNoHandle;
    }
    TRV_TRACE("ApplicationList::dtor return");
}

ApplicationBlock* ApplicationList::FirstFreeBlock() {
    for (ApplicationBlock& block : Blocks) {
        if (block.ProcessId == 0) return &block;
    }
    return nullptr;
}

void ApplicationList::InitialiseBlock(ApplicationBlock& block, std::uint32_t processId,
                                      std::uint32_t threadId, bool perProcess,
                                      const char (&name)[kBlockNameSize]) {
    ZeroBlock(block);
    block.ProcessId = processId;
    block.ThreadId = threadId;
    block.EscChar = '@';
    block.SessionID = -1;
    block.WaitTimeout = kDefaultWaitTimeout;
    block.EnhEHLLAPI = perProcess ? 1 : 0;
    FormatBounded(block.ReplyEventName, sizeof block.ReplyEventName, "APPL_EVENT_%8.8X%8.8X",
                  processId, threadId);
    TRV_TRACE("ApplicationList::AddApplicationBlock - create event=[%s]", block.ReplyEventName);
    block.ReplyEvent = CreateHLLEvent(false, block.ReplyEventName);
    NoteOwnHandle(&block.ReplyEvent, block.ReplyEvent);
    std::memcpy(block.BlockName, name, sizeof block.BlockName);
}

ApplicationBlock* ApplicationList::AddApplicationBlock(std::uint32_t processId,
                                                       std::uint32_t threadId, bool perProcess) {
    TRV_TRACE("ApplicationList::AddApplicationBlock enter - pid=[%x], tid=[%x]", processId, threadId);
    // The name is formatted only when it is shown or given to a new block:
    // finding the caller's existing block, every call's case, needs none.
    char name[kBlockNameSize] = {};
    auto formatName = [&] { FormatBounded(name, sizeof name, "APPL_BLOCK_%8.8X%8.8X", processId, threadId); };
    if (TraceEnabled()) formatName();
    TRV_TRACE("ApplicationList::AddApplicationBlock - name=[%s]", name);

    ApplicationBlock* result = nullptr;
    // Second pass only when the table was full and blocks of ended processes
    // could be reclaimed in between.
    for (int pass = 0; pass < 2 && result == nullptr; ++pass) {
        if (pass == 1 && ReclaimBlocksOfEndedProcesses() == 0) break;
        TableLock lock(kApplicationListMutexName);
        if (!lock.held()) break;
        // The lookup runs under this lock rather than taking it once more.
        result = FindBlock(processId, perProcess ? nullptr : &threadId, true);
        if (result != nullptr) break;
        if (pass == 0) TRV_TRACE("ApplicationList::AddApplicationBlock - appl block not found - create new");
        result = FirstFreeBlock();
        if (result != nullptr) {
            if (name[0] == '\0') formatName();
            InitialiseBlock(*result, processId, threadId, perProcess, name);
        }
    }
    TRV_TRACE("ApplicationList::AddApplicationBlock return");
    return result;
}

// A process killed outright never runs its detach, so its blocks would stay
// taken for ever. Each such block is freed under the lock first (so that no
// two reclaimers undo it twice), then its ties to the sessions are undone
// from a copy, without holding this table's lock while the session table's
// is taken. Its handles were the dead process's and are left alone.
int ApplicationList::ReclaimBlocksOfEndedProcesses() {
    int reclaimed = 0;
    for (int i = 0; i < kSessionCount; ++i) {
        SessionLinks links{};
        {
            TableLock lock(kApplicationListMutexName);
            if (!lock.held()) return reclaimed;
            ApplicationBlock& block = Blocks[i];
            std::uint32_t owner = block.ProcessId;
            if (owner == 0 || platform::IsProcessAlive(owner)) continue;
            TRV_TRACE("ApplicationList::AddApplicationBlock - reclaim block of ended process pid=[%x] at i=[%d]",
                      owner, i);
            links = SessionLinksOf(block);
            ZeroBlock(block);
        }
        UnlinkFromSessions(links, nullptr);
        ++reclaimed;
    }
    return reclaimed;
}

ApplicationBlock* ApplicationList::FindApplicationBlock(std::uint32_t processId) {
    return FindBlock(processId, nullptr, false);
}

ApplicationBlock* ApplicationList::FindApplicationBlock(std::uint32_t processId,
                                                        std::uint32_t threadId) {
    return FindBlock(processId, &threadId, false);
}

ApplicationBlock* ApplicationList::FindBlock(std::uint32_t processId, const std::uint32_t* threadId,
                                             bool lockHeld) {
    if (threadId != nullptr) {
        TRV_TRACE("ApplicationList::FindApplicationBlock enter - pid=[%x], tid=[%x]", processId, *threadId);
    } else {
        TRV_TRACE("ApplicationList::FindApplicationBlock enter - pid=[%x]", processId);
    }
    ApplicationBlock* found = nullptr;
    if (processId != 0) {
        std::optional<TableLock> lock;
        if (!lockHeld) lock.emplace(kApplicationListMutexName);
        for (int i = 0; (!lock || lock->held()) && i < kSessionCount; ++i) {
            if (Blocks[i].ProcessId != processId) continue;
            if (threadId != nullptr && Blocks[i].ThreadId != *threadId) continue;
            TRV_TRACE("ApplicationList::FindApplicationBlock - block found at i=[%d]", i);
            found = &Blocks[i];
            break;
        }
    }
    TRV_TRACE("ApplicationList::FindApplicationBlock return");
    return found;
}

ApplicationBlock* ApplicationList::GetApplicationBlock(const char* name) {
    char shown[kBlockNameSize + 1] = {};
    if (name != nullptr) std::memcpy(shown, name, kBlockNameSize);
    TRV_TRACE("ApplicationList::GetApplicationBlock enter - Name=[%s]", shown);
    ApplicationBlock* found = nullptr;
    // An empty name would otherwise match every free block.
    if (name != nullptr && name[0] != '\0') {
        TableLock lock(kApplicationListMutexName);
        for (int i = 0; lock.held() && i < kSessionCount; ++i) {
            if (Blocks[i].ProcessId == 0 ||
                std::memcmp(Blocks[i].BlockName, name, kBlockNameSize) != 0) {
                continue;
            }
            TRV_TRACE("ApplicationList::GetApplicationBlock - block found at i=[%d]", i);
            found = &Blocks[i];
            break;
        }
    }
    TRV_TRACE("ApplicationList::GetApplicationBlock return");
    return found;
}

void ApplicationList::RemoveApplicationBlock(std::uint32_t processId, std::uint32_t threadId) {
    TRV_TRACE("ApplicationList::RemoveApplicationBlock enter - pid=[%x], tid=[%x]", processId, threadId);
    ApplicationBlock* block = FindApplicationBlock(processId, threadId);
    if (block != nullptr) {
        TableLock lock(kApplicationListMutexName);
        // Still the same owner: the block may have changed hands in between.
        if (lock.held() && block->ProcessId == processId && block->ThreadId == threadId) ZeroBlock(*block);
    }
    TRV_TRACE("ApplicationList::RemoveApplicationBlock return");
}

void ApplicationList::RemoveApplicationBlock(std::uint32_t processId) {
    TRV_TRACE("ApplicationList::RemoveApplicationBlock enter - pid=[%x]", processId);
    ApplicationBlock* block = FindApplicationBlock(processId);
    if (block != nullptr) {
        TableLock lock(kApplicationListMutexName);
        if (lock.held() && block->ProcessId == processId) ZeroBlock(*block);
    }
    TRV_TRACE("ApplicationList::RemoveApplicationBlock return");
}

}  // namespace trv
