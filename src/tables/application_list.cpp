// The application table's operations and the bounded helpers of
// ApplicationBlock.
#include "tables/application_list.h"

#include <cstring>
#include <optional>

#include "platform/process.h"
#include "platform/thread.h"
#include "shared/exchange_words.h"
#include "shared/named_objects.h"
#include "shared/trace.h"
#include "tables/cleanup.h"
#include "tables/table_support.h"

namespace trv {

// ---- ApplicationBlock ------------------------------------------------------

std::size_t ApplicationBlock::StoreData(const void* bytes, std::size_t length) {
    if (bytes == nullptr) return 0;
    std::size_t stored = length < kDataSize ? length : kDataSize;
    NoteDataWritten(*this, stored);
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
    block.OwnerStartStamp = platform::ProcessStartStamp(processId);
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
    {
        TableLock lock(kApplicationListMutexName);
        if (!lock.held()) {
            TRV_TRACE("ApplicationList::AddApplicationBlock return");
            return nullptr;
        }
        // The lookup runs under this lock rather than taking it once more.
        result = FindBlock(processId, perProcess ? nullptr : &threadId, true);
        // A block under this process's id that an earlier process with the
        // same id left behind is not this caller's.
        if (result != nullptr && !IsOwnIncarnation(*result)) result = nullptr;
    }
    if (result == nullptr) {
        TRV_TRACE("ApplicationList::AddApplicationBlock - appl block not found - create new");
        // A new caller is the moment to give back what ended callers hold.
        ReclaimBlocksOfEndedProcesses();
        TableLock lock(kApplicationListMutexName);
        if (lock.held()) {
            result = FindBlock(processId, perProcess ? nullptr : &threadId, true);
            if (result == nullptr) result = FirstFreeBlock();
        }
        if (result != nullptr) {
            if (name[0] == '\0') formatName();
            InitialiseBlock(*result, processId, threadId, perProcess, name);
        }
    }
    TRV_TRACE("ApplicationList::AddApplicationBlock return");
    return result;
}

// Only the calling process is asked: its own start stamp is read once. For
// any other id the block is taken as found.
bool ApplicationList::IsOwnIncarnation(const ApplicationBlock& block) {
    if (block.ProcessId != platform::CurrentProcessId() || block.OwnerStartStamp == 0) return true;
    static const std::uint32_t ownStamp = platform::CurrentProcessStartStamp();
    return ownStamp == 0 || block.OwnerStartStamp == ownStamp;
}

bool ApplicationList::HolderEnded(const ApplicationBlock& block) {
    return block.ProcessId != 0 && !platform::IsProcessAlive(block.ProcessId, block.OwnerStartStamp);
}

// Called with the table's lock held on a block whose owner has ended: frees
// it and answers what must still be undone in the session table, which is
// done after this lock is let go (never two table locks at once). Its
// handles were the dead process's and are left alone; its reply event is
// opened by name once, which lets the namespace drop an event that no live
// process holds.
SessionLinks ApplicationList::FreeBlockOfEndedProcess(ApplicationBlock& block, int index) {
    TRV_TRACE("ApplicationList::AddApplicationBlock - reclaim block of ended process pid=[%x] at i=[%d]",
              block.ProcessId, index);
    SessionLinks links = SessionLinksOf(block);
    char replyName[kBlockNameSize + 1];
    TerminatedCopy<kBlockNameSize>(replyName, block.ReplyEventName);
    ZeroBlock(block);
    FreeHLLEvent(GetHLLEvent(replyName));
    return links;
}

// A process killed outright never runs its detach, so its blocks would stay
// taken for ever. Each such block is freed under the lock first (so that no
// two reclaimers undo it twice), then its ties to the sessions are undone.
int ApplicationList::ReclaimBlocksOfEndedProcesses() {
    int reclaimed = 0;
    for (int i = 0; i < kSessionCount; ++i) {
        if (Blocks[i].ProcessId == 0) continue;  // a cheap look first: most blocks are free
        SessionLinks links{};
        {
            TableLock lock(kApplicationListMutexName);
            if (!lock.held()) return reclaimed;
            if (!HolderEnded(Blocks[i])) continue;
            links = FreeBlockOfEndedProcess(Blocks[i], i);
        }
        UnlinkFromSessions(links, nullptr);
        ++reclaimed;
    }
    // What else the ended processes held (their call mutexes, ...) goes too.
    if (reclaimed > 0) platform::SweepObjectsOfEndedProcesses();
    return reclaimed;
}

bool ApplicationList::ReclaimIfHolderEnded(const char* name) {
    if (name == nullptr || name[0] == '\0') return true;
    SessionLinks links{};
    {
        TableLock lock(kApplicationListMutexName);
        if (!lock.held()) return false;  // nothing can be shown to have ended
        int index = -1;
        for (int i = 0; i < kSessionCount; ++i) {
            if (Blocks[i].ProcessId != 0 && std::strncmp(Blocks[i].BlockName, name, kBlockNameSize) == 0) {
                index = i;
                break;
            }
        }
        if (index < 0) return true;
        if (!HolderEnded(Blocks[index])) return false;
        links = FreeBlockOfEndedProcess(Blocks[index], index);
    }
    UnlinkFromSessions(links, nullptr);
    platform::SweepObjectsOfEndedProcesses();
    return true;
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

// ---- what of Data was written -------------------------------------------------

int ApplicationBlockIndex(const ApplicationBlock& block) {
    ApplicationList* applications = Applications();
    if (applications == nullptr) return -1;
    const ApplicationBlock* first = &applications->Blocks[0];
    if (&block < first || &block >= first + kSessionCount) return -1;
    return static_cast<int>(&block - first);
}

void NoteDataWritten(const ApplicationBlock& block, std::size_t bytes) {
    ExchangeWord* word = ReplyWord(ApplicationBlockIndex(block));
    if (word == nullptr) return;
    const auto extent = static_cast<std::uint32_t>(bytes < kDataSize ? bytes : kDataSize);
    std::uint32_t noted = word->dataExtent.load();
    while (noted < extent && !word->dataExtent.compare_exchange_weak(noted, extent)) {
    }
}

std::size_t DataWrittenExtent(const ApplicationBlock& block) {
    const ExchangeWord* word = ReplyWord(ApplicationBlockIndex(block));
    if (word == nullptr) return kDataSize;
    const std::uint32_t extent = word->dataExtent.load();
    return extent < kDataSize ? extent : kDataSize;
}

void NoteDataCleared(const ApplicationBlock& block) {
    ExchangeWord* word = ReplyWord(ApplicationBlockIndex(block));
    if (word != nullptr) word->dataExtent.store(0);
}

}  // namespace trv
