// The UTLAPI event tables: for each session letter A..Z, 50 tables (0..49)
// of wait conditions, each tagged with the caller's event number. They are
// process-global, exist empty from load on and are shared by every client
// of the process bound to the same letter. Unlocked: one thread per client,
// and no table changed while another thread waits on it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace trv::utl {

constexpr int kEventTableCount = 50;

// What an entry waits for; the number is the entry's kind.
enum class EventKind : std::int32_t {
    String = 0,          // the text at row, column equals the entry's text
    StringNotAt = 1,     // the text at row, column differs from it
    Cursor = 2,          // the cursor stands at row, column
    CursorMove = 3,      // the cursor left where it was when the wait began
    Key = 4,             // the keystroke read in a pass equals the entry's text
    HostQuiet = 5,       // not busy, and not busy for the settle time
    Wait = 6,            // the connection status is not busy
    HostConnect = 7,     // the emulator reports the session connected
    HostDisconnect = 8,  // the emulator reports the session gone
};

struct UTLEventEntry {
    std::string text;            // kinds 0, 1 and 4
    std::int32_t textLength = -1;
    UTLEventEntry* previous = nullptr;
    UTLEventEntry* next = nullptr;
    std::uint64_t owner = 0;     // the client handle that added it
    std::uint32_t event = 0;
    std::int32_t row = -1;       // kinds 0 to 2
    std::int32_t column = -1;
    std::int32_t settleTime = -1;  // kind 5, milliseconds
    EventKind kind = EventKind::Wait;
};

// One table: a doubly linked list that owns its entries.
class UTLEventTable {
public:
    UTLEventTable() = default;
    ~UTLEventTable() { Clear(); }
    UTLEventTable(const UTLEventTable&) = delete;
    UTLEventTable& operator=(const UTLEventTable&) = delete;

    void Append(std::unique_ptr<UTLEventEntry> entry);
    // Removes the first entry of `owner` with `event`; false when none.
    bool DeleteFirst(std::uint64_t owner, std::uint32_t event);
    // Frees every entry, from the last to the first.
    void Clear();

    const UTLEventEntry* First() const { return first_; }
    const UTLEventEntry* Last() const { return last_; }
    std::uint32_t Count() const { return count_; }

private:
    UTLEventEntry* first_ = nullptr;
    UTLEventEntry* last_ = nullptr;
    std::uint32_t count_ = 0;
};

// Table `number` (0..49) of the session letter 'A'..'Z'.
UTLEventTable& EventTable(char letter, int number);

}  // namespace trv::utl
