// The 26 x 50 event tables of the process.
#include "utlapi/event_tables.h"

namespace trv::utl {
namespace {

constexpr int kLetters = 26;

UTLEventTable g_tables[kLetters][kEventTableCount];

}  // namespace

void UTLEventTable::Append(std::unique_ptr<UTLEventEntry> entry) {
    UTLEventEntry* added = entry.release();
    added->previous = last_;
    added->next = nullptr;
    if (last_ != nullptr) {
        last_->next = added;
    } else {
        first_ = added;
    }
    last_ = added;
    ++count_;
}

bool UTLEventTable::DeleteFirst(std::uint64_t owner, std::uint32_t event) {
    UTLEventEntry* entry = first_;
    while (entry != nullptr && (entry->owner != owner || entry->event != event)) entry = entry->next;
    if (entry == nullptr) return false;
    if (entry->previous != nullptr) {
        entry->previous->next = entry->next;
    } else {
        first_ = entry->next;
    }
    if (entry->next != nullptr) {
        entry->next->previous = entry->previous;
    } else {
        last_ = entry->previous;
    }
    delete entry;
    --count_;
    return true;
}

void UTLEventTable::Clear() {
    while (last_ != nullptr) {
        UTLEventEntry* entry = last_;
        last_ = entry->previous;
        delete entry;
    }
    first_ = nullptr;
    count_ = 0;
}

UTLEventTable& EventTable(char letter, int number) { return g_tables[letter - 'A'][number]; }

}  // namespace trv::utl
