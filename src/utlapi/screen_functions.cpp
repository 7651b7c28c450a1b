// The UTLAPI screen and field functions: thin layers over EHLLAPI that turn
// rows and columns into presentation-space positions with the column count
// of Query Session Status, name the bound session, and convert the return
// code. "The usual checks": a record bound to a session A..Z (else -1), then
// the connect step, whose result the functions do not examine.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "utlapi/session_parameters.h"
#include "utlapi/utlapi_frame.h"

namespace {

using namespace trv::utl;

constexpr std::size_t kOIASize = 104;
constexpr std::uint16_t kOIALength = 103;
constexpr std::size_t kKeyRequestSize = 8;
constexpr std::size_t kKeyReplyOffset = 2;
constexpr std::size_t kKeyBytes = 6;
constexpr std::size_t kKeyInterceptRequestSize = 32;
constexpr std::size_t kHostNotifyRequestSize = 7;
constexpr std::size_t kMacroRequestSize = 11;
constexpr std::size_t kMacroNameOffset = 2;
constexpr std::size_t kMacroNameLength = 8;
constexpr std::uint16_t kUnformattedAttribute = 0xC0;
constexpr std::uint16_t kFieldNotFoundCode = 28;  // Find Field Position: no field of the kind
// Find Field Position reports an unformatted screen as "not found".
constexpr std::int32_t kFieldPositionUnformatted = -7;

// UTLAPI results the file-transfer and keystroke functions report instead
// of some EHLLAPI codes.
constexpr std::uint16_t kTransferComplete = 3;
constexpr std::uint16_t kTransferCompleteSegmented = 4;
constexpr std::uint16_t kTransferCancelled = 27;
constexpr std::uint16_t kTransferHostError = 5;
constexpr std::uint16_t kTransferCompleteRemote = 101;

UTLClient* UsualChecks(trvUTLClient client) {
    UTLClient* record = UTLClientList::FindBound(client);
    if (record != nullptr) UTLConnectPS(client, record);
    return record;
}

std::vector<char> TextData(const char* text) {
    const std::size_t n = std::strlen(text);
    std::vector<char> data(n + 1, 0);
    std::memcpy(data.data(), text, n);
    return data;
}

std::uint16_t Length16(std::size_t n) { return static_cast<std::uint16_t>(std::min<std::size_t>(n, 0xFFFF)); }

// The two-character direction code of Find Field Position and Length.
const char* DirectionCode(std::int32_t type) {
    switch (type) {
        case 1: return "N ";
        case 2: return "P ";
        case 3: return "NP";
        case 4: return "NU";
        case 5: return "PP";
        case 6: return "PU";
        default: return "  ";
    }
}

bool AllBits(std::uint16_t a, std::uint16_t bits) { return (a & bits) == bits; }

bool FieldTest(char sessionType, std::int32_t type, std::uint16_t a) {
    if (sessionType == 'D') {
        switch (type) {
            case 1: return (a & 0x20) != 0;
            case 2: return (a & 0x10) != 0;
            case 3: return (a & 0x0C) != 0;
            case 4: return (a & 0x08) != 0;
            case 5: return AllBits(a, 0x0C);
            case 6: return (a & 0x01) != 0;
            default: return false;
        }
    }
    if (sessionType == 'F') {
        switch (type) {
            case 1: return AllBits(a, 0xA0);
            case 2: return AllBits(a, 0x84) || AllBits(a, 0x86) || AllBits(a, 0x8A) || AllBits(a, 0x8E);
            case 3: return false;
            case 4: return AllBits(a, 0x90);
            case 5: return (a & 0x40) == 0;
            case 6: return AllBits(a, 0x81);
            default: return false;
        }
    }
    return false;
}

// The connection status of UTLGetConnectionStatus from the OIA bytes, with
// `r` the raw return code of Copy OIA (0, 4 or 5).
std::int32_t ConnectionStatus(const std::uint8_t* oia, std::int32_t type, std::int32_t r) {
    const bool f1 = oia[0] == '1';
    const bool f9 = oia[0] == '9';
    const std::uint8_t g81 = oia[81], g88 = oia[88], g89 = oia[89], g90 = oia[90], g91 = oia[91];
    switch (type) {
        case 1:
            if ((f1 && (g89 & 0x20)) || (f9 && (g89 & 0x04))) return 1;
            if (!f1 && !f9) return r;
            if (g90 & 0x08) return 3;
            if (g89 & 0x08) return 4;
            if (g89 & 0x80) return 5;
            if (g89 & 0x10) return 6;
            if (g91 & 0x20) return 8;
            if ((f1 && (g90 & 0x10)) || (f9 && (g90 & 0x04))) return 9;
            return r;
        case 2:
            if (f1 && (g81 & 0x10)) return 1;
            if (f1 && (g81 & 0x20)) return 2;
            if ((f1 && (g81 & 0x08)) || (f9 && (g81 & 0x10))) return 3;
            if ((f1 || f9) && (g81 & 0x04)) return 4;
            return 5;
        case 3:
            if (f1 && (g88 & 0x08)) return 1;
            if (f1 && (g88 & 0x10)) return 2;
            if (f1 && ((g88 & 0x20) || (g89 & 0x80))) return 3;
            return r == HLLAPI_RC_KEY_INTERCEPT_ACTIVE ? 0 : r;
        case 4: case 5: case 6: case 8: case 9: case 10: case 11:
            return 1;
        default:
            return r;
    }
}

// Copy Presentation Space to String (8) or Copy Field to String (34).
std::int32_t ReadText(const char* name, std::uint16_t function, trvUTLClient client, std::int32_t row,
                      std::int32_t column, char* buffer, std::int32_t length) {
    TraceEnter(name, client, "\r\nRow=", Decimal(row), "\r\nCol=", Decimal(column), "\r\nBuffer Length=",
               Decimal(length));
    const std::string exitName = std::string(name) + " Exit\r\nString=";
    auto finish = [&](std::int32_t result) {
        if (TraceOn()) {
            const std::size_t shown = buffer != nullptr && length > 0 ? static_cast<std::size_t>(length) : 0;
            UTLTrace({exitName, std::string_view(buffer != nullptr ? buffer : "", shown), "\r\nRet Code=",
                      Decimal(result)});
        }
        return result;
    };
    UTLClient* record = UsualChecks(client);
    if (record == nullptr) return finish(UTL_NOT_REGISTERED);
    if (buffer == nullptr || length <= 0) return finish(UTL_INVALID_PARAMETER);
    const ScreenShape shape = QueryScreenShape();
    if (shape.result != UTL_SUCCESS) return finish(shape.result);
    const std::int32_t position = row == 0 ? column : Position(row, column, shape.columns);
    std::uint16_t bufferLength = Length16(static_cast<std::size_t>(length));
    const std::uint16_t code = CallEHLLAPI(function, buffer, bufferLength, static_cast<std::uint16_t>(position));
    const bool copied = code == 0 || code == HLLAPI_RC_WAIT_TIMEOUT || code == HLLAPI_RC_KEY_INTERCEPT_ACTIVE;
    if (function == HA_COPY_PS_TO_STR && copied && record->parameters[kAttributeParameter] != 1) {
        for (std::int32_t i = 0; i < length; ++i) {
            if (static_cast<unsigned char>(buffer[i]) < 0x20) buffer[i] = ' ';
        }
    }
    return finish(Converted(code));
}

// Copy String to Presentation Space (15) or Copy String to Field (33).
std::int32_t WriteText(std::uint16_t function, trvUTLClient client, std::int32_t row, std::int32_t column,
                       const char* string, bool atCursorWithoutRowAndColumn) {
    if (UsualChecks(client) == nullptr) return UTL_NOT_REGISTERED;
    if (string == nullptr) return UTL_INVALID_PARAMETER;
    const ScreenShape shape = QueryScreenShape();
    if (shape.result != UTL_SUCCESS) return shape.result;
    std::int32_t position = Position(row, column, shape.columns);
    if (atCursorWithoutRowAndColumn && (row == 0 || column == 0)) position = UTLGetCursorLocation(client);
    std::vector<char> data = TextData(string);
    std::uint16_t length = Length16(data.size() - 1);
    return Converted(CallEHLLAPI(function, data.data(), length, static_cast<std::uint16_t>(position)));
}

// Find Field Position (31) or Find Field Length (32): the answer in the
// length word.
std::int32_t FindField(std::uint16_t function, trvUTLClient client, std::int32_t row, std::int32_t column,
                       std::int32_t type) {
    if (UsualChecks(client) == nullptr) return UTL_NOT_REGISTERED;
    const ScreenShape shape = QueryScreenShape();
    if (shape.result != UTL_SUCCESS) return shape.result;
    char code[4] = {};
    std::memcpy(code, DirectionCode(type), 2);
    std::uint16_t length = 0;
    const std::uint16_t rc = CallEHLLAPI(function, code, length,
                                         static_cast<std::uint16_t>(Position(row, column, shape.columns)));
    if (rc == 0 || (function == HA_FIND_FIELD_POS && rc == kFieldNotFoundCode)) return length;
    const std::int32_t result = Converted(rc);
    if (function == HA_FIND_FIELD_POS && result == Converted(HLLAPI_RC_UNFORMATTED)) return kFieldPositionUnformatted;
    return result;
}

// A call with an empty data string and the given length.
std::int32_t SimpleCall(std::uint16_t function, std::uint16_t length) {
    char none[4] = {};
    return Converted(CallEHLLAPI(function, none, length));
}

// The letter a host-update function names: explicit, or the bound
// session's for " ", "" and "*" (0 when that client is not bound).
char HostNotifyLetter(trvUTLClient client, const char* session) {
    if (session != nullptr && session[0] != 0 && session[0] != ' ' && session[0] != '*') return session[0];
    UTLClient* record = UsualChecks(client);
    return record != nullptr ? record->Letter() : 0;
}

std::int32_t FileTransferResult(std::uint16_t code) {
    switch (code) {
        case kTransferComplete:
        case kTransferCompleteSegmented:
        case kTransferCompleteRemote:
            return UTL_SUCCESS;
        case kTransferCancelled:
            return UTL_TRANSFER_CANCELLED;
        case kTransferHostError:
            return UTL_TRANSFER_FAILED;
        default:
            return Converted(code);
    }
}

std::int32_t Transfer(std::uint16_t function, const char* command, std::int32_t length) {
    if (command == nullptr) return UTL_INVALID_PARAMETER;
    std::vector<char> data = TextData(command);
    std::uint16_t n = Length16(static_cast<std::size_t>(std::max(length, 0)));
    return FileTransferResult(CallEHLLAPI(function, data.data(), n));
}

}  // namespace

extern "C" {

std::int32_t TRVHA64_CALL UTLSendKey(trvUTLClient client, const char* keys) {
    return Guarded([&] {
        TraceEnter("UTLSendKey", client, "\r\nKeys=", Text(keys));
        if (UsualChecks(client) == nullptr) return TraceExit("UTLSendKey", UTL_NOT_REGISTERED);
        if (keys == nullptr) return TraceExit("UTLSendKey", UTL_INVALID_PARAMETER);
        std::vector<char> data = TextData(keys);
        std::uint16_t length = Length16(data.size() - 1);
        return TraceExit("UTLSendKey", Converted(CallEHLLAPI(HA_SENDKEY, data.data(), length)));
    });
}

std::int32_t TRVHA64_CALL UTLSendString(trvUTLClient client, std::int32_t row, std::int32_t column,
                                        const char* string) {
    return Guarded([&] {
        TraceEnter("UTLSendString", client, "\r\nRow=", Decimal(row), "\r\nCol=", Decimal(column), "\r\nString=",
                   Text(string));
        std::int32_t result = WriteText(HA_COPY_STR_TO_PS, client, row, column, string, true);
        if (result == Converted(HLLAPI_RC_DATA_TRUNCATED)) result = UTL_SUCCESS;
        return TraceExit("UTLSendString", result);
    });
}

std::int32_t TRVHA64_CALL UTLSendStringToField(trvUTLClient client, std::int32_t row, std::int32_t column,
                                               const char* string) {
    return Guarded([&] {
        TraceEnter("UTLSendStringToField", client, "\r\nRow=", Decimal(row), "\r\nCol=", Decimal(column),
                   "\r\nString=", Text(string));
        return TraceExit("UTLSendStringToField", WriteText(HA_COPY_STR_TO_FIELD, client, row, column, string, false));
    });
}

std::int32_t TRVHA64_CALL UTLGetString(trvUTLClient client, std::int32_t row, std::int32_t column, char* buffer,
                                       std::int32_t length) {
    return Guarded([&] { return ReadText("UTLGetString", HA_COPY_PS_TO_STR, client, row, column, buffer, length); });
}

std::int32_t TRVHA64_CALL UTLGetStringFromField(trvUTLClient client, std::int32_t row, std::int32_t column,
                                                char* buffer, std::int32_t length) {
    return Guarded([&] {
        return ReadText("UTLGetStringFromField", HA_COPY_FIELD_TO_STR, client, row, column, buffer, length);
    });
}

std::int32_t TRVHA64_CALL UTLGetCursorLocation(trvUTLClient client) {
    return Guarded([&] {
        TraceEnter("UTLGetCursorLocation", client);
        if (UsualChecks(client) == nullptr) return TraceExit("UTLGetCursorLocation", UTL_NOT_REGISTERED);
        char none[4] = {};
        std::uint16_t length = 0;
        const std::uint16_t code = CallEHLLAPI(HA_QUERY_CURSOR_LOC, none, length);
        return TraceExit("UTLGetCursorLocation", code == 0 ? static_cast<std::int32_t>(length) : Converted(code));
    });
}

std::int32_t TRVHA64_CALL UTLSetCursorLocation(trvUTLClient client, std::int32_t row, std::int32_t column) {
    return Guarded([&] {
        TraceEnter("UTLSetCursorLocation", client, "\r\nRow=", Decimal(row), "\r\nCol=", Decimal(column));
        if (UsualChecks(client) == nullptr) return TraceExit("UTLSetCursorLocation", UTL_NOT_REGISTERED);
        const ScreenShape shape = QueryScreenShape();
        if (shape.result != UTL_SUCCESS) return TraceExit("UTLSetCursorLocation", shape.result);
        char none[4] = {};
        std::uint16_t length = 0;
        const std::uint16_t code = CallEHLLAPI(HA_SET_CURSOR, none, length,
                                               static_cast<std::uint16_t>(Position(row, column, shape.columns)));
        return TraceExit("UTLSetCursorLocation", Converted(code));
    });
}

std::int32_t TRVHA64_CALL UTLRowColumn(trvUTLClient client, std::int32_t position, std::int32_t option) {
    return Guarded([&] {
        TraceEnter("UTLRowColumn", client, "\r\nPos=", Decimal(position), "\r\nOption=", Decimal(option));
        if (UsualChecks(client) == nullptr) return TraceExit("UTLRowColumn", UTL_NOT_REGISTERED);
        const ScreenShape shape = QueryScreenShape();
        if (shape.result != UTL_SUCCESS) return TraceExit("UTLRowColumn", shape.result);
        if (shape.rows < 1 || shape.columns < 1) return TraceExit("UTLRowColumn", UTL_BAD_SCREEN_SHAPE);
        const std::int32_t columns = shape.columns;
        std::int32_t result = UTL_INVALID_PARAMETER;
        if (option == 0) {
            result = position / columns + (position % columns != 0 ? 1 : 0);
        } else if (option == 1) {
            result = position % columns != 0 ? position % columns : columns;
        }
        return TraceExit("UTLRowColumn", result);
    });
}

std::int32_t TRVHA64_CALL UTLGetOIABytes(trvUTLClient client, char* buffer, std::int32_t length) {
    return Guarded([&] {
        TraceEnter("UTLGetOIABytes", client, "\r\nBuffer Length=", Decimal(length));
        UTLClient* record = UTLClientList::Find(client);
        if (record == nullptr) return TraceExit("UTLGetOIABytes", 0);
        UTLConnectPS(client, record);
        std::uint8_t oia[kOIASize] = {};
        std::uint16_t oiaLength = kOIALength;
        const std::int32_t result = Converted(CallEHLLAPI(HA_COPY_OIA, oia, oiaLength));
        const bool copied = result == UTL_SUCCESS || result == -static_cast<std::int32_t>(HLLAPI_RC_WAIT_TIMEOUT) ||
                            result == -static_cast<std::int32_t>(HLLAPI_RC_KEY_INTERCEPT_ACTIVE);
        if (copied && buffer != nullptr && length > 0) {
            std::memcpy(buffer, oia, std::min<std::size_t>(static_cast<std::size_t>(length), kOIALength));
        }
        return TraceExit("UTLGetOIABytes", result);
    });
}

std::int32_t TRVHA64_CALL UTLGetConnectionStatus(trvUTLClient client, std::int32_t statusType) {
    return Guarded([&] {
        TraceEnter("UTLGetConnectionStatus", client, "\r\nStatus Type=", Decimal(statusType));
        if (UsualChecks(client) == nullptr) return TraceExit("UTLGetConnectionStatus", 0);
        std::uint8_t oia[kOIASize] = {};
        std::uint16_t length = kOIALength;
        const std::uint16_t r = CallEHLLAPI(HA_COPY_OIA, oia, length);
        if (r != 0 && r != HLLAPI_RC_WAIT_TIMEOUT && r != HLLAPI_RC_KEY_INTERCEPT_ACTIVE) {
            return TraceExit("UTLGetConnectionStatus", Converted(r));
        }
        return TraceExit("UTLGetConnectionStatus", ConnectionStatus(oia, statusType, r));
    });
}

std::int32_t TRVHA64_CALL UTLGetFieldInfo(trvUTLClient client, std::int32_t row, std::int32_t column,
                                          std::int32_t type) {
    return Guarded([&] {
        TraceEnter("UTLGetFieldInfo", client, "\r\nRow=", Decimal(row), "\r\nCol=", Decimal(column), "\r\nType=",
                   Decimal(type));
        if (UsualChecks(client) == nullptr) return TraceExit("UTLGetFieldInfo", UTL_NOT_REGISTERED);
        const ScreenShape shape = QueryScreenShape();
        if (shape.result != UTL_SUCCESS) return TraceExit("UTLGetFieldInfo", shape.result);
        char none[4] = {};
        std::uint16_t attribute = 0;
        std::uint16_t code = CallEHLLAPI(HA_QUERY_FIELD_ATTR, none, attribute,
                                         static_cast<std::uint16_t>(Position(row, column, shape.columns)));
        if (code == HLLAPI_RC_UNFORMATTED) {
            code = 0;
            attribute = kUnformattedAttribute;
        }
        if (code != 0) return TraceExit("UTLGetFieldInfo", Converted(code));
        if (attribute == 0) return TraceExit("UTLGetFieldInfo", 0);
        return TraceExit("UTLGetFieldInfo", FieldTest(shape.type, type, attribute) ? 1 : 0);
    });
}

std::int32_t TRVHA64_CALL UTLGetFieldLength(trvUTLClient client, std::int32_t row, std::int32_t column,
                                            std::int32_t type) {
    return Guarded([&] { return TraceExit("UTLGetFieldLength", FindField(HA_FIND_FIELD_LEN, client, row, column, type)); });
}

std::int32_t TRVHA64_CALL UTLGetFieldPosition(trvUTLClient client, std::int32_t row, std::int32_t column,
                                              std::int32_t type) {
    return Guarded([&] {
        TraceEnter("UTLGetFieldPosition", client, "\r\nRow=", Decimal(row), "\r\nCol=", Decimal(column), "\r\nType=",
                   Decimal(type));
        return TraceExit("UTLGetFieldPosition", FindField(HA_FIND_FIELD_POS, client, row, column, type));
    });
}

std::int32_t TRVHA64_CALL UTLSearchField(trvUTLClient client, std::int32_t row, std::int32_t column,
                                         const char* string) {
    return Guarded([&] {
        TraceEnter("UTLSearchField", client, "\r\nRow=", Decimal(row), "\r\nCol=", Decimal(column), "\r\nString=",
                   Text(string));
        if (UsualChecks(client) == nullptr) return TraceExit("UTLSearchField", UTL_NOT_REGISTERED);
        if (string == nullptr) return TraceExit("UTLSearchField", UTL_INVALID_PARAMETER);
        const ScreenShape shape = QueryScreenShape();
        if (shape.result != UTL_SUCCESS) return TraceExit("UTLSearchField", shape.result);
        std::vector<char> data = TextData(string);
        std::uint16_t length = Length16(data.size() - 1);
        const std::int32_t result = Converted(CallEHLLAPI(
            HA_SEARCH_FIELD, data.data(), length, static_cast<std::uint16_t>(Position(row, column, shape.columns))));
        return TraceExit("UTLSearchField", result == UTL_SUCCESS ? static_cast<std::int32_t>(length) : result);
    });
}

std::int32_t TRVHA64_CALL UTLSearchSession(trvUTLClient client, std::int32_t row, std::int32_t column,
                                           const char* string, std::int32_t option) {
    return Guarded([&] {
        TraceEnter("UTLSearchSession", client, "\r\nRow=", Decimal(row), "\r\nCol=", Decimal(column), "\r\nString=",
                   Text(string), "\r\nOption=", Decimal(option));
        if (UsualChecks(client) == nullptr) return TraceExit("UTLSearchSession", UTL_NOT_REGISTERED);
        if (string == nullptr) return TraceExit("UTLSearchSession", UTL_INVALID_PARAMETER);
        const ScreenShape shape = QueryScreenShape();
        if (shape.result != UTL_SUCCESS) return TraceExit("UTLSearchSession", shape.result);
        const std::int32_t position = Position(row, column, shape.columns);
        const std::size_t n = std::strlen(string);
        if (option == 3) {
            std::vector<char> text(n + 1, 0);
            UTLGetString(client, row, column, text.data(), static_cast<std::int32_t>(n));
            return TraceExit("UTLSearchSession", std::strcmp(text.data(), string) == 0 ? 1 : 0);
        }
        const char* mode = option == 1 ? "SRCHALL" : option == 2 ? "SRCHFROM" : option == 4 ? "SRCHBKWD" : "";
        std::vector<char> keyword = TextData(mode);
        CallEHLLAPI(HA_SET_SESSION_PARMS, keyword.data(), Length16(keyword.size() - 1), 0, nullptr);
        std::vector<char> data = TextData(string);
        std::uint16_t length = Length16(n);
        const std::int32_t found =
            Converted(CallEHLLAPI(HA_SEARCH_PS, data.data(), length, static_cast<std::uint16_t>(position)));
        std::vector<char> restore = TextData("SRCHALL SRCHFRWD");
        CallEHLLAPI(HA_SET_SESSION_PARMS, restore.data(), Length16(restore.size() - 1), 0, nullptr);
        return TraceExit("UTLSearchSession", found == UTL_SUCCESS ? static_cast<std::int32_t>(length) : 0);
    });
}

std::int32_t TRVHA64_CALL UTLLockKeyboard(trvUTLClient client) {
    return Guarded([&] {
        TraceEnter("UTLLockKeyboard", client);
        if (UsualChecks(client) == nullptr) return TraceExit("UTLLockKeyboard", UTL_NOT_REGISTERED);
        return TraceExit("UTLLockKeyboard", SimpleCall(HA_RESERVE, 0));
    });
}

std::int32_t TRVHA64_CALL UTLUnlockKeyboard(trvUTLClient client) {
    return Guarded([&] {
        TraceEnter("UTLUnlockKeyboard", client);
        if (UsualChecks(client) == nullptr) return TraceExit("UTLUnlockKeyboard", UTL_NOT_REGISTERED);
        return TraceExit("UTLUnlockKeyboard", SimpleCall(HA_RELEASE, 0));
    });
}

std::int32_t TRVHA64_CALL UTLPause(trvUTLClient client, std::int32_t halfSeconds) {
    return Guarded([&] {
        TraceEnter("UTLPause", client, "\r\nTime=", Decimal(halfSeconds));
        if (UsualChecks(client) == nullptr) return TraceExit("UTLPause", UTL_NOT_REGISTERED);
        return TraceExit("UTLPause", SimpleCall(HA_PAUSE, static_cast<std::uint16_t>(std::max(halfSeconds, 0))));
    });
}

std::int32_t TRVHA64_CALL UTLStartKeystrokeIntercept(trvUTLClient client, const char* session, std::int32_t filter) {
    return Guarded([&] {
        TraceEnter("UTLStartKeystrokeIntercept", client, "\r\nSession=", Text(session), "\r\nFilter=",
                   Decimal(filter));
        if (session == nullptr) return TraceExit("UTLStartKeystrokeIntercept", UTL_INVALID_PARAMETER);
        char data[kKeyInterceptRequestSize] = {};
        data[0] = session[0];
        data[1] = filter != 0 ? 'L' : 'D';
        std::uint16_t length = kKeyInterceptRequestSize;
        const std::int32_t result = Converted(CallEHLLAPI(HA_START_KEY_INTERCEPT, data, length));
        return TraceExit("UTLStartKeystrokeIntercept", result == UTL_SUCCESS ? 0 : result);
    });
}

std::int32_t TRVHA64_CALL UTLGetKeystroke(trvUTLClient client, const char* session, char* buffer,
                                          std::int32_t length) {
    return Guarded([&] {
        TraceEnter("UTLGetKeystroke", client, "\r\nBuffer Length=", Decimal(length));
        auto finish = [&](std::int32_t result) {
            if (TraceOn()) {
                const std::size_t shown =
                    buffer != nullptr && result == UTL_SUCCESS ? std::min<std::size_t>(length, kKeyBytes) : 0;
                UTLTrace({"UTLGetKeystroke Exit\r\nKey=", std::string_view(buffer != nullptr ? buffer : "", shown),
                          "\r\nRet Code=", Decimal(result)});
            }
            return result;
        };
        if (UsualChecks(client) == nullptr) return finish(UTL_NOT_REGISTERED);
        if (buffer == nullptr || session == nullptr || length <= 0) return finish(UTL_INVALID_PARAMETER);
        char data[kKeyRequestSize] = {};
        data[0] = session[0];
        std::uint16_t dataLength = kKeyRequestSize;
        const std::uint16_t code = CallEHLLAPI(HA_GET_KEY, data, dataLength);
        if (code == 0) {
            std::memcpy(buffer, data + kKeyReplyOffset, std::min<std::size_t>(length, kKeyBytes));
            return finish(UTL_SUCCESS);
        }
        switch (code) {
            case HLLAPI_RC_KEY_INTERCEPT_ACTIVE:
            case HLLAPI_RC_KEY_QUEUE_OVERFLOW:
            case HLLAPI_RC_BAD_KEY_MODE:
                return finish(UTL_SYSTEM_ERROR);
            case HLLAPI_RC_NO_KEY:
                return finish(UTL_SESSION_REFUSED);
            default:
                return finish(Converted(code));
        }
    });
}

std::int32_t TRVHA64_CALL UTLStopKeystrokeIntercept(trvUTLClient client, const char* session) {
    return Guarded([&] {
        TraceEnter("UTLStopKeystrokeIntercept", client, "\r\nSession=", Text(session));
        if (session == nullptr) return TraceExit("UTLStopKeystrokeIntercept", UTL_INVALID_PARAMETER);
        std::vector<char> data = TextData(session);
        std::uint16_t length = Length16(data.size() - 1);
        return TraceExit("UTLStopKeystrokeIntercept", Converted(CallEHLLAPI(HA_STOP_KEY_INTERCEPT, data.data(), length)));
    });
}

std::int32_t TRVHA64_CALL UTLStartHostNotify(trvUTLClient client, const char* session, const char* option) {
    return Guarded([&] {
        TraceEnter("UTLStartHostNotify", client, "\r\nSession=", Text(session), "\r\nOption=", Text(option));
        const char letter = HostNotifyLetter(client, session);
        if (letter == 0) return TraceExit("UTLStartHostNotify", UTL_NOT_REGISTERED);
        char data[kHostNotifyRequestSize] = {};
        data[0] = letter;
        data[1] = option != nullptr ? option[0] : 0;
        std::uint16_t length = kHostNotifyRequestSize;
        return TraceExit("UTLStartHostNotify", Converted(CallEHLLAPI(HA_START_HOST_NOTIFY, data, length)));
    });
}

std::int32_t TRVHA64_CALL UTLQueryHostUpdate(trvUTLClient client, const char* session) {
    return Guarded([&] {
        TraceEnter("UTLQueryHostUpdate", client, "\r\nSession=", Text(session));
        const char letter = HostNotifyLetter(client, session);
        if (letter == 0) return TraceExit("UTLQueryHostUpdate", UTL_NOT_REGISTERED);
        char data[4] = {letter, 0, 0, 0};
        std::uint16_t length = 1;
        return TraceExit("UTLQueryHostUpdate", Converted(CallEHLLAPI(HA_QUERY_HOST_UPDATE, data, length)));
    });
}

std::int32_t TRVHA64_CALL UTLStopHostNotify(trvUTLClient client, const char* session) {
    return Guarded([&] {
        TraceEnter("UTLStopHostNotify", client, "\r\nSession=", Text(session));
        const char letter = HostNotifyLetter(client, session);
        if (letter == 0) return TraceExit("UTLStopHostNotify", UTL_NOT_REGISTERED);
        char data[4] = {letter, 0, 0, 0};
        std::uint16_t length = 1;
        return TraceExit("UTLStopHostNotify", Converted(CallEHLLAPI(HA_STOP_HOST_NOTIFY, data, length)));
    });
}

std::int32_t TRVHA64_CALL UTLSendFile(trvUTLClient client, const char* command, std::int32_t length) {
    return Guarded([&] {
        TraceEnter("UTLSendFile", client, "\r\nCommand", Text(command), "\r\nLength=", Decimal(length));
        UTLClient* record = UTLClientList::Find(client);
        if (record == nullptr) return TraceExit("UTLSendFile", UTL_NOT_REGISTERED);
        UTLConnectPS(client, record);
        return TraceExit("UTLSendFile", Transfer(HA_SEND_FILE, command, length));
    });
}

std::int32_t TRVHA64_CALL UTLReceiveFile(trvUTLClient client, const char* command, std::int32_t length) {
    return Guarded([&] {
        TraceEnter("UTLReceiveFile", client, "\r\nCommand=", Text(command), "\r\nLength=", Decimal(length));
        if (UsualChecks(client) == nullptr) return TraceExit("UTLReceiveFile", 0);
        return TraceExit("UTLReceiveFile", Transfer(HA_RECEIVE_FILE, command, length));
    });
}

std::int32_t TRVHA64_CALL UTLRunEmulatorMacro(trvUTLClient client, const char* session, const char* macro) {
    return Guarded([&] {
        TraceEnter("UTLRunEmulatorMacro", client, "\r\nSession=", Text(session), "\r\nMacro Name=", Text(macro));
        if (session == nullptr || macro == nullptr) return TraceExit("UTLRunEmulatorMacro", 0);
        char request[kMacroRequestSize] = {};
        std::strncpy(request + kMacroNameOffset, macro, kMacroNameLength);
        auto play = [&] {
            char data[kMacroRequestSize];
            std::memcpy(data, request, sizeof data);
            return Converted(CallEHLLAPI(HA_START_PLAYING_MACRO, data, kMacroRequestSize, 0, nullptr));
        };
        UTLClient* record = UTLClientList::Find(client);
        if (record != nullptr && record->connected != 0 && record->Letter() == session[0]) {
            return TraceExit("UTLRunEmulatorMacro", play());
        }
        char name[4] = {session[0], 0, 0, 0};
        std::uint16_t length = 1;
        std::int32_t result = Converted(CallEHLLAPI(HA_CONNECT_PS, name, length));
        if (result == UTL_SUCCESS) {
            result = play();
            SimpleCall(HA_DISCONNECT_PS, 0);
        }
        if (record != nullptr && record->connected != 0) UTLConnectPS(client, record);
        return TraceExit("UTLRunEmulatorMacro", result);
    });
}

}  // extern "C"
