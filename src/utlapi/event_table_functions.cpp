// The UTLAPI event-table functions: the nine UTLAddWait... functions, each
// adding one entry of its kind to a table of the client's session letter,
// UTLDeleteEvent, UTLClearEventTable, and UTLWaitForEvent, which polls a
// whole table every 10 ms and answers the event number of the first entry
// that holds.
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "utlapi/event_tables.h"
#include "utlapi/utlapi_frame.h"
#include "utlapi/wait_support.h"

namespace {

using namespace trv::utl;

constexpr std::int32_t kDefaultRows = 24;
constexpr std::int32_t kDefaultColumns = 80;
// Host-connect and host-disconnect entries: the emulator's status word is at
// least "running and connected" (1 + 2), or below "connected".
constexpr std::uint32_t kConnectedStatus = 3;
constexpr std::uint32_t kDisconnectedBelow = 2;

// The table a client addresses: -1 unbound, -303 outside 0..49, else 1.
std::int32_t CheckTable(UTLClient* record, std::int32_t table) {
    if (record == nullptr) return UTL_NOT_REGISTERED;
    if (Unsigned16(table) >= kEventTableCount) return UTL_BAD_TABLE;
    return UTL_SUCCESS;
}

struct EntryArguments {
    EventKind kind;
    std::int32_t row = -1;
    std::int32_t column = -1;
    std::int32_t settleTime = -1;
    const char* text = nullptr;  // kinds 0, 1 and 4
};

template <typename... Labels>
std::int32_t AddEntry(std::string_view name, trvUTLClient client, std::int32_t table, std::int32_t event,
                      const EntryArguments& arguments, const Labels&... labels) {
    TraceEnter(name, client, "\r\nTable=", Decimal(table), "\r\nEvent=", Decimal(event), labels...);
    UTLClient* record = UTLClientList::FindBound(client);
    const std::int32_t checked = CheckTable(record, table);
    if (checked != UTL_SUCCESS) return TraceExit(name, checked);
    const bool textKind = arguments.kind == EventKind::String || arguments.kind == EventKind::StringNotAt ||
                          arguments.kind == EventKind::Key;
    if (textKind && arguments.text == nullptr) return TraceExit(name, UTL_INVALID_PARAMETER);
    auto entry = std::make_unique<UTLEventEntry>();
    entry->kind = arguments.kind;
    entry->owner = client;
    entry->event = static_cast<std::uint32_t>(Unsigned16(event));
    entry->row = arguments.row < 0 ? -1 : Unsigned16(arguments.row);
    entry->column = arguments.column < 0 ? -1 : Unsigned16(arguments.column);
    entry->settleTime = arguments.settleTime < 0 ? -1 : Unsigned16(arguments.settleTime);
    if (textKind) {
        entry->text = arguments.text;
        entry->textLength = static_cast<std::int32_t>(entry->text.size());
    }
    EventTable(record->Letter(), Unsigned16(table)).Append(std::move(entry));
    return TraceExit(name, UTL_SUCCESS);
}

// One UTLWaitForEvent: the state its passes share.
class EventWait {
public:
    EventWait(trvUTLClient client, const UTLClient& record, const WaitClock& clock)
        : client_(client), session_{record.Letter(), 0}, clock_(clock) {
        startCursor_ = UTLGetCursorLocation(client);
    }

    void LearnScreenShape() {
        const ScreenShape shape = QueryScreenShape();
        if (shape.result == UTL_SUCCESS) {
            rows_ = shape.rows;
            columns_ = shape.columns;
        }
    }

    // One pass over the table: the first entry that holds, else null.
    const UTLEventEntry* Pass(const UTLEventTable& table) {
        std::memset(key_, 0, sizeof key_);
        keyRead_ = PassKeystroke(client_, session_, key_);
        for (const UTLEventEntry* entry = table.First(); entry != nullptr; entry = entry->next) {
            if (Holds(*entry)) return entry;
        }
        return nullptr;
    }

    void EndPass(std::uint32_t elapsed) { previousPassEnd_ = elapsed; }

private:
    bool Holds(const UTLEventEntry& entry) {
        switch (entry.kind) {
            case EventKind::String:
            case EventKind::StringNotAt: {
                std::string text;
                if (!ReadScreen(Position(entry.row, entry.column, columns_), entry.textLength, text)) return false;
                return (text == entry.text) == (entry.kind == EventKind::String);
            }
            case EventKind::Cursor:
                return UTLGetCursorLocation(client_) == Position(entry.row, entry.column, columns_);
            case EventKind::CursorMove: {
                const std::int32_t cursor = UTLGetCursorLocation(client_);
                return cursor > 0 && cursor != startCursor_;
            }
            case EventKind::Key:
                return keyRead_ && entry.text == key_;
            case EventKind::HostQuiet: {
                const std::int32_t status = UTLGetConnectionStatus(client_, kConnectionStatusType);
                if (status < 0) return false;
                if (IsBusyStatus(status)) {
                    lastBusy_ = previousPassEnd_;
                    return false;
                }
                return clock_.Elapsed() - lastBusy_ >= static_cast<std::uint32_t>(entry.settleTime);
            }
            case EventKind::Wait: {
                const std::int32_t status = UTLGetConnectionStatus(client_, kConnectionStatusType);
                return status >= 0 && !IsBusyStatus(status);
            }
            case EventKind::HostConnect: {
                const auto status = EmulatorStatus(session_[0]);
                return status.has_value() && *status >= kConnectedStatus;
            }
            case EventKind::HostDisconnect: {
                const auto status = EmulatorStatus(session_[0]);
                return status.has_value() && *status < kDisconnectedBelow;
            }
        }
        return false;
    }

    // Copy Presentation Space to String: the whole text, NUL-ended at its
    // length; false when the session did not copy it.
    static bool ReadScreen(std::int32_t position, std::int32_t length, std::string& text) {
        std::vector<char> buffer(static_cast<std::size_t>(length) + 1, 0);
        std::uint16_t n = static_cast<std::uint16_t>(length);
        const std::uint16_t code =
            CallEHLLAPI(HA_COPY_PS_TO_STR, buffer.data(), n, static_cast<std::uint16_t>(position));
        if (code != 0 && code != HLLAPI_RC_WAIT_TIMEOUT && code != HLLAPI_RC_KEY_INTERCEPT_ACTIVE) return false;
        text = buffer.data();
        return true;
    }

    trvUTLClient client_;
    char session_[2];
    const WaitClock& clock_;
    std::int32_t rows_ = kDefaultRows;
    std::int32_t columns_ = kDefaultColumns;
    std::int32_t startCursor_ = 0;
    char key_[kKeyBufferSize] = {};
    bool keyRead_ = false;
    std::uint32_t lastBusy_ = 0;         // kind 5: ms since the wait began
    std::uint32_t previousPassEnd_ = 0;
};

}  // namespace

extern "C" {

std::int32_t TRVHA64_CALL UTLAddWaitForString(trvUTLClient client, std::int32_t table, std::int32_t event,
                                              std::int32_t row, std::int32_t column, const char* string) {
    return Guarded([&] {
        return AddEntry("UTLAddWaitForString", client, table, event, {EventKind::String, row, column, -1, string},
                        "\r\nRow=", Decimal(row), "\r\nCol=", Decimal(column), "\r\nWaitString=", Text(string));
    });
}

std::int32_t TRVHA64_CALL UTLAddWaitForStringNotAt(trvUTLClient client, std::int32_t table, std::int32_t event,
                                                   std::int32_t row, std::int32_t column, const char* string) {
    return Guarded([&] {
        return AddEntry("UTLAddWaitForStringNotAt", client, table, event,
                        {EventKind::StringNotAt, row, column, -1, string}, "\r\nRow=", Decimal(row), "\r\nCol=",
                        Decimal(column), "\r\nWaitString=", Text(string));
    });
}

std::int32_t TRVHA64_CALL UTLAddWaitForCursor(trvUTLClient client, std::int32_t table, std::int32_t event,
                                              std::int32_t row, std::int32_t column) {
    return Guarded([&] {
        return AddEntry("UTLAddWaitForCursor", client, table, event, {EventKind::Cursor, row, column}, "\r\nRow=",
                        Decimal(row), "\r\nCol=", Decimal(column));
    });
}

std::int32_t TRVHA64_CALL UTLAddWaitForCursorMove(trvUTLClient client, std::int32_t table, std::int32_t event) {
    return Guarded([&] { return AddEntry("UTLAddWaitForCursorMove", client, table, event, {EventKind::CursorMove}); });
}

std::int32_t TRVHA64_CALL UTLAddWaitForKey(trvUTLClient client, std::int32_t table, std::int32_t event,
                                           const char* key) {
    return Guarded([&] {
        return AddEntry("UTLAddWaitForKey", client, table, event, {EventKind::Key, -1, -1, -1, key}, "\r\nKey=",
                        Text(key));
    });
}

std::int32_t TRVHA64_CALL UTLAddWaitHostQuiet(trvUTLClient client, std::int32_t table, std::int32_t event,
                                              std::int32_t settleMs) {
    return Guarded([&] {
        return AddEntry("UTLAddWaitHostQuiet", client, table, event, {EventKind::HostQuiet, -1, -1, settleMs},
                        "\r\nSettletime=", Decimal(settleMs));
    });
}

std::int32_t TRVHA64_CALL UTLAddWait(trvUTLClient client, std::int32_t table, std::int32_t event) {
    return Guarded([&] { return AddEntry("UTLAddWait", client, table, event, {EventKind::Wait}); });
}

std::int32_t TRVHA64_CALL UTLAddWaitForHostConnect(trvUTLClient client, std::int32_t table, std::int32_t event) {
    return Guarded([&] { return AddEntry("UTLAddWaitForHostConnect", client, table, event, {EventKind::HostConnect}); });
}

std::int32_t TRVHA64_CALL UTLAddWaitForHostDisconnect(trvUTLClient client, std::int32_t table, std::int32_t event) {
    return Guarded([&] {
        return AddEntry("UTLAddWaitForHostDisconnect", client, table, event, {EventKind::HostDisconnect});
    });
}

std::int32_t TRVHA64_CALL UTLDeleteEvent(trvUTLClient client, std::int32_t table, std::int32_t event) {
    return Guarded([&] {
        TraceEnter("UTLDeleteEvent", client, "\r\nTable=", Decimal(table), "\r\nEvent=", Decimal(event));
        UTLClient* record = UTLClientList::FindBound(client);
        const std::int32_t checked = CheckTable(record, table);
        if (checked != UTL_SUCCESS) return TraceExit("UTLDeleteEvent", checked);
        EventTable(record->Letter(), Unsigned16(table)).DeleteFirst(client, static_cast<std::uint32_t>(Unsigned16(event)));
        return TraceExit("UTLDeleteEvent", UTL_SUCCESS);
    });
}

std::int32_t TRVHA64_CALL UTLClearEventTable(trvUTLClient client, std::int32_t table) {
    return Guarded([&] {
        TraceEnter("UTLClearEventTable", client, "\r\nTable=", Decimal(table));
        UTLClient* record = UTLClientList::FindBound(client);
        const std::int32_t checked = CheckTable(record, table);
        if (checked != UTL_SUCCESS) return TraceExit("UTLClearEventTable", checked);
        EventTable(record->Letter(), Unsigned16(table)).Clear();
        return TraceExit("UTLClearEventTable", UTL_SUCCESS);
    });
}

std::int32_t TRVHA64_CALL UTLWaitForEvent(trvUTLClient client, std::int32_t table, std::int32_t timeout) {
    return Guarded([&] {
        TraceEnter("UTLWaitForEvent", client, "\r\nTable=", Decimal(table), "\r\nTimeout=", Decimal(timeout));
        UTLClient* record = UTLClientList::FindBound(client);
        const std::int32_t checked = CheckTable(record, table);
        if (checked != UTL_SUCCESS) return TraceExit("UTLWaitForEvent", checked);
        const UTLEventTable& entries = EventTable(record->Letter(), Unsigned16(table));
        const WaitClock clock(timeout);
        std::int32_t result = UTL_TIMEOUT;
        {
            const KeyWaitScope keys(client, *record);
            EventWait wait(client, *record, clock);
            wait.LearnScreenShape();
            for (;;) {
                const UTLEventEntry* fired = wait.Pass(entries);
                const std::uint32_t passEnd = clock.Elapsed();
                if (clock.Expired(passEnd)) break;
                PollSleep();
                if (fired != nullptr) {
                    result = static_cast<std::int32_t>(fired->event);
                    break;
                }
                wait.EndPass(passEnd);
            }
        }
        return TraceExit("UTLWaitForEvent", result);
    });
}

}  // extern "C"
