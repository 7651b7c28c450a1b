// Helpers shared by the three shared tables: the table lock (a machine-wide
// named mutex, held open by every attached process), bounded copies into the
// fixed text fields of the records, session letters, and the record of which
// handles stored in shared memory belong to this process.
//
// Assumes only the platform contract: named mutexes are re-entrant for their
// owner thread and are handed on as abandoned when the owner dies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>

#include "platform/handle.h"
#include "platform/mutex.h"

namespace trv {

// Holds a table's named mutex for the lifetime of the object, waited for
// without a time limit. An attached process waits on the handle it holds open
// on the mutex (HeldTableMutex); otherwise the mutex is opened by name. When the name no longer
// exists (the process that built the table and held the only other handle has
// ended), it is created anew under the same name, so that the callers of
// every process still exclude each other. A lock that cannot be taken is
// traced and reported by held(): the operation must then change nothing and
// answer its failure, never go on unlocked.
class TableLock {
public:
    explicit TableLock(const char* mutexName);
    ~TableLock();
    TableLock(const TableLock&) = delete;
    TableLock& operator=(const TableLock&) = delete;

    bool held() const { return hold_ ? hold_->held() : handle_ != platform::kNoHandle; }
    // The previous owner died while holding the lock.
    bool ownerDied() const {
        return (hold_ ? hold_->result() : result_) == platform::LockResult::acquired_owner_died;
    }

private:
    // The process's held handle: waited on and released, never closed.
    std::optional<platform::MutexHold> hold_;
    // Otherwise the mutex opened (or created) by name: released and closed.
    platform::Handle handle_ = platform::kNoHandle;
    platform::LockResult result_ = platform::LockResult::failed;
};

// Handles this process stored into a shared record, keyed by the address of
// the field (in this process's view). Another process, or a later process
// that happens to reuse a dead one's id, finds no entry for the field and so
// knows that the value there is not its own to close or wait on. Any thread
// may call these.
void NoteOwnHandle(const void* field, platform::Handle handle);
bool IsOwnHandle(const void* field, platform::Handle handle);
// Answers whether `handle` at `field` was this process's and forgets it.
bool TakeOwnHandle(const void* field, platform::Handle handle);

// Copies the zero-terminated `source` into dest[N]: at most N - 1 characters,
// the rest of the field zero-filled, so the field is always terminated and a
// shorter source never leaves stale bytes behind. A null source empties it.
template <std::size_t N>
inline void CopyFixedText(char (&dest)[N], const char* source) {
    std::size_t length = 0;
    if (source != nullptr) {
        const void* end = std::memchr(source, '\0', N - 1);
        length = end != nullptr ? static_cast<std::size_t>(static_cast<const char*>(end) - source)
                                : N - 1;
        std::memcpy(dest, source, length);
    }
    std::memset(dest + length, 0, N - length);
}

// Copies a fixed field that may lack its terminator (shared memory written by
// another process) into a terminated local buffer one byte longer.
template <std::size_t N>
inline void TerminatedCopy(char (&dest)[N + 1], const char (&field)[N]) {
    std::memcpy(dest, field, N);
    dest[N] = '\0';
}

// Session letters: 'A' to 'Z', lower case folded to upper case.
constexpr char FoldSessionLetter(char letter) {
    return letter >= 'a' && letter <= 'z' ? static_cast<char>(letter - 'a' + 'A') : letter;
}
constexpr bool IsSessionLetter(char letter) { return letter >= 'A' && letter <= 'Z'; }
// 0 to 25 for a letter (either case), -1 for anything else.
constexpr int SessionSlot(char letter) {
    char folded = FoldSessionLetter(letter);
    return IsSessionLetter(folded) ? folded - 'A' : -1;
}

}  // namespace trv
