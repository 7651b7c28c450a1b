// The session table's operations and SessionBlock's copies.
#include "tables/session_list.h"

#include <cstring>

#include "platform/thread.h"
#include "shared/named_objects.h"
#include "shared/trace.h"
#include "tables/application_block.h"
#include "tables/application_list.h"
#include "tables/table_support.h"

namespace trv {

// ---- SessionBlock ----------------------------------------------------------

SessionBlock::SessionBlock() { std::memset(static_cast<void*>(this), 0, sizeof *this); }

SessionBlock::SessionBlock(const SessionBlock& other) {
    TRV_TRACE("SessionBlock::oper= enter");
    std::memcpy(static_cast<void*>(this), &other, sizeof *this);
    TRV_TRACE("SessionBlock::oper= return");
}

SessionBlock& SessionBlock::operator=(const SessionBlock& other) {
    TRV_TRACE("SessionBlock::oper= enter");
    if (this != &other) std::memcpy(static_cast<void*>(this), &other, sizeof *this);
    TRV_TRACE("SessionBlock::oper= return");
    return *this;
}

void SessionBlock::ImitateSession(const SessionBlock& source) {
    TRV_TRACE("SessionBlock::ImitateSession enter");
    Established = source.Established;
    ProcessID = source.ProcessID;
    std::memcpy(Reserved13, source.Reserved13, sizeof Reserved13);
    CopyFixedText(PSConnection, source.PSConnection);
    CopyFixedText(WinConnection, source.WinConnection);
    CopyFixedText(Caller, source.Caller);
    TRV_TRACE("SessionBlock::ImitateSession return");
}

// ---- notification lists ----------------------------------------------------

namespace {

bool SameName(const char (&entry)[kBlockNameSize], const char* name) {
    return std::strncmp(entry, name, kBlockNameSize) == 0;
}

int AddToList(NotifyList& list, std::int32_t& count, const char* name) {
    int used = UsedNotifyEntries(count);
    for (int i = 0; i < used; ++i) {
        if (SameName(list[i], name)) return i;
    }
    if (used >= kNotifyListCapacity) return -1;
    CopyFixedText(list[used], name);
    count = used + 1;
    return used;
}

void RemoveFromList(NotifyList& list, std::int32_t& count, const char* name) {
    int used = UsedNotifyEntries(count);
    for (int i = 0; i < used; ++i) {
        if (!SameName(list[i], name)) continue;
        std::memmove(list[i], list[i + 1],
                     static_cast<std::size_t>(used - i - 1) * kBlockNameSize);
        std::memset(list[used - 1], 0, kBlockNameSize);
        count = used - 1;
        return;
    }
}

// Runs `change` on `block` (nullptr for an invalid letter) under the table's
// lock; false, with nothing changed, when there is no block or the lock could
// not be taken.
template <typename Change>
bool ChangeLocked(SessionBlock* block, Change&& change) {
    if (block == nullptr) return false;
    TableLock lock(kSessionListMutexName);
    if (!lock.held()) return false;
    change(*block);
    return true;
}

void ResetBlock(SessionBlock& block, int index) {
    std::memset(static_cast<void*>(&block), 0, sizeof block);
    block.Index = index;
    block.ShortName = static_cast<char>('A' + index);
}

}  // namespace

// ---- SessionList -----------------------------------------------------------

SessionList::SessionList() {
    TRV_TRACE("SessionList::ctor enter");
    SessionCount = 0;
    std::memset(Padding12, 0, sizeof Padding12);
    ListMutexHandle = CreateHLLMutex(kSessionListMutexName);
    NoteOwnHandle(&ListMutexHandle, ListMutexHandle);
    for (int i = 0; i < kSessionCount; ++i) ResetBlock(Blocks[i], i);
    TRV_TRACE("SessionList::ctor return");
}

SessionList::~SessionList() {
    TRV_TRACE("SessionList::dtor enter");
    // The handle is the constructing process's; a last-detaching process
    // that did not build the table leaves it alone.
    if (TakeOwnHandle(&ListMutexHandle, ListMutexHandle)) {
        CloseHLLMutex(ListMutexHandle);
        ListMutexHandle = platform::kNoHandle;
    }
    TRV_TRACE("SessionList::dtor return");
}

SessionBlock* SessionList::BlockOf(char letter) {
    int slot = SessionSlot(letter);
    return slot < 0 ? nullptr : &Blocks[slot];
}

bool SessionList::IsValidSession(char& letter) const {
    TRV_TRACE("SessionList::IsValidSession enter - Session [%c]", letter);
    letter = FoldSessionLetter(letter);
    bool valid = IsSessionLetter(letter);
    TRV_TRACE("SessionList::IsValidSession return - bRet=%d", valid);
    return valid;
}

bool SessionList::IsSessionAvailable(char& letter) const {
    TRV_TRACE("SessionList::IsSessionAvailable enter - Session [%c]", letter);
    bool available = IsValidSession(letter) && Blocks[letter - 'A'].Established == 0;
    TRV_TRACE("SessionList::IsSessionAvailable return - bRet=%d", available);
    return available;
}

std::uint8_t SessionList::IsSessionEstablished(char letter) const {
    TRV_TRACE("SessionList::IsSessionEstablished enter - Session [%c]", letter);
    int slot = SessionSlot(letter);
    std::uint8_t established = slot < 0 ? 0 : Blocks[slot].Established;
    TRV_TRACE("SessionList::IsSessionEstablished return - bRet=%d", established);
    return established;
}

char SessionList::FindAvailableName() const {
    TRV_TRACE("SessionList::FindAvailableName enter");
    char found = 0;
    const bool tracing = TraceEnabled();  // once for the whole scan
    for (int i = 0; i < kSessionCount; ++i) {
        TRV_TRACE_WHEN(tracing, "SessionList::FindAvailableName - loop i=[%d]", i);
        if (Blocks[i].Established == 0) {
            found = static_cast<char>('A' + i);
            break;
        }
    }
    TRV_TRACE("SessionList::FindAvailableName return - cRet=[%c]", found);
    return found;
}

bool SessionList::AddNamedSession(const SessionBlock& templ, char letter) {
    TRV_TRACE("SessionList::AddNamedSession enter - SessionID=%c", letter);
    TableLock lock(kSessionListMutexName);
    bool added = false;
    if (!lock.held()) {
        TRV_TRACE("SessionList::AddNamedSession - table not locked, session [%c] not added", letter);
    } else if (!IsSessionAvailable(letter)) {
        TRV_TRACE("SessionList::AddNamedSession - Session [%c] not available!", letter);
    } else {
        SessionBlock& block = Blocks[letter - 'A'];
        block.ImitateSession(templ);
        ++SessionCount;
        TRV_TRACE("SessionList::AddNamedSession - SessionCount=%d", SessionCount);
        TRV_TRACE("SessionList::AddNamedSession - session [%c] - begin creating events", letter);

        struct SessionEventField {
            const char* pattern;
            char* name;
            std::size_t size;
            platform::Handle* handle;
            bool manualReset;
        };
        const SessionEventField events[] = {
            {"HLL_EVENT_SESS_%c", block.HLLEventName, sizeof block.HLLEventName, &block.HLLEvent, false},
            {"PS_EVENT_SESS_%c", block.PSEventName, sizeof block.PSEventName, &block.PSEvent, true},
            {"OIA_EVENT_SESS_%c", block.OIAEventName, sizeof block.OIAEventName, &block.OIAEvent, true},
            {"BOTH_EVENT_SESS_%c", block.BothEventName, sizeof block.BothEventName, &block.BothEvent, true},
            {"WAIT_EVENT_SESS_%c", block.WaitEventName, sizeof block.WaitEventName, &block.WaitEvent, true},
            {"CLOSE_EVENT_SESS_%c", block.CloseEventName, sizeof block.CloseEventName, &block.CloseEvent, true},
            {"KEY_EVENT_SESS_%c", block.KeyEventName, sizeof block.KeyEventName, &block.KeyEvent, false},
        };
        for (const SessionEventField& event : events) {
            FormatBounded(event.name, event.size, event.pattern, letter);
            *event.handle = CreateHLLEvent(event.manualReset, event.name);
        }
        added = true;
    }
    TRV_TRACE("SessionList::AddNamedSession return bRet=%d", added);
    return added;
}

void SessionList::RemoveSession(char letter) {
    TRV_TRACE("SessionList::RemoveSession enter - SessionID [%c]", letter);
    if (IsValidSession(letter)) {
        TRV_TRACE("SessionList::RemoveSession - session is valid");
        TableLock lock(kSessionListMutexName);
        if (!lock.held()) {
            TRV_TRACE("SessionList::RemoveSession return - table not locked, [%c] kept", letter);
            return;
        }
        SessionBlock& block = Blocks[letter - 'A'];
        // The event handles are the registering process's own.
        if (block.ProcessID == platform::CurrentProcessId()) {
            FreeHLLEvent(block.HLLEvent);
            FreeHLLEvent(block.PSEvent);
            FreeHLLEvent(block.OIAEvent);
            FreeHLLEvent(block.BothEvent);
            FreeHLLEvent(block.WaitEvent);
            FreeHLLEvent(block.CloseEvent);
            FreeHLLEvent(block.KeyEvent);
        }
        // Removing a letter that is not registered must not drive the count
        // below the number of registered sessions.
        bool wasEstablished = block.Established != 0;
        ResetBlock(block, letter - 'A');
        if (wasEstablished && SessionCount > 0) --SessionCount;
        TRV_TRACE("SessionList::RemoveSession - SessionCount is now [%d]", SessionCount);
    }
    TRV_TRACE("SessionList::RemoveSession return");
}

SessionBlock SessionList::GetSession(char letter) {
    TRV_TRACE("SessionList::GetSession enter - SessionID [%c]", letter);
    // Every request looks its session up here: the letter is checked in
    // place rather than through IsValidSession, whose trace lines would
    // double this routine's. The copy is made in place from the table (both
    // branches are prvalues), rather than zeroed first and then assigned over.
    const int slot = SessionSlot(letter);
    SessionBlock copy = slot >= 0 ? LockedCopy(slot) : InvalidCopy(letter);
    TRV_TRACE("SessionList::GetSession return");
    return copy;
}

SessionBlock SessionList::LockedCopy(int slot) {
    TRV_TRACE("SessionList::GetSession - session is valid.");
    TableLock lock(kSessionListMutexName);
    if (!lock.held()) return SessionBlock();
    return Blocks[slot];
}

SessionBlock SessionList::InvalidCopy(char letter) const {
    TRV_TRACE("SessionList::GetSession - Session [%c] not valid!", letter);
    return SessionBlock();
}

SessionBlock SessionList::GetSession(std::uint32_t processId) {
    TRV_TRACE("SessionList::GetSession enter - pid [%x]", processId);
    SessionBlock copy;
    // Tested once for the whole scan, not once per block.
    const bool tracing = TraceEnabled();
    {
        TableLock lock(kSessionListMutexName);
        for (int i = 0; lock.held() && i < kSessionCount; ++i) {
            TRV_TRACE_WHEN(tracing, "SessionList::GetSession - loop through sessions [%d]", i);
            if (Blocks[i].ProcessID != processId) continue;
            TRV_TRACE("SessionList::GetSession - session block (session [%c] matches) found for this pid",
                      Blocks[i].ShortName);
            copy = Blocks[i];
            break;
        }
    }
    TRV_TRACE("SessionList::GetSession return");
    return copy;
}

SessionBlock SessionList::operator[](char letter) {
    TRV_TRACE("SessionList::oper[] enter - Session [%c]", letter);
    return GetSession(letter);
}

bool SessionList::ConnectSessionPS(const char* name, char letter) {
    TRV_TRACE("SessionList::ConnectSessionPS enter - Session [%c], Name=[%s]", letter,
              name != nullptr ? name : "");
    const bool done = ChangeLocked(BlockOf(letter), [&](SessionBlock& block) {
        if (block.PSConnection[0] == '\0') CopyFixedText(block.PSConnection, name);
    });
    TRV_TRACE("SessionList::ConnectSessionPS return");
    return done;
}

bool SessionList::DisconnectSessionPS(char letter) {
    TRV_TRACE("SessionList::DisconnectSessionPS enter - Session [%c]", letter);
    const bool done = ChangeLocked(BlockOf(letter), [&](SessionBlock& block) {
        std::memset(block.PSConnection, 0, sizeof block.PSConnection);
    });
    TRV_TRACE("SessionList::DisconnectSessionPS return");
    return done;
}

bool SessionList::DisconnectSessionPS(char letter, const char* holder) {
    TRV_TRACE("SessionList::DisconnectSessionPS enter - Session [%c]", letter);
    const bool done = holder != nullptr && ChangeLocked(BlockOf(letter), [&](SessionBlock& block) {
        if (SameName(block.PSConnection, holder)) std::memset(block.PSConnection, 0, sizeof block.PSConnection);
    });
    TRV_TRACE("SessionList::DisconnectSessionPS return");
    return done;
}

bool SessionList::DisconnectSessionWin(char letter, const char* holder) {
    TRV_TRACE("SessionList::DisconnectSessionWin enter - Session [%c]", letter);
    const bool done = holder != nullptr && ChangeLocked(BlockOf(letter), [&](SessionBlock& block) {
        if (SameName(block.WinConnection, holder)) std::memset(block.WinConnection, 0, sizeof block.WinConnection);
    });
    TRV_TRACE("SessionList::DisconnectSessionWin return");
    return done;
}

bool SessionList::ConnectSessionWin(const char* name, char letter) {
    TRV_TRACE("SessionList::ConnectSessionWin enter - Session [%c], Name=[%s]", letter,
              name != nullptr ? name : "");
    const bool done = ChangeLocked(BlockOf(letter), [&](SessionBlock& block) {
        CopyFixedText(block.WinConnection, name);
    });
    TRV_TRACE("SessionList::ConnectSessionWin return");
    return done;
}

bool SessionList::ClaimSessionWin(const char* name, char letter) {
    TRV_TRACE("SessionList::ConnectSessionWin enter - Session [%c], Name=[%s]", letter,
              name != nullptr ? name : "");
    bool held = false;
    ChangeLocked(BlockOf(letter), [&](SessionBlock& block) {
        if (block.WinConnection[0] == '\0') CopyFixedText(block.WinConnection, name);
        held = name != nullptr && SameName(block.WinConnection, name);
    });
    TRV_TRACE("SessionList::ConnectSessionWin return");
    return held;
}

bool SessionList::DisconnectSessionWin(char letter) {
    TRV_TRACE("SessionList::DisconnectSessionWin enter - Session [%c]", letter);
    const bool done = ChangeLocked(BlockOf(letter), [&](SessionBlock& block) {
        std::memset(block.WinConnection, 0, sizeof block.WinConnection);
    });
    TRV_TRACE("SessionList::DisconnectSessionWin return");
    return done;
}

// The setters below are called with valid letters only; an invalid one is
// still ignored rather than written outside the table.

bool SessionList::SetCaller(const char* name, char letter) {
    TRV_TRACE("SessionList::SetCaller enter - Session [%c], Name=[%s]", letter,
              name != nullptr ? name : "");
    const bool done = ChangeLocked(BlockOf(letter), [&](SessionBlock& block) {
        CopyFixedText(block.Caller, name);
    });
    TRV_TRACE("SessionList::SetCaller return");
    return done;
}

bool SessionList::SetNativeThreadHandle(char letter, platform::Handle thread) {
    TRV_TRACE("SessionList::SetNativeThreadHandle enter - Session [%c]", letter);
    const bool done = ChangeLocked(BlockOf(letter), [&](SessionBlock& block) {
        block.NativeThreadHandle = thread;
    });
    TRV_TRACE("SessionList::SetNativeThreadHandle return");
    return done;
}

bool SessionList::SetInhibitedStatus(char letter, std::uint8_t inhibited) {
    TRV_TRACE("SessionList::SetInhibitedStatus enter - Session [%c]", letter);
    const bool done = ChangeLocked(BlockOf(letter), [&](SessionBlock& block) {
        block.InhibitedStatus = inhibited;
    });
    TRV_TRACE("SessionList::SetInhibitedStatus return");
    return done;
}

bool SessionList::SetWindowTitle(char letter, const char* title) {
    TRV_TRACE("SessionList::SetWindowTitle enter - Session [%c] Title=[%s]", letter,
              title != nullptr ? title : "");
    const bool done = ChangeLocked(BlockOf(letter), [&](SessionBlock& block) {
        CopyFixedText(block.WindowTitle, title);
    });
    TRV_TRACE("SessionList::SetWindowTitle return");
    return done;
}

bool SessionList::SetWindowHandle(char letter, platform::WindowHandle window) {
    TRV_TRACE("SessionList::SetWindowHandle enter - Session [%c]", letter);
    const bool done = ChangeLocked(BlockOf(letter), [&](SessionBlock& block) {
        block.WindowHandle = window;
    });
    TRV_TRACE("SessionList::SetWindowHandle return");
    return done;
}

namespace {

// The three notification lists of a session block, with the names their
// operations trace under.
struct NotificationListFields {
    NotifyList SessionBlock::*entries;
    std::int32_t SessionBlock::*count;
    const char* addOperation;
    const char* removeOperation;
};

constexpr NotificationListFields kHostNotifications{
    &SessionBlock::HostNotifyList, &SessionBlock::HostNotifyCount, "AddToHostNotificationList",
    "RemoveFromHostNotificationList"};
constexpr NotificationListFields kCloseNotifications{
    &SessionBlock::CloseNotifyList, &SessionBlock::CloseNotifyCount, "AddToCloseNotificationList",
    "RemoveFromCloseNotificationList"};
constexpr NotificationListFields kKeyNotifications{
    &SessionBlock::KeyNotifyList, &SessionBlock::KeyNotifyCount, "AddToKeyNotificationList",
    "RemoveFromKeyNotificationList"};

int AddToNotificationList(SessionBlock* session, const NotificationListFields& list, char letter,
                          const char* blockName) {
    TRV_TRACE("SessionList::%s enter - Session [%c]", list.addOperation, letter);
    int index = -1;
    if (session != nullptr) {
        NotifyList held{};
        const bool added = ChangeLocked(session, [&](SessionBlock& block) {
            index = AddToList(block.*list.entries, block.*list.count, blockName);
            if (index < 0) std::memcpy(held, block.*list.entries, sizeof held);
        });
        // A full list may be full of callers that ended without detaching:
        // those are reclaimed (outside this table's lock) and the add tried
        // once more.
        ApplicationList* applications = Applications();
        bool freed = false;
        for (int i = 0; added && index < 0 && applications != nullptr && i < kNotifyListCapacity; ++i) {
            char name[kBlockNameSize + 1];
            TerminatedCopy<kBlockNameSize>(name, held[i]);
            if (name[0] == '\0' || !applications->ReclaimIfHolderEnded(name)) continue;
            freed |= ChangeLocked(session, [&](SessionBlock& block) {
                RemoveFromList(block.*list.entries, block.*list.count, name);
            });
        }
        if (freed) {
            ChangeLocked(session, [&](SessionBlock& block) {
                index = AddToList(block.*list.entries, block.*list.count, blockName);
            });
        }
    }
    TRV_TRACE("SessionList::%s return - nRet=[%d]", list.addOperation, index);
    return index;
}

void RemoveFromNotificationList(SessionBlock* session, const NotificationListFields& list,
                                char letter, const char* blockName) {
    TRV_TRACE("SessionList::%s enter - Session [%c]", list.removeOperation, letter);
    if (blockName != nullptr) {
        ChangeLocked(session, [&](SessionBlock& block) {
            RemoveFromList(block.*list.entries, block.*list.count, blockName);
        });
    }
    TRV_TRACE("SessionList::%s return", list.removeOperation);
}

}  // namespace

int SessionList::AddToHostNotificationList(char letter, const ApplicationBlock& block) {
    return AddToNotificationList(BlockOf(letter), kHostNotifications, letter, block.BlockName);
}

void SessionList::RemoveFromHostNotificationList(char letter, const ApplicationBlock& block) {
    RemoveFromHostNotificationList(letter, block.BlockName);
}

void SessionList::RemoveFromHostNotificationList(char letter, const char* blockName) {
    RemoveFromNotificationList(BlockOf(letter), kHostNotifications, letter, blockName);
}

int SessionList::AddToCloseNotificationList(char letter, const ApplicationBlock& block) {
    return AddToNotificationList(BlockOf(letter), kCloseNotifications, letter, block.BlockName);
}

void SessionList::RemoveFromCloseNotificationList(char letter, const ApplicationBlock& block) {
    RemoveFromCloseNotificationList(letter, block.BlockName);
}

void SessionList::RemoveFromCloseNotificationList(char letter, const char* blockName) {
    RemoveFromNotificationList(BlockOf(letter), kCloseNotifications, letter, blockName);
}

int SessionList::AddToKeyNotificationList(char letter, const ApplicationBlock& block) {
    return AddToNotificationList(BlockOf(letter), kKeyNotifications, letter, block.BlockName);
}

void SessionList::RemoveFromKeyNotificationList(char letter, const ApplicationBlock& block) {
    RemoveFromKeyNotificationList(letter, block.BlockName);
}

void SessionList::RemoveFromKeyNotificationList(char letter, const char* blockName) {
    RemoveFromNotificationList(BlockOf(letter), kKeyNotifications, letter, blockName);
}

}  // namespace trv
