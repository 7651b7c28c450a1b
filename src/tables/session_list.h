// SessionList: the machine-wide directory of the emulator sessions offered
// to EHLLAPI, in the shared mapping "SESS_LIST_FILE" (70,320 bytes: a 16-byte
// header and 26 SessionBlocks, one per letter 'A' to 'Z'). The first process
// to attach constructs it in place; the last one to detach destroys it.
//
// Every operation except the four unlocked checks takes the named mutex
// "TRVSESSLIST_MTX" by name for its duration (re-entrant, so operations may
// call each other). Callers never keep pointers into the table: lookups
// answer private copies. Any thread of any process may call these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "platform/handle.h"
#include "platform/window.h"
#include "tables/session_block.h"

namespace trv {

struct ApplicationBlock;

constexpr const char* kSessionListMappingName = "SESS_LIST_FILE";
constexpr const char* kSessionListMutexName = "TRVSESSLIST_MTX";
constexpr std::size_t kSessionListSize = 70320;

class SessionList {
public:
    // Handle of "TRVSESSLIST_MTX" in the process that constructed the table;
    // no other process may use or close it.
    platform::Handle ListMutexHandle;  // 0
    std::int32_t SessionCount;         // 8: registered sessions
    std::uint8_t Padding12[4];         // 12
    SessionBlock Blocks[kSessionCount];  // 16: block of letter c at 16 + (c - 'A') * 2,704

    // Constructed in place in the freshly created mapping by the first
    // process; creates the table mutex and frees all 26 letters.
    SessionList();
    // Closes the table mutex handle, but only in the process that created it.
    ~SessionList();
    SessionList(const SessionList&) = delete;
    SessionList& operator=(const SessionList&) = delete;

    // Unlocked checks. The first two fold the letter to upper case in place.
    bool IsValidSession(char& letter) const;
    bool IsSessionAvailable(char& letter) const;
    std::uint8_t IsSessionEstablished(char letter) const;  // 0 for an invalid letter
    char FindAvailableName() const;                        // first free letter, or 0

    // Every locked operation below that cannot take the table's lock changes
    // nothing and answers its failure result: false, -1, or the all-zero
    // copy that an unregistered letter gives (callers read it as "no
    // session"); the lock's failure is in the trace.

    // Registers the session under `letter` (folded) with what `templ`
    // supplies and creates its seven events (handles of the calling
    // process). False when the letter is invalid or already registered.
    bool AddNamedSession(const SessionBlock& templ, char letter);
    // Frees the letter's block. Its event handles are closed only by the
    // process that registered it.
    void RemoveSession(char letter);

    // Private copies of a block: by letter (either case; all zero when the
    // letter is invalid) and of the first block registered by `processId`
    // (all zero when none).
    SessionBlock GetSession(char letter);
    SessionBlock GetSession(std::uint32_t processId);
    SessionBlock operator[](char letter);

    // Connections. `name` is a zero-terminated BlockName of at most 27
    // characters. ConnectSessionPS keeps an existing connection;
    // ConnectSessionWin replaces it. An invalid letter changes nothing. Each
    // answers whether it ran: false for an invalid letter or a lock that
    // could not be taken.
    bool ConnectSessionPS(const char* name, char letter);
    bool DisconnectSessionPS(char letter);
    bool ConnectSessionWin(const char* name, char letter);
    bool DisconnectSessionWin(char letter);
    // ConnectSessionWin for a caller that finds window services free: stores
    // `name` only while no other block's name is there, under the table's
    // lock, so that two callers connecting at once cannot both come away
    // holding them. Answers whether `name` holds them afterwards.
    bool ClaimSessionWin(const char* name, char letter);
    bool SetCaller(const char* name, char letter);
    bool SetNativeThreadHandle(char letter, platform::Handle thread);
    bool SetInhibitedStatus(char letter, std::uint8_t inhibited);
    bool SetWindowTitle(char letter, const char* title);
    bool SetWindowHandle(char letter, platform::WindowHandle window);
    // Clear the connection only while the block named `holder` holds it, so
    // that a clean-up for a block that is gone never undoes a newer one.
    bool DisconnectSessionPS(char letter, const char* holder);
    bool DisconnectSessionWin(char letter, const char* holder);

    // Notification lists, keyed by the caller block's BlockName. Add answers
    // the caller's index in the list (its existing index when already there)
    // or -1 when the list is full or the letter invalid. Remove closes the gap
    // so that the list stays dense. The name forms serve callers that only
    // have the name (a block already freed).
    int AddToHostNotificationList(char letter, const ApplicationBlock& block);
    void RemoveFromHostNotificationList(char letter, const ApplicationBlock& block);
    void RemoveFromHostNotificationList(char letter, const char* blockName);
    int AddToCloseNotificationList(char letter, const ApplicationBlock& block);
    void RemoveFromCloseNotificationList(char letter, const ApplicationBlock& block);
    void RemoveFromCloseNotificationList(char letter, const char* blockName);
    int AddToKeyNotificationList(char letter, const ApplicationBlock& block);
    void RemoveFromKeyNotificationList(char letter, const ApplicationBlock& block);
    void RemoveFromKeyNotificationList(char letter, const char* blockName);

private:
    SessionBlock* BlockOf(char letter);  // nullptr for an invalid letter
    // GetSession's two outcomes: the block of a valid (folded) letter copied
    // under the table's lock, and the all-zero block of an invalid one.
    SessionBlock LockedCopy(int slot);
    SessionBlock InvalidCopy(char letter) const;
};

static_assert(std::is_standard_layout_v<SessionList>);
static_assert(sizeof(SessionList) == kSessionListSize);
static_assert(offsetof(SessionList, ListMutexHandle) == 0);
static_assert(offsetof(SessionList, SessionCount) == 8);
static_assert(offsetof(SessionList, Blocks) == 16);

}  // namespace trv
