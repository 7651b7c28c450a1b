// Caller roles: EHLLAPI and QMXAPI applications as the end-to-end tests run
// them. Every role writes its observations as "<key> <values>" lines and
// flushes after each, so that a test can follow a role that blocks.
#include "caller_roles.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "support/guarded_buffer.h"
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

    // The buffers below end at a page that may not be touched: sized as
    // include/trvha64.h states, a byte more ends this role.
    trv::test::GuardedBuffer oia(103, 0);
    Reply status = Call(HA_COPY_OIA, oia.chars(), 103);
    Report("copy_oia " + Num(status.rc) + " " + Num(status.length) + " " + Hex(oia.chars(), oia.size()));

    // Copy PS with STREOT, then STREOT and EAB: the emulator asks for more
    // than the screen; the caller receives the screen, as many bytes as it has.
    for (const char* parms : {"STREOT", "EAB"}) {
        CallWithText(HA_SET_SESSION_PARMS, parms);
        const std::size_t size = std::string(parms) == "EAB" ? 2 * 1920 : 1920;
        trv::test::GuardedBuffer whole(size);
        Reply copied = Call(HA_COPY_PS, whole.chars(), 0);
        Report(std::string("copy_ps_") + parms + " " + Num(copied.rc) + " " + Num(copied.length));
    }

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

// keys_fields L: works the demonstration host's sign-on screen in session L
// through the field functions, then signs on with Send Key and follows the
// screen with Copy PS until the main menu shows (or 20 s pass).
int KeysAndFields(const std::vector<std::string>& args) {
    if (args.size() != 1 || args[0].size() != 1) return 2;
    constexpr int32_t kUser = 5 * 80 + 35;      // row 6, column 35
    constexpr int32_t kPassword = 6 * 80 + 35;  // row 7, column 35
    Report("connect " + Num(CallWithText(HA_CONNECT_PS, args[0]).rc));

    Reply attribute = Call(HA_QUERY_FIELD_ATTR, nullptr, 0, kUser);
    Report("field_attribute " + Num(attribute.rc) + " " + Num(attribute.length));
    Reply position = CallWithText(HA_FIND_FIELD_POS, "T ", kUser + 3);
    Report("field_position " + Num(position.rc) + " " + Num(position.length));
    Reply length = CallWithText(HA_FIND_FIELD_LEN, "T ", kUser);
    Report("field_length " + Num(length.rc) + " " + Num(length.length));
    Reply next = CallWithText(HA_FIND_FIELD_POS, "NU", kUser);
    Report("next_unprotected " + Num(next.rc) + " " + Num(next.length));
    Reply label = Call(HA_QUERY_FIELD_ATTR, nullptr, 0, 1);
    Report("protected_attribute " + Num(label.rc) + " " + Num(label.length));

    Report("copy_string_to_field " + Num(CallWithText(HA_COPY_STR_TO_FIELD, "demo", kUser).rc));
    Report("copy_string_to_ps_protected " + Num(CallWithText(HA_COPY_STR_TO_PS, "x", 3).rc));
    std::vector<char> field(HLLAPI_MAX_DATA, '\x7f');
    Reply copied = Call(HA_COPY_FIELD_TO_STR, field.data(), 10, kUser);
    Report("copy_field_to_string " + Num(copied.rc) + " " + Hex(field.data(), 10));
    Reply found = CallWithText(HA_SEARCH_FIELD, "mo", kUser);
    Report("search_field " + Num(found.rc) + " " + Num(found.length));
    Reply notFound = CallWithText(HA_SEARCH_FIELD, "Sign", kUser);
    Report("search_field_missing " + Num(notFound.rc));

    Report("set_cursor " + Num(Call(HA_SET_CURSOR, nullptr, 0, kPassword).rc));
    Report("cursor " + Num(Call(HA_QUERY_CURSOR_LOC, nullptr, 0).length));
    Report("set_cursor_off_screen " + Num(Call(HA_SET_CURSOR, nullptr, 0, 1921).rc));
    char convert[8] = {args[0][0], 0, 0, 0, 'P', 0, 0, 0};
    Reply pos = Call(HA_CONVERT_POS_ROW_COL, convert, 0, kPassword);
    Report("convert_pos " + Num(pos.rc) + " " + Num(pos.length));
    convert[4] = 'r';
    Reply rowCol = Call(HA_CONVERT_POS_ROW_COL, convert, 7, 35);
    Report("convert_row_col " + Num(rowCol.rc));
    std::vector<char> status(HLLAPI_MAX_DATA, '\0');
    Reply sessionStatus = Call(HA_QUERY_SESSION_STATUS, status.data(), 20);
    Report("session_status " + Num(sessionStatus.rc) + " " + Hex(status.data(), 20));

    // Keystrokes: an unknown code; a literal bracket; then the sign-on.
    Report("set_cursor_user " + Num(Call(HA_SET_CURSOR, nullptr, 0, kUser).rc));
    Report("send_unknown " + Num(CallWithText(HA_SENDKEY, "ab@K").rc));
    Report("send_bracket " + Num(CallWithText(HA_SENDKEY, "@Fa[b]").rc));
    std::fill(field.begin(), field.end(), '\x7f');
    copied = Call(HA_COPY_FIELD_TO_STR, field.data(), 10, kUser);
    Report("user_field " + Num(copied.rc) + " " + Hex(field.data(), 10));
    Report("set_cursor_user_again " + Num(Call(HA_SET_CURSOR, nullptr, 0, kUser).rc));
    Report("send_sign_on " + Num(CallWithText(HA_SENDKEY, "@Fdemo01@Tpalvero@E").rc));

    // The host answers after a moment; Copy PS shows when.
    std::vector<char> screen(HLLAPI_MAX_DATA, '\0');
    bool menu = false;
    for (auto deadline = Clock::now() + std::chrono::seconds(20); !menu && Clock::now() < deadline;) {
        Reply copy = Call(HA_COPY_PS, screen.data(), 0);
        menu = copy.rc == 0 && std::string(screen.data(), 1920).find("Main Menu") != std::string::npos;
        if (!menu) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Report("menu " + std::string(menu ? "1" : "0") + " " + Hex(screen.data(), 80));
    Reply cursor = Call(HA_QUERY_CURSOR_LOC, nullptr, 0);
    Report("menu_cursor " + Num(cursor.rc) + " " + Num(cursor.length));
    Reply selection = CallWithText(HA_FIND_FIELD_LEN, "T ", cursor.length);
    Report("selection_length " + Num(selection.rc) + " " + Num(selection.length));
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
        {"keys_fields", KeysAndFields},
        {"blocked_qmxapi", BlockedSessionQuery},
        {"after_end", AfterEnd},
        {"hold", Hold},
    };
    auto role = roles.find(name);
    if (role != roles.end()) return role->second(args);
    using FileRoles = bool (*)(const std::string&, const std::vector<std::string>&, int*);
    for (FileRoles fileRoles :
         {RunNotificationRole, RunSendKeyRole, RunNotificationFormRole, RunKeyQueueRole,
          RunEmulatorEnvironmentRole, RunStressRole, RunWinHLLAPIRole, RunKeystrokeTableRole,
          RunHostBehaviourRole, RunWaitEndRole,
          RunDeadCallerRole, RunTransferMacroRole, RunUTLAPIRole}) {
        int exitCode = 0;
        if (fileRoles(name, args, &exitCode)) return exitCode;
    }
    std::cerr << "e2e_tests: no role " << name << "\n";
    return 2;
}

bool RunRoleFromTable(const RoleEntry* roles, std::size_t count, const std::string& name,
                      const std::vector<std::string>& args, int* exitCode) {
    for (std::size_t i = 0; i < count; ++i) {
        if (name != roles[i].name) continue;
        const bool valid = args.size() == roles[i].arguments && (args.empty() || args[0].size() == 1);
        *exitCode = valid ? roles[i].role(args) : 2;
        return true;
    }
    return false;
}

}  // namespace trv::e2e
