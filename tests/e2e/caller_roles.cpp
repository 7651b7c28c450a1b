// The role registry of the end-to-end tests and the "script" role: the
// EHLLAPI application a test writes as steps.
#include "e2e_fixture.h"

#include <algorithm>
#include <cstring>

namespace trv::e2e {
namespace {

// script STEP...: a caller that runs its steps in order; a test writes the
// application it needs as steps instead of a role of its own. A step is
// "KEY OP ARGS..." (words apart by blanks) and reports "KEY <answers>":
//   call FN [TEXT [POS [LEN]]] the EHLLAPI function with TEXT ("-" for none,
//                              '~' for a blank) as data, its length (or LEN)
//                              as the length: the return code
//   calld FN TEXT POS LEN N    the same, with the length and the first N
//                              bytes of data after the call in hexadecimal
//   start FN L LENGTH B4 [B16] a notification or intercept start for session
//                              L: bytes 4 and 16 of the request as given; the
//                              message form ('M' at 4) names the script's
//                              window (made at the first use) and reports
//                              the identifier, the event forms ('A', 'Q')
//                              keep the returned event for "handle"
//   handle MS                  trvWaitForHandle on that event
//   getkey L                   Get Key: return code, kind and key
//   messages LPARAM...         the window's notifications until one of each
//                              kind came: the wParam of each ("-": none)
//   say                        the key alone ("ready", "calling")
//   go                         waits for the test's go-ahead (reports nothing)
//   hold                       waits until standard input closes
int Script(const std::vector<std::string>& steps) {
    uint64_t event = 0;
    uintptr_t window = 0;
    for (const std::string& step : steps) {
        const std::vector<std::string> w = Words(step);
        if (w.size() < 2) return 2;
        const std::string& key = w[0];
        const std::string& op = w[1];
        auto arg = [&w](std::size_t i, const std::string& otherwise = "") { return i < w.size() ? w[i] : otherwise; };
        auto num = [&](std::size_t i) { return std::stoi(arg(i, "0")); };
        if (op == "call" || op == "calld") {
            std::string text = arg(3) == "-" ? "" : arg(3);
            std::replace(text.begin(), text.end(), '~', ' ');
            const int32_t length = w.size() > 5 ? num(5) : static_cast<int32_t>(text.size());
            text.resize(HLLAPI_MAX_DATA, '\0');
            const Outcome got = Run(num(2), text.data(), length, num(4));
            const std::string read = " " + Num(got.length) + " " + Hex({text.data(), static_cast<std::size_t>(num(6))});
            Say(key + " " + Num(got.rc) + (op == "calld" ? read : ""));
        } else if (op == "start") {
            std::vector<unsigned char> request(24, 0);
            request[0] = static_cast<unsigned char>(arg(3)[0]);
            request[4] = static_cast<unsigned char>(arg(5)[0]);
            request[16] = static_cast<unsigned char>(arg(6, std::string(1, '\0'))[0]);
            const bool message = request[4] == 'M';
            if (message && window == 0) window = trvCreateMessageWindow();
            for (int i = 0; message && i < 8; ++i) request[8 + i] = static_cast<unsigned char>(window >> (8 * i));
            const int32_t rc = Run(num(2), request.data(), num(4)).rc;
            // The event forms write the address at which the event handle is held into bytes 8-15.
            const uint64_t* handle = nullptr;
            std::memcpy(&handle, request.data() + 8, sizeof handle);
            if (rc == HLLAPI_RC_SUCCESS && (request[4] == 'A' || request[4] == 'Q')) event = *handle;
            Say(key + " " + Num(rc) + (message ? " " + Num(ReadU16(request.data() + 8)) : ""));
        } else if (op == "handle") {
            Say(key + " " + Num(trvWaitForHandle(event, static_cast<uint32_t>(num(2)))));
        } else if (op == "getkey") {
            unsigned char data[16] = {static_cast<unsigned char>(arg(2)[0])};
            // The return code, the entry's kind (byte 4) and the key (from byte 5).
            const Outcome got = Run(HA_GET_KEY, data, sizeof data);
            Say(key + " " + Num(got.rc) + " " + std::string(1, static_cast<char>(data[4])) + " " +
                std::string(reinterpret_cast<const char*>(data + 5), static_cast<std::size_t>(std::max(got.length, 0))));
        } else if (op == "messages") {
            const uint32_t notification = trvRegisterWindowMessage("QMXHLL");
            std::vector<std::string> seen(w.size() - 2, "-");
            for (std::size_t left = seen.size(); left > 0;) {
                trvMessage m{};
                if (trvGetMessage(&m, 30000) != 1) break;
                for (std::size_t i = 0; i < seen.size(); ++i) {
                    if (seen[i] == "-" && m.lParam == std::stoi(w[i + 2]) && m.window == window &&
                        m.message == notification) {
                        seen[i] = Num(static_cast<long long>(m.wParam));
                        --left;
                    }
                }
            }
            std::string line = key;
            for (const std::string& wParam : seen) line += " " + wParam;
            Say(line);
        } else if (op == "say") {
            Say(key);
        } else if (op == "go") {
            std::string line;
            std::getline(std::cin, line);
        } else if (op == "hold") {
            for (std::string line; std::getline(std::cin, line);) {
            }
        } else {
            return 2;
        }
    }
    if (window != 0) trvDestroyMessageWindow(window);
    return 0;
}

std::vector<RoleEntry>& Roles() {
    static std::vector<RoleEntry> roles;
    return roles;
}

[[maybe_unused]] const bool kRegistered = RegisterRoles({{"script", Script}});

}  // namespace

bool RegisterRoles(std::initializer_list<RoleEntry> roles) {
    Roles().insert(Roles().end(), roles.begin(), roles.end());
    return true;
}

int RunCallerRole(const std::string& name, const std::vector<std::string>& args) {
    for (const RoleEntry& role : Roles()) {
        if (name == role.name) return role.role(args);
    }
    std::cerr << "e2e_tests: no role " << name << "\n";
    return 2;
}

}  // namespace trv::e2e
