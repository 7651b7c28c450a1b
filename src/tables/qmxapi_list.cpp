// The session-API table's operations and the per-thread record access.
#include "tables/qmxapi_list.h"

#include <cstring>

#include "platform/atom.h"
#include "platform/process.h"
#include "platform/thread.h"
#include "shared/named_objects.h"
#include "shared/trace.h"
#include "tables/table_support.h"

namespace trv {

namespace {

void ZeroRecord(QMXAPIBlock& record) {
    std::memset(static_cast<void*>(&record), 0, sizeof record);
}

// Creates the record's event and keeps its handle as this process's own.
void CreateRecordEvent(QMXAPIBlock& record) {
    TRV_TRACE("QMXAPIBlock::AddQMXAPIBlock - create event=[%s]", record.EventName);
    record.Event = CreateHLLEvent(false, record.EventName);
    NoteOwnHandle(&record.Event, record.Event);
}

}  // namespace

QMXAPIBlock::QMXAPIBlock(const QMXAPIBlock& other) { *this = other; }

QMXAPIBlock& QMXAPIBlock::operator=(const QMXAPIBlock& other) {
    TRV_TRACE("QMXAPIBlock::oper= enter");
    if (this != &other) std::memcpy(static_cast<void*>(this), &other, sizeof *this);
    TRV_TRACE("QMXAPIBlock::oper= return");
    return *this;
}

QMXAPIList::QMXAPIList() {
    TRV_TRACE("QMXAPIBlock::ctor enter");
    ListMutexHandle = CreateHLLMutex(kQMXAPIListMutexName);
    NoteOwnHandle(&ListMutexHandle, ListMutexHandle);
    for (QMXAPIBlock& record : Blocks) ZeroRecord(record);
    TRV_TRACE("QMXAPIBlock::ctor return");
}

QMXAPIList::~QMXAPIList() {
    TRV_TRACE("QMXAPIBlock::dtor enter");
    if (TakeOwnHandle(&ListMutexHandle, ListMutexHandle)) {
        CloseHLLMutex(ListMutexHandle);
        ListMutexHandle = platform::kNoHandle;
    }
    TRV_TRACE("QMXAPIBlock::dtor return");
}

QMXAPIBlock* QMXAPIList::AddQMXAPIBlock(std::uint32_t processId, std::uint32_t threadId) {
    TRV_TRACE("QMXAPIBlock::AddQMXAPIBlock enter - pid=[%x], tid=[%x]", processId, threadId);
    char name[kQMXAPINameSize] = {};
    FormatBounded(name, sizeof name, "QMXAPI_BLOCK_%8.8X%8.8X", processId, threadId);
    TRV_TRACE("QMXAPIBlock::AddQMXAPIBlock - name=[%s]", name);

    TableLock lock(kQMXAPIListMutexName);
    if (!lock.held()) {
        TRV_TRACE("QMXAPIBlock::AddQMXAPIBlock return - table not locked");
        return nullptr;
    }
    QMXAPIBlock* result = FindQMXAPIBlock(processId, threadId);
    if (result != nullptr) {
        // A record of our own ids whose event this process never created was
        // left by an earlier process that had the same id and ended without
        // detaching; its handle means nothing here, so the event is opened
        // anew under the record's name.
        if (processId == platform::CurrentProcessId() && !IsOwnHandle(&result->Event, result->Event)) {
            CreateRecordEvent(*result);
        }
    } else {
        TRV_TRACE("QMXAPIBlock::AddQMXAPIBlock - appl block not found - create new");
        for (int pass = 0; pass < 2 && result == nullptr; ++pass) {
            if (pass == 1 && ReclaimRecordsOfEndedProcesses() == 0) break;
            for (QMXAPIBlock& record : Blocks) {
                if (record.ProcessId == 0) {
                    result = &record;
                    break;
                }
            }
        }
        if (result != nullptr) {
            ZeroRecord(*result);
            result->ProcessId = processId;
            result->ThreadId = threadId;
            FormatBounded(result->EventName, sizeof result->EventName, "QMXAPI_EVENT_%8.8X%8.8X",
                          processId, threadId);
            CreateRecordEvent(*result);
            std::memcpy(result->BlockName, name, sizeof result->BlockName);
            result->Atom = platform::AddGlobalAtom(result->BlockName);
        }
    }
    TRV_TRACE("QMXAPIBlock::AddQMXAPIBlock return");
    return result;
}

// Records of a process that ended without detaching (killed) would stay
// owned for ever. Called under the table lock when no record is free. The
// atom is machine-wide and is deleted; the event handle was the dead
// process's and is left alone.
int QMXAPIList::ReclaimRecordsOfEndedProcesses() {
    int reclaimed = 0;
    for (int i = 0; i < kSessionCount; ++i) {
        QMXAPIBlock& record = Blocks[i];
        if (record.ProcessId == 0 || platform::IsProcessAlive(record.ProcessId)) continue;
        TRV_TRACE("QMXAPIBlock::AddQMXAPIBlock - reclaim record of ended process pid=[%x] at i=[%d]",
                  record.ProcessId, i);
        if (record.Atom != 0) platform::DeleteGlobalAtom(record.Atom);
        ZeroRecord(record);
        ++reclaimed;
    }
    return reclaimed;
}

QMXAPIBlock* QMXAPIList::FindQMXAPIBlock(std::uint32_t processId, std::uint32_t threadId) {
    TRV_TRACE("QMXAPIBlock::FindQMXAPIBlock enter - pid=[%x], tid=[%x]", processId, threadId);
    QMXAPIBlock* found = nullptr;
    if (processId != 0) {
        TableLock lock(kQMXAPIListMutexName);
        for (int i = 0; lock.held() && i < kSessionCount; ++i) {
            if (Blocks[i].ProcessId != processId || Blocks[i].ThreadId != threadId) continue;
            TRV_TRACE("QMXAPIBlock::FindQMXAPIBlock - block found at i=[%d]", i);
            found = &Blocks[i];
            break;
        }
    }
    TRV_TRACE("QMXAPIBlock::FindQMXAPIBlock return");
    return found;
}

QMXAPIBlock* QMXAPIList::FindQMXAPIBlock(std::uint32_t processId) {
    TRV_TRACE("QMXAPIBlock::FindQMXAPIBlock enter - pid=[%x]", processId);
    QMXAPIBlock* found = nullptr;
    if (processId != 0) {
        TableLock lock(kQMXAPIListMutexName);
        for (int i = 0; lock.held() && i < kSessionCount; ++i) {
            if (Blocks[i].ProcessId != processId) continue;
            TRV_TRACE("QMXAPIBlock::FindQMXAPIBlock - block found at i=[%d]", i);
            found = &Blocks[i];
            break;
        }
    }
    TRV_TRACE("QMXAPIBlock::FindQMXAPIBlock return");
    return found;
}

QMXAPIBlock* QMXAPIList::GetQMXAPIBlock(const char* name) {
    char shown[kQMXAPINameSize + 1] = {};
    if (name != nullptr) CopyFixedText(shown, name);
    TRV_TRACE("QMXAPIBlock::GetQMXAPIBlock enter - Name=[%s]", shown);
    QMXAPIBlock* found = nullptr;
    if (name != nullptr && name[0] != '\0') {
        TableLock lock(kQMXAPIListMutexName);
        for (int i = 0; lock.held() && i < kSessionCount; ++i) {
            if (Blocks[i].ProcessId == 0 ||
                std::strncmp(Blocks[i].BlockName, name, kQMXAPINameSize) != 0) {
                continue;
            }
            TRV_TRACE("QMXAPIBlock::GetQMXAPIBlock - block found at i=[%d]", i);
            found = &Blocks[i];
            break;
        }
    }
    TRV_TRACE("QMXAPIBlock::GetQMXAPIBlock return");
    return found;
}

QMXAPIBlock* QMXAPIList::GetQMXAPIBlock(int index) {
    TRV_TRACE("QMXAPIList::GetQMXAPIBlock enter - Index=[%d]", index);
    QMXAPIBlock* record = nullptr;
    if (index >= 0 && index < kSessionCount) {
        TableLock lock(kQMXAPIListMutexName);
        if (lock.held()) record = &Blocks[index];
    }
    TRV_TRACE("QMXAPIBlock::GetQMXAPIBlock return");
    return record;
}

int QMXAPIList::RemoveQMXAPIBlock(std::uint32_t processId, std::uint32_t threadId) {
    TRV_TRACE("QMXAPIBlock::RemoveQMXAPIBlock enter - pid=[%x], tid=[%x]", processId, threadId);
    QMXAPIBlock* record = FindQMXAPIBlock(processId, threadId);
    if (record != nullptr) {
        TableLock lock(kQMXAPIListMutexName);
        if (lock.held() && record->ProcessId == processId && record->ThreadId == threadId) {
            if (record->Atom != 0) platform::DeleteGlobalAtom(record->Atom);
            ZeroRecord(*record);
        }
    }
    TRV_TRACE("QMXAPIBlock::RemoveQMXAPIBlock return");
    return 0;
}

QMXAPIBlock* GetQMXAPIBlock() {
    TRV_TRACE("GetQMXAPIBlock - Enter");
    QMXAPIBlock* record = nullptr;
    if (QMXAPIList* table = QMXAPITable()) {
        std::uint32_t processId = platform::CurrentProcessId();
        std::uint32_t threadId = platform::CurrentThreadId();
        record = table->FindQMXAPIBlock(processId, threadId);
        if (record == nullptr) {
            TRV_TRACE("GetQMXAPIBlock - Block Not Found, Adding it");
            record = table->AddQMXAPIBlock(processId, threadId);
        }
    }
    TRV_TRACE("GetQMXAPIBlock - Exit");
    return record;
}

void AlertWaitingQMXAPIBlocks() {
    TRV_TRACE("AlertWaitingQMXAPIBlocks - Enter");
    if (QMXAPIList* table = QMXAPITable()) {
        for (int i = 0; i < kSessionCount; ++i) {
            QMXAPIBlock* record = table->GetQMXAPIBlock(i);
            if (record == nullptr || record->Waiting == 0) continue;
            char eventName[kQMXAPINameSize + 1];
            TerminatedCopy<kQMXAPINameSize>(eventName, record->EventName);
            platform::Handle event = GetHLLEvent(eventName);
            TRV_TRACE("TMan:QMXAPIThreadProc - TriggerEvent %s", eventName);
            TriggerHLLEvent(event);
            FreeHLLEvent(event);
        }
    }
    TRV_TRACE("AlertWaitingQMXAPIBlocks - Exit");
}

}  // namespace trv
