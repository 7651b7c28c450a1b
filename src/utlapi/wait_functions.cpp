// The UTLAPI single-shot waits: each polls one condition on the client's
// bound session every 10 ms until it holds or the time-out (in half seconds)
// has passed, and UTLWait, which is EHLLAPI Wait. See wait_support.h for
// what every wait shares.
#include <cstring>
#include <string>
#include <vector>

#include "utlapi/utlapi_frame.h"
#include "utlapi/wait_support.h"

namespace {

using namespace trv::utl;

// UTLWaitForHostConnect: running, connected and reachable (1 + 2 + 4).
constexpr std::uint32_t kReachableStatus = 7;
constexpr std::uint32_t kDisconnectedBelow = 2;

// `length` characters of the screen from (row, column), NUL-ended; empty
// text when the read failed.
std::string ScreenText(trvUTLClient client, std::int32_t row, std::int32_t column, std::int32_t length) {
    std::vector<char> buffer(static_cast<std::size_t>(length) + 1, 0);
    UTLGetString(client, row, column, buffer.data(), length);
    return std::string(buffer.data());
}

// One look for the wait string of UTLWaitForString: its position, else 0.
std::int32_t FindWaitString(trvUTLClient client, std::int32_t row, std::int32_t column, const std::string& wanted,
                            const ScreenShape& shape, std::int32_t preset) {
    const auto length = static_cast<std::int32_t>(wanted.size());
    if (row != 0 && column != 0) {
        return ScreenText(client, row, column, length) == wanted ? preset : 0;
    }
    if (row != 0) {
        const std::size_t at = ScreenText(client, row, 1, shape.columns).find(wanted);
        return at == std::string::npos ? 0 : preset + static_cast<std::int32_t>(at) + 1;
    }
    if (column != 0) {
        for (std::int32_t r = 1; r <= shape.rows; ++r) {
            if (ScreenText(client, r, column, length) == wanted) return preset + (r - 1) * shape.columns;
        }
        return 0;
    }
    const std::size_t at = ScreenText(client, 1, 1, shape.rows * shape.columns).find(wanted);
    return at == std::string::npos ? 0 : static_cast<std::int32_t>(at) + 1;
}

// The cursor test of UTLWaitForCursor for row and column, either of which
// may be 0 (not given).
bool CursorAt(std::int32_t position, std::int32_t row, std::int32_t column, std::int32_t columns) {
    if (position <= 0 || columns <= 0) return false;
    if (row != 0 && column != 0) return position == Position(row, column, columns);
    if (row != 0) return position / columns + (position % columns != 0 ? 1 : 0) == row;
    return position % columns == (column == columns ? 0 : column);
}

std::int32_t WaitForString(trvUTLClient client, std::int32_t row, std::int32_t column, const char* string,
                           std::int32_t timeout) {
    UTLClient* record = UTLClientList::FindBound(client);
    if (record == nullptr) return UTL_NOT_REGISTERED;
    if (string == nullptr) return UTL_INVALID_PARAMETER;
    UTLConnectPS(client, record);
    const WaitClock clock(timeout);
    const ScreenShape shape = QueryScreenShape();
    if (shape.result != UTL_SUCCESS) return shape.result;
    row = Unsigned16(row);
    column = Unsigned16(column);
    const std::int32_t preset = row != 0 ? Position(row, column, shape.columns) : column;
    const std::string wanted = string;
    while (!clock.Expired()) {
        PollSleep();
        const std::int32_t found = FindWaitString(client, row, column, wanted, shape, preset);
        if (found != 0) return found;
    }
    return UTL_TIMEOUT;
}

}  // namespace

extern "C" {

std::int32_t TRVHA64_CALL UTLWait(trvUTLClient client) {
    return Guarded([&] {
        TraceEnter("UTLWait", client);
        UTLClient* record = UTLClientList::FindBound(client);
        if (record == nullptr) return TraceExit("UTLWait", UTL_NOT_REGISTERED);
        UTLConnectPS(client, record);
        std::uint16_t length = 0;
        char none[1] = {};
        return TraceExit("UTLWait", Converted(CallEHLLAPI(HA_WAIT, none, length)));
    });
}

std::int32_t TRVHA64_CALL UTLWaitForCursor(trvUTLClient client, std::int32_t row, std::int32_t column,
                                           std::int32_t timeout) {
    return Guarded([&] {
        TraceEnter("UTLWaitForCursor", client, "\r\nRow=", Decimal(row), "\r\nCol=", Decimal(column), "\r\nTimeout=",
                   Decimal(timeout));
        UTLClient* record = UTLClientList::FindBound(client);
        if (record == nullptr) return TraceExit("UTLWaitForCursor", UTL_NOT_REGISTERED);
        UTLConnectPS(client, record);
        const WaitClock clock(timeout);
        const ScreenShape shape = QueryScreenShape();
        if (shape.result != UTL_SUCCESS) return TraceExit("UTLWaitForCursor", shape.result);
        row = Unsigned16(row);
        column = Unsigned16(column);
        if (row == 0 && column == 0) return TraceExit("UTLWaitForCursor", UTL_INVALID_PARAMETER);
        for (;;) {
            if (CursorAt(UTLGetCursorLocation(client), row, column, shape.columns)) {
                return TraceExit("UTLWaitForCursor", UTL_SUCCESS);
            }
            PollSleep();
            if (clock.Expired()) return TraceExit("UTLWaitForCursor", UTL_TIMEOUT);
        }
    });
}

std::int32_t TRVHA64_CALL UTLWaitForCursorMove(trvUTLClient client, std::int32_t timeout) {
    return Guarded([&] {
        TraceEnter("UTLWaitForCursorMove", client, "\r\nTimeout=", Decimal(timeout));
        // No record check of its own: without one every reading fails and
        // the wait ends with its time-out.
        const std::int32_t first = UTLGetCursorLocation(client);
        const WaitClock clock(timeout);
        for (;;) {
            const std::int32_t now = UTLGetCursorLocation(client);
            // A failed reading (the session gone) is not a move.
            if (now > 0 && now != first) return TraceExit("UTLWaitForCursorMove", UTL_SUCCESS);
            PollSleep();
            if (clock.Expired()) return TraceExit("UTLWaitForCursorMove", UTL_TIMEOUT);
        }
    });
}

std::int32_t TRVHA64_CALL UTLWaitForString(trvUTLClient client, std::int32_t row, std::int32_t column,
                                           const char* string, std::int32_t timeout) {
    return Guarded([&] {
        TraceEnter("UTLWaitForString", client, "\r\nRow=", Decimal(row), "\r\nCol=", Decimal(column),
                   "\r\nWait String=", Text(string), "\r\nTimeout=", Decimal(timeout));
        return TraceExit("UTLWaitForString", WaitForString(client, row, column, string, timeout));
    });
}

std::int32_t TRVHA64_CALL UTLWaitForKey(trvUTLClient client, const char* key, std::int32_t timeout) {
    return Guarded([&] {
        TraceEnter("UTLWaitForKey", client, "\r\nKey=", Text(key), "\r\nTimeout=", Decimal(timeout));
        UTLClient* record = UTLClientList::FindBound(client);
        if (record == nullptr) return TraceExit("UTLWaitForKey", UTL_NOT_REGISTERED);
        if (key == nullptr) return TraceExit("UTLWaitForKey", UTL_INVALID_PARAMETER);
        std::int32_t result = UTL_TIMEOUT;
        {
            const KeyWaitScope keys(client, *record);
            const WaitClock clock(timeout);
            const char session[2] = {record->Letter(), 0};
            char read[kKeyBufferSize] = {};
            for (;;) {
                PassKeystroke(client, session, read);
                if (std::strcmp(read, key) == 0) {
                    result = UTL_SUCCESS;
                    break;
                }
                if (clock.Expired()) break;
                PollSleep();
            }
        }
        return TraceExit("UTLWaitForKey", result);
    });
}

std::int32_t TRVHA64_CALL UTLWaitHostQuiet(trvUTLClient client, std::int32_t settleMs, std::int32_t timeout) {
    return Guarded([&] {
        TraceEnter("UTLWaitHostQuiet", client, "\r\nSettle Time=", Decimal(settleMs), "\r\nTimeout=",
                   Decimal(timeout));
        if (UTLClientList::FindBound(client) == nullptr) return TraceExit("UTLWaitHostQuiet", UTL_NOT_REGISTERED);
        const auto settle = static_cast<std::uint32_t>(Unsigned16(settleMs));
        const WaitClock clock(timeout);
        std::uint32_t now = 0;
        std::uint32_t lastBusy = 0;
        std::int32_t status = 0;
        for (;;) {
            // A failed reading (the session gone) counts as busy: quiet is
            // only what the session reported.
            if (status < 0 || IsBusyStatus(status)) {
                lastBusy = now;
            } else if (now - lastBusy >= settle) {
                return TraceExit("UTLWaitHostQuiet", UTL_SUCCESS);
            }
            status = UTLGetConnectionStatus(client, kConnectionStatusType);
            if (clock.Expired(now)) return TraceExit("UTLWaitHostQuiet", UTL_TIMEOUT);
            PollSleep();
            now = clock.Elapsed();
        }
    });
}

std::int32_t TRVHA64_CALL UTLWaitForHostConnect(trvUTLClient client, std::int32_t timeout) {
    return Guarded([&] {
        TraceEnter("UTLWaitForHostConnect", client, "\r\nTimeout=", Decimal(timeout));
        UTLClient* record = UTLClientList::FindBound(client);
        if (record == nullptr) return TraceExit("UTLWaitForHostConnect", UTL_NOT_REGISTERED);
        const WaitClock clock(timeout);
        for (;;) {
            const auto status = EmulatorStatus(record->Letter());
            if (status.has_value() && *status >= kReachableStatus) return TraceExit("UTLWaitForHostConnect", UTL_SUCCESS);
            PollSleep();
            if (clock.Expired()) return TraceExit("UTLWaitForHostConnect", UTL_TIMEOUT);
        }
    });
}

std::int32_t TRVHA64_CALL UTLWaitForHostDisconnect(trvUTLClient client, std::int32_t timeout) {
    return Guarded([&] {
        TraceEnter("UTLWaitForHostDisconnect", client, "\r\nTimeout=", Decimal(timeout));
        UTLClient* record = UTLClientList::FindBound(client);
        if (record == nullptr) return TraceExit("UTLWaitForHostDisconnect", UTL_NOT_REGISTERED);
        const WaitClock clock(timeout);
        for (;;) {
            const auto status = EmulatorStatus(record->Letter());
            if (status.has_value() && *status < kDisconnectedBelow) {
                return TraceExit("UTLWaitForHostDisconnect", UTL_SUCCESS);
            }
            PollSleep();
            if (clock.Expired()) return TraceExit("UTLWaitForHostDisconnect", UTL_TIMEOUT);
        }
    });
}

std::int32_t TRVHA64_CALL UTLSendAndWait(trvUTLClient client, std::int32_t row, std::int32_t column, const char* send,
                                         const char* wait, std::int32_t timeout) {
    return Guarded([&] {
        TraceEnter("UTLSendAndWait", client, "\r\nRow=", Decimal(row), "\r\nCol=", Decimal(column),
                   "\r\nSend String=", Text(send), "\r\nWait String=", Text(wait), "\r\nTimeout=", Decimal(timeout));
        // Without a wait string nothing is sent: there would be nothing to
        // wait for.
        if (send == nullptr || wait == nullptr) return TraceExit("UTLSendAndWait", UTL_INVALID_PARAMETER);
        const std::int32_t sent = UTLSendKey(client, send);
        if (sent != UTL_SUCCESS) return TraceExit("UTLSendAndWait", sent);
        return TraceExit("UTLSendAndWait", UTLWaitForString(client, row, column, wait, timeout));
    });
}

}  // extern "C"
