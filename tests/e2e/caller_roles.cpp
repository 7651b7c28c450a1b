// Caller roles: EHLLAPI and QMXAPI applications as the end-to-end tests run
// them. Every role writes its observations as "<key> <values>" lines and
// flushes after each, so that a test can follow a role that blocks.
#include "caller_roles.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "trvha64_qmxapi.h"

namespace trv::e2e {
namespace {

using Clock = std::chrono::steady_clock;

struct Reply {
    int32_t rc;
    int32_t length;
};

// One EHLLAPI call with the four parameters by address; `position` travels
// in the return-code word.
Reply Call(int32_t function, char* data, int32_t length, int32_t position = 0) {
    int32_t fn = function;
    int32_t len = length;
    int32_t rc = position;
    hllapi(&fn, data, &len, &rc);
    return {rc, len};
}

Reply CallWithText(int32_t function, const std::string& text, int32_t position = 0) {
    std::vector<char> data(text.begin(), text.end());
    data.resize(HLLAPI_MAX_DATA, '\0');
    return Call(function, data.data(), static_cast<int32_t>(text.size()), position);
}

std::string Hex(const char* bytes, std::size_t count) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        auto byte = static_cast<unsigned char>(bytes[i]);
        text += digits[byte >> 4];
        text += digits[byte & 0xF];
    }
    return text;
}

void Report(const std::string& line) {
    std::cout << line << std::endl;
}

std::string Num(long long value) { return std::to_string(value); }

// Waits for the test's go-ahead: one line on standard input.
void AwaitGo() {
    std::string line;
    std::getline(std::cin, line);
}

long long MillisSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// presentation_space L: connects to session L and reads it the ways an
// automation application does; holds a reservation until told to go on.
int PresentationSpace(const std::vector<std::string>& args) {
    if (args.size() != 1 || args[0].size() != 1) return 2;
    const std::string letter = args[0];

    Report("connect " + Num(CallWithText(HA_CONNECT_PS, letter).rc));

    std::vector<char> sessions(26 * 16, '\0');
    Reply query = Call(HA_QUERY_SESSIONS, sessions.data(), static_cast<int32_t>(sessions.size()));
    Report("query_sessions " + Num(query.rc) + " " + Num(query.length));
    for (int32_t i = 0; i < query.length && i < 26; ++i) {
        Report("session_entry " + Hex(&sessions[static_cast<std::size_t>(i) * 16], 16));
    }

    std::vector<char> screen(HLLAPI_MAX_DATA, '\x7f');
    Reply copy = Call(HA_COPY_PS, screen.data(), 0);
    Report("copy_ps " + Num(copy.rc) + " " + Num(copy.length) + " " +
           Hex(screen.data(), copy.length > 0 ? static_cast<std::size_t>(copy.length) : 0));

    std::vector<char> part(HLLAPI_MAX_DATA, '\x7f');
    Reply string = Call(HA_COPY_PS_TO_STR, part.data(), 80, 481);
    Report("copy_ps_to_string " + Num(string.rc) + " " + Num(string.length) + " " + Hex(part.data(), 80));

    Reply found = CallWithText(HA_SEARCH_PS, "Sign On");
    Report("search_ps " + Num(found.rc) + " " + Num(found.length));
    Reply missing = CallWithText(HA_SEARCH_PS, "no such text");
    Report("search_ps_missing " + Num(missing.rc) + " " + Num(missing.length));

    Reply cursor = Call(HA_QUERY_CURSOR_LOC, nullptr, 0);
    Report("query_cursor " + Num(cursor.rc) + " " + Num(cursor.length));

    std::vector<char> oia(HLLAPI_MAX_DATA, '\0');
    Reply status = Call(HA_COPY_OIA, oia.data(), 104);
    Report("copy_oia " + Num(status.rc) + " " + Num(status.length) + " " + Hex(oia.data(), 104));

    Report("reserve " + Num(Call(HA_RESERVE, nullptr, 0).rc));
    AwaitGo();
    Report("release " + Num(Call(HA_RELEASE, nullptr, 0).rc));
    return 0;
}

// qmxapi: manages the emulator's sessions through the session-management entries.
int SessionManagement(const std::vector<std::string>&) {
    auto list = [](const std::string& key) {
        trvQMXSessionEntry entries[QMX_MAX_SESSIONS] = {};
        uint32_t count = trvQuerySessionList(QMX_MAX_SESSIONS, entries);
        Report(key + " " + Num(count));
        for (uint32_t i = 0; i < count && i < QMX_MAX_SESSIONS; ++i) {
            Report(key + "_entry " + std::string(1, entries[i].short_name) + " " + Num(entries[i].status));
        }
    };
    Report("list_count_only " + Num(trvQuerySessionList(0, nullptr)));
    list("list");
    Report("status_A " + Num(trvQueryEmulatorStatus('A')));
    Report("status_b " + Num(trvQueryEmulatorStatus('b')));
    Report("status_Z " + Num(trvQueryEmulatorStatus('Z')));

    char profile[QMX_PROFILE_SIZE] = {};
    uint32_t known = trvQueryWorkstationProfile('A', profile);
    Report("profile_A " + Num(known) + " " + Hex(profile, std::strlen(profile)));

    Report("disconnect_A " + Num(trvDisconnectSession('A')));
    Report("status_A_disconnected " + Num(trvQueryEmulatorStatus('A')));
    Report("disconnect_A_again " + Num(trvDisconnectSession('A')));
    Report("connect_A " + Num(trvConnectSession('a')));
    Report("status_A_connected " + Num(trvQueryEmulatorStatus('A')));

    Report("start_D " + Num(trvStartSession("demo", 'd', 1)));
    Report("start_D_again " + Num(trvStartSession("demo", 'D', 1)));
    Report("start_missing " + Num(trvStartSession("no-such-profile", 'E', 1)));
    list("after_start");
    Report("ehllapi_connect_D " + Num(CallWithText(HA_CONNECT_PS, "D").rc));
    std::vector<char> screen(HLLAPI_MAX_DATA, '\0');
    Reply copy = Call(HA_COPY_PS, screen.data(), 0);
    Report("ehllapi_copy_D " + Num(copy.rc) + " " + Num(copy.length) + " " + Hex(screen.data(), 80));
    Report("ehllapi_disconnect " + Num(Call(HA_DISCONNECT_PS, nullptr, 0).rc));

    Report("stop_D " + Num(trvStopSession('D', 0)));
    Report("stop_D_again " + Num(trvStopSession('D', 0)));
    list("after_stop");
    Report("ehllapi_connect_D_stopped " + Num(CallWithText(HA_CONNECT_PS, "D").rc));
    return 0;
}

// blocked_send_keys L: connects to L, then sends Enter followed by a
// character, which waits in the emulator for the host's answer.
int BlockedSendKeys(const std::vector<std::string>& args) {
    if (args.size() != 1 || args[0].size() != 1) return 2;
    Report("connect " + Num(CallWithText(HA_CONNECT_PS, args[0]).rc));
    Report("calling");
    auto start = Clock::now();
    Reply keys = CallWithText(HA_SENDKEY, "@Ex");
    Report("send_keys " + Num(keys.rc) + " " + Num(MillisSince(start)));
    return 0;
}

// blocked_qmxapi: one status query, for an emulator that will not answer.
int BlockedSessionQuery(const std::vector<std::string>&) {
    Report("calling");
    auto start = Clock::now();
    uint32_t status = trvQueryEmulatorStatus('A');
    Report("status " + Num(status) + " " + Num(MillisSince(start)));
    return 0;
}

// after_end L: what a caller sees of session L and of the emulator once the
// emulator is gone.
int AfterEnd(const std::vector<std::string>& args) {
    if (args.size() != 1 || args[0].size() != 1) return 2;
    Report("connect " + Num(CallWithText(HA_CONNECT_PS, args[0]).rc));
    std::vector<char> sessions(26 * 16, '\0');
    Reply query = Call(HA_QUERY_SESSIONS, sessions.data(), static_cast<int32_t>(sessions.size()));
    Report("query_sessions " + Num(query.rc) + " " + Num(query.length));
    auto start = Clock::now();
    uint32_t status = trvQueryEmulatorStatus(args[0][0]);
    Report("qmx_status " + Num(status) + " " + Num(MillisSince(start)));
    return 0;
}

// hold: keeps the library attached (and with it the shared tables) until
// standard input closes, as other applications on the machine would.
int Hold(const std::vector<std::string>&) {
    Report("attached");
    std::string line;
    while (std::getline(std::cin, line)) {
    }
    return 0;
}

}  // namespace

int RunCallerRole(const std::string& name, const std::vector<std::string>& args) {
    static const std::map<std::string, std::function<int(const std::vector<std::string>&)>> roles = {
        {"presentation_space", PresentationSpace},
        {"qmxapi", SessionManagement},
        {"blocked_send_keys", BlockedSendKeys},
        {"blocked_qmxapi", BlockedSessionQuery},
        {"after_end", AfterEnd},
        {"hold", Hold},
    };
    auto role = roles.find(name);
    if (role == roles.end()) {
        std::cerr << "e2e_tests: no role " << name << "\n";
        return 2;
    }
    return role->second(args);
}

}  // namespace trv::e2e
