// End to end: an application that uses only the WinHLLAPI entries (16-bit
// words, the start-up and clean-up entries, the asynchronous call) against
// the demonstration host, and receives the completion of an asynchronous
// Wait on a message window of the library, as a Linux application does.
#include <gtest/gtest.h>

#include "e2e_fixture.h"
#include "trvha64_winhllapi.h"

namespace trv::e2e {
namespace {

constexpr uint16_t kScreenSize = 24 * 80;
constexpr uint32_t kCompletionLimitMs = 30000;
constexpr auto kHostLimit = std::chrono::seconds(10);

// --- the caller role ----------------------------------------------------

struct Answer16 {
    int32_t result;
    uint16_t rc;
    uint16_t length;
};

// One synchronous WinHLLAPI call; `position` travels in the return-code word.
Answer16 Call16(uint16_t function, uint8_t* data, uint16_t length, uint16_t position = 0) {
    uint16_t fn = function;
    uint16_t len = length;
    uint16_t rc = position;
    const int32_t result = WinHLLAPI(&fn, data, &len, &rc);
    return {result, rc, len};
}

// Copy PS into `screen`; reports "<key> <result> <rc> <screen in hex>".
Answer16 CopyScreen(const std::string& key, std::vector<uint8_t>& screen) {
    screen.assign(kScreenSize, 0);
    const Answer16 copied = Call16(HA_COPY_PS, screen.data(), kScreenSize);
    Say(key + " " + Num(copied.result) + " " + Num(copied.rc) + " " + Hex(screen.data(), screen.size()));
    return copied;
}

// winhllapi L: start-up for 1.0, connect, Copy PS, sign on with Send Key, an
// asynchronous Wait answered by a worker's completion message on a message
// window; then start-up for 1.1, under which the asynchronous Wait runs at
// once; Copy PS until the menu shows; disconnect; clean-up.
int WinHLLAPIRole(const std::vector<std::string>& args) {
    const auto letter = static_cast<uint8_t>(args[0][0]);
    trvWinHLLAPIStartupData startup{};
    const int32_t started = WinHLLAPIStartup(WHLLAPI_VERSION(1, 0), &startup);
    Say("startup_1_0 " + Num(started) + " " + Num(startup.wVersion));
    Say("description " + std::string(startup.szDescription));

    uint8_t name[4] = {letter};
    const Answer16 connected = Call16(HA_CONNECT_PS, name, 1);
    Say("connect " + Num(connected.result) + " " + Num(connected.rc));
    std::vector<uint8_t> screen;
    CopyScreen("copy_signon", screen);

    uint8_t keys[] = "DEMO01@TPALVERO@E";
    const Answer16 sent = Call16(HA_SENDKEY, keys, static_cast<uint16_t>(sizeof keys - 1));
    Say("send_key " + Num(sent.result) + " " + Num(sent.rc));

    const uintptr_t window = trvCreateMessageWindow();
    const uint32_t completion = trvRegisterWindowMessage("WinHLLAPIAsync");
    Say("window " + Num(window != 0) + " " + Num(completion != 0));
    uint16_t function = HA_WAIT;
    uint16_t length = 0;
    uint16_t rc = 0;
    const uint16_t task = WinHLLAPIAsync(window, &function, nullptr, &length, &rc);
    Say("async_wait " + Num(task) + " " + Num(rc));
    trvMessage message{};
    const int32_t got = trvGetMessage(&message, kCompletionLimitMs);
    Say("completion " + Num(got) + " " + Num(message.window == window) + " " +
        Num(message.message == completion) + " " + Num(static_cast<long long>(message.wParam)) + " " +
        Num(message.lParam & 0xFFFF) + " " + Num((message.lParam >> 16) & 0xFFFF));

    Say("startup_1_1 " + Num(WinHLLAPIStartup(WHLLAPI_VERSION(1, 1), &startup)));
    function = HA_WAIT;
    rc = 0xFFFF;
    const uint16_t direct = WinHLLAPIAsync(window, &function, nullptr, &length, &rc);
    Say("async_wait_1_1 " + Num(direct) + " " + Num(rc));
    const int32_t more = trvGetMessage(&message, 0);
    Say("no_more_messages " + Num(more));

    // Wait answers once the keyboard is free; the menu may still be on its
    // way to the screen.
    const auto deadline = std::chrono::steady_clock::now() + kHostLimit;
    Answer16 menu{};
    for (;;) {
        menu = Call16(HA_COPY_PS, screen.data(), kScreenSize);
        const std::string text(screen.begin(), screen.end());
        if (menu.rc != 0 || text.find("Main Menu") != std::string::npos) break;
        if (std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    CopyScreen("copy_menu", screen);

    const Answer16 disconnected = Call16(HA_DISCONNECT_PS, name, 1);
    Say("disconnect " + Num(disconnected.result) + " " + Num(disconnected.rc));
    const Answer16 after = Call16(HA_COPY_PS, screen.data(), kScreenSize);
    Say("copy_after_disconnect " + Num(after.rc));
    Say("cleanup " + Num(WinHLLAPICleanup()));
    Say("destroy " + Num(trvDestroyMessageWindow(window)));
    return 0;
}

[[maybe_unused]] const bool kRegistered = RegisterRoles({
    {"winhllapi", WinHLLAPIRole, 1},
});

// --- the test -----------------------------------------------------------

std::string ScreenOf(const Report& report, const std::string& key, const std::string& rc) {
    const auto words = report[key];
    if (words.size() != 3) return "(no " + key + " line)";
    if (words[0] != rc || words[1] != rc) return "(" + key + " answered " + words[0] + " " + words[1] + ")";
    return FromHex(words[2]);
}

using WinHLLAPIEndToEnd = EmulatorEndToEnd;

TEST_F(WinHLLAPIEndToEnd, AWinHLLAPICallerSignsOnAndHearsItsAsynchronousWait) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    Report report = RunCaller("winhllapi", {"A"});

    // Before a 1.1 start-up a worker answers the Wait: the call gives the
    // worker's task handle, and the completion message carries it, the
    // function and the return-code word as the caller passed it. After a 1.1
    // start-up the Wait runs at once: task 0, the Wait's own code.
    ExpectLines(report, {"startup_1_0 0 257", "description WHLLAPI.DLL Version 1.1 by Ombrel Corporation",
                         "connect 0 0", "send_key 0 0", "window 1 1", "async_wait 65535 0",
                         "completion 1 1 1 65535 4 0", "startup_1_1 0", "async_wait_1_1 0 0", "no_more_messages 0",
                         "disconnect 0 0", "copy_after_disconnect " + std::to_string(HLLAPI_RC_NO_SESSION),
                         "cleanup 1", "destroy 0"});
    const std::string signOn = ScreenOf(report, "copy_signon", "0");
    ASSERT_EQ(signOn.size(), kScreenSize) << signOn;
    EXPECT_EQ(signOn.substr(35, 7), "Sign On");
    EXPECT_EQ(signOn.substr(2 * 80 + 21, 41), "Ombrel Palvero demonstration system DEMO1");

    const std::string menu = ScreenOf(report, "copy_menu", "0");
    ASSERT_EQ(menu.size(), kScreenSize) << menu;
    EXPECT_NE(menu.substr(0, 80).find("Main Menu"), std::string::npos) << menu.substr(0, 80);
    std::string rendered;
    for (const auto& row : emulator_->ScreenRows('A')) rendered += row;
    EXPECT_EQ(menu, rendered) << "the caller's copy differs from what the emulator shows";
}

}  // namespace
}  // namespace trv::e2e
