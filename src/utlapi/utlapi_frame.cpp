// The client list, the EHLLAPI call through the WinHLLAPI entry, the connect
// step, the screen shape and the trace writer of "utlTrace.log".
#include "utlapi/utlapi_frame.h"

#include <cstdio>
#include <cstring>

#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/handle.h"
#include "platform/mutex.h"
#include "platform/thread.h"
#include "protocol/caller_data.h"
#include "trvha64_winhllapi.h"
#include "utlapi/session_parameters.h"

namespace trv::utl {
namespace {

UTLClient* g_head = nullptr;

constexpr const char* kLogMutexName = "TRVUTLAPI_LOG_FILE_MUTEX";
constexpr const char* kLogFileName = "utlTrace.log";
constexpr std::uint32_t kLogMutexWaitMs = 10000;
platform::UniqueHandle g_logMutex;

}  // namespace

bool UTLClientList::Add(std::uint64_t key) {
    if (Find(key) != nullptr) return false;
    auto* record = new UTLClient;
    record->key = key;
    SetDefaultParameters(*record);
    if (g_head == nullptr) {
        g_head = record;
        return true;
    }
    UTLClient* last = g_head;
    while (last->next != nullptr) last = last->next;
    last->next = record;
    record->previous = last;
    return true;
}

bool UTLClientList::Remove(std::uint64_t key) {
    UTLClient* record = Find(key);
    if (record == nullptr) return false;
    if (record->previous != nullptr) {
        record->previous->next = record->next;
    } else {
        g_head = record->next;
    }
    if (record->next != nullptr) record->next->previous = record->previous;
    delete record;
    return true;
}

UTLClient* UTLClientList::Find(std::uint64_t key) {
    for (UTLClient* record = g_head; record != nullptr; record = record->next) {
        if (record->key == key) return record;
    }
    return nullptr;
}

UTLClient* UTLClientList::FindBound(std::uint64_t key) {
    UTLClient* record = Find(key);
    return record != nullptr && record->Bound() ? record : nullptr;
}

UTLClient* UTLClientList::Head() { return g_head; }

std::uint16_t CallEHLLAPI(std::uint16_t function, void* data, std::uint16_t& length, std::uint16_t position) {
    std::uint16_t number = function;
    std::uint16_t code = position;
    WinHLLAPI(&number, static_cast<std::uint8_t*>(data), &length, &code);
    return code;
}

std::uint16_t CallEHLLAPI(std::uint16_t function, void* data, std::uint16_t length, std::uint16_t position,
                          std::uint16_t* lengthOut) {
    const std::uint16_t code = CallEHLLAPI(function, data, length, position);
    if (lengthOut != nullptr) *lengthOut = length;
    return code;
}

std::int32_t UTLConnectPS(std::uint64_t, UTLClient* client) {
    if (client == nullptr) return UTL_SYSTEM_ERROR;
    if (client->session[0] == 0) return UTL_NOT_REGISTERED;
    char name[kSessionFieldSize];
    std::memcpy(name, client->session, sizeof name);
    std::uint16_t length = 1;
    std::uint16_t code = CallEHLLAPI(HA_CONNECT_PS, name, length);
    if (code == HLLAPI_RC_NO_SESSION) {
        code = static_cast<std::uint16_t>(-UTL_NO_SUCH_SESSION);
    } else if (code == HLLAPI_RC_WAIT_TIMEOUT) {
        code = 0;  // connected, the host is busy
    }
    const std::int32_t result = Converted(code);
    if (result == UTL_SUCCESS) client->connected = 1;
    return result;
}

ScreenShape QueryScreenShape() {
    // The packed 16-bit record: a blank (the connected session), then zeros.
    QuerySessionStatusReply16 status{};
    status.ShortName = ' ';
    std::uint16_t length = sizeof status;
    ScreenShape shape;
    shape.result = Converted(CallEHLLAPI(HA_QUERY_SESSION_STATUS, &status, length));
    if (shape.result != UTL_SUCCESS) return shape;
    shape.rows = status.Rows;
    shape.columns = status.Columns;
    shape.type = status.SessionType;
    return shape;
}

void CopyText(char* to, std::size_t size, const char* text) {
    if (to == nullptr || size == 0) return;
    std::size_t n = 0;
    if (text != nullptr) {
        while (n + 1 < size && text[n] != 0) {
            to[n] = text[n];
            ++n;
        }
    }
    to[n] = 0;
}

// ---- the trace ----------------------------------------------------------

bool TraceOn() {
    const auto value = platform::GetEnvironment("UTL_DEBUG");
    return value.has_value() && !value->empty() && ((*value)[0] == 'y' || (*value)[0] == 'Y');
}

std::string Decimal(std::int64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%lld", static_cast<long long>(value));
    return text;
}

std::string HandleText(std::uint64_t handle) {
    char text[11];
    std::snprintf(text, sizeof text, "0x%8.8X", static_cast<unsigned>(handle & 0xFFFFFFFFu));
    return text;
}

void CreateLogMutex() { g_logMutex.reset(platform::CreateNamedMutex(kLogMutexName)); }

void CloseLogMutex() { g_logMutex.reset(); }

void UTLTrace(std::initializer_list<std::string_view> pieces) {
    if (!TraceOn()) return;
    // A library attached before the mutex existed (tests calling in directly)
    // still serialises with every other process through the same name.
    if (!g_logMutex) CreateLogMutex();
    platform::MutexHold hold(g_logMutex.get(), kLogMutexWaitMs);
    if (!hold.held()) return;
    // Binary: the entries carry their own "\r\n".
    std::FILE* file = std::fopen(kLogFileName, "ab+");
    if (file == nullptr) return;
    std::fseek(file, 0, SEEK_END);
    std::string entry;
    if (std::ftell(file) > 0) entry += "\r\n\r\n";
    const platform::LocalTime now = platform::CurrentLocalTime();
    char header[96];
    std::snprintf(header, sizeof header, "UTLAPI Trace - PID/TID:0x%8.8X/0x%8.8X - %d:%d:%d::%d/%d/%d\r\n",
                  platform::CurrentProcessId(), platform::CurrentThreadId(), now.hour, now.minute, now.second,
                  now.year, now.month, now.day);
    entry += header;
    for (std::string_view piece : pieces) entry.append(piece);
    std::fwrite(entry.data(), 1, entry.size(), file);
    std::fclose(file);
}

std::int32_t TraceExit(std::string_view name, std::int32_t result) {
    if (TraceOn()) {
        const std::string head = std::string(name) + " Exit\r\nRet Code=";
        UTLTrace({head, Decimal(result)});
    }
    return result;
}

}  // namespace trv::utl
