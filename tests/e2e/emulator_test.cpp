// End to end: the reference emulator in a JDK 17 virtual machine with
// libtrvha64.so loaded offers its sessions; native caller processes reach
// them through the library's EHLLAPI and QMXAPI entries. Each test runs its
// own emulator in a namespace of named objects of its own and ends it (quit,
// or killed) before it returns.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "e2e_fixture.h"

namespace trv::e2e {
namespace {

constexpr int kRows = 24;
constexpr int kColumns = 80;
// The sign-on screen puts the cursor into the user field at row 6, column 35.
constexpr int kUserField = 5 * kColumns + 35;
// How long a caller that reported "calling" is given to reach its wait.
constexpr Milliseconds kSettle{300};

// The demonstration host's sign-on screen, as a 24x80 display shows it:
// attribute positions and nulls are blanks.
std::string ExpectedSignOnScreen() {
    std::string screen(kRows * kColumns, ' ');
    auto put = [&](int row, int column, const std::string& text) {
        screen.replace(static_cast<std::size_t>((row - 1) * kColumns + column - 1), text.size(), text);
    };
    put(1, 2, "SIGNON");
    put(1, 36, "Sign On");
    put(1, 66, "System: DEMO1");
    put(3, 22, "Ombrel Palvero demonstration system DEMO1");
    put(6, 10, "User  . . . . . . . . . .");
    put(6, 34, " ");  // the user field's attribute covers the label's last dot
    put(7, 10, "Password  . . . . . . . .");
    put(7, 34, " ");
    put(24, 2, "Enter=Sign on  F3=Exit");
    return screen;
}

TEST_F(EmulatorEndToEnd, CallersReadThePresentationSpaceAsTheEmulatorShowsIt) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A", "demo=B"}));
    EXPECT_EQ(Words(emulator_->readyLine()).back(), "AB");

    auto caller = StartCaller(space_, "presentation_space", {"A"});
    ASSERT_TRUE(caller != nullptr);
    std::vector<std::string> lines;
    ASSERT_TRUE(caller->ReadUntil("reserve ", kCallerLimit, &lines).has_value()) << "caller stopped early";
    Report report;
    report.Add(lines);

    EXPECT_EQ(report.Joined("connect"), "0");

    // Query Sessions: one 16-byte entry per session, with the size of its screen.
    EXPECT_EQ(report.Joined("query_sessions"), "0 2");
    auto entries = report.All("session_entry");
    ASSERT_EQ(entries.size(), 2u);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        std::string entry = FromHex(entries[i][0]);
        ASSERT_EQ(entry.size(), 16u);
        char letter = static_cast<char>('A' + i);
        EXPECT_EQ(entry, std::string(1, letter) + std::string(3, '\0') + std::string(1, letter) +
                             std::string(7, '\0') + "H" + std::string(1, '\0') + "\x80\x07")
            << "entry " << i;
    }

    // Copy PS: the sign-on screen byte for byte, as expected and as the
    // emulator renders it itself.
    auto copy = report["copy_ps"];
    ASSERT_EQ(copy.size(), 3u);
    EXPECT_EQ(copy[0], "0");
    EXPECT_EQ(copy[1], "1920");
    std::string screen = FromHex(copy[2]);
    EXPECT_EQ(screen, ExpectedSignOnScreen());
    std::string rendered;
    for (const auto& row : emulator_->ScreenRows('A')) rendered += row;
    EXPECT_EQ(screen, rendered);

    // Copy PS to String from row 7, column 1: that row.
    auto row7 = report["copy_ps_to_string"];
    ASSERT_EQ(row7.size(), 3u);
    EXPECT_EQ(row7[0], "0");
    EXPECT_EQ(row7[1], "80");
    EXPECT_EQ(FromHex(row7[2]), ExpectedSignOnScreen().substr(6 * kColumns, kColumns));

    EXPECT_EQ(report.Joined("search_ps"), "0 36");
    EXPECT_EQ(report.Joined("search_ps_missing"), "24 0");
    EXPECT_EQ(report.Joined("query_cursor"), "0 " + std::to_string(kUserField));

    // Copy OIA: format byte, the status line the emulator shows, and the
    // online group (subsystem ready 0x04, owned by the host application 0x10).
    auto oia = report["copy_oia"];
    ASSERT_EQ(oia.size(), 3u);
    EXPECT_EQ(oia[0], "0");
    EXPECT_EQ(oia[1], "103");
    std::string image = FromHex(oia[2]);
    ASSERT_EQ(image.size(), 103u);
    EXPECT_EQ(image[0], '1');
    std::string statusText = image.substr(1, 80);
    statusText.erase(statusText.find_last_not_of(' ') + 1);
    EXPECT_EQ(statusText, emulator_->StatusLine('A'));
    EXPECT_EQ(static_cast<unsigned char>(image[81]), 0x14);

    // Copy PS with STREOT (and EAB) delivers the screen into a buffer the
    // screen's size, no more.
    EXPECT_EQ(report.Joined("copy_ps_STREOT"), "0 1920");
    EXPECT_EQ(report.Joined("copy_ps_EAB"), "0 3840");

    // Reserve keeps the operator off the keyboard until Release.
    EXPECT_EQ(report.Joined("reserve"), "0");
    EXPECT_EQ(emulator_->Command("keys A x"), std::vector<std::string>{"INHIBITED"});
    ASSERT_TRUE(caller->WriteLine("go"));
    auto release = caller->ReadUntil("release ", kAnswerLimit);
    ASSERT_TRUE(release.has_value());
    EXPECT_EQ(*release, "release 0");
    EXPECT_EQ(caller->Wait(kExitLimit), 0);
    EXPECT_EQ(emulator_->Command("keys A x"), std::vector<std::string>{"OK"});
    EXPECT_EQ(emulator_->ScreenRows('A').at(5).substr(34, 1), "x");
}

TEST_F(EmulatorEndToEnd, ANativeCallerManagesTheSessions) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A", "demo=B"}));
    Report report = RunCaller("qmxapi");

    // Established sessions carry 4 besides the emulator's running (1) and connected (2).
    EXPECT_EQ(report.Joined("list_count_only"), "2");
    EXPECT_EQ(report.Joined("list"), "2");
    auto list = report.All("list_entry");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0], (std::vector<std::string>{"A", "7"}));
    EXPECT_EQ(list[1], (std::vector<std::string>{"B", "7"}));
    EXPECT_EQ(report.Joined("status_A"), "7");
    EXPECT_EQ(report.Joined("status_b"), "7");
    EXPECT_EQ(report.Joined("status_Z"), "0");

    auto profile = report["profile_A"];
    ASSERT_EQ(profile.size(), 2u);
    EXPECT_EQ(profile[0], "1");
    EXPECT_EQ(FromHex(profile[1]), Installed().profiles + "/demo.prf");

    EXPECT_EQ(report.Joined("disconnect_A"), "1");
    EXPECT_EQ(report.Joined("status_A_disconnected"), "5");
    EXPECT_EQ(report.Joined("disconnect_A_again"), "0");
    EXPECT_EQ(report.Joined("connect_A"), "1");
    EXPECT_EQ(report.Joined("status_A_connected"), "7");

    // A started session is offered to EHLLAPI callers at once...
    EXPECT_EQ(report.Joined("start_D"), "0");
    EXPECT_EQ(report.Joined("start_D_again"), "2");
    EXPECT_EQ(report.Joined("start_missing"), "3");
    EXPECT_EQ(report.Joined("after_start"), "3");
    auto started = report.All("after_start_entry");
    ASSERT_EQ(started.size(), 3u);
    EXPECT_EQ(started[2], (std::vector<std::string>{"D", "7"}));
    EXPECT_EQ(report.Joined("ehllapi_connect_D"), "0");
    auto copy = report["ehllapi_copy_D"];
    ASSERT_EQ(copy.size(), 3u);
    EXPECT_EQ(copy[0], "0");
    EXPECT_EQ(copy[1], "1920");
    EXPECT_EQ(FromHex(copy[2]), ExpectedSignOnScreen().substr(0, kColumns));
    EXPECT_EQ(report.Joined("ehllapi_disconnect"), "0");

    // ...and a stopped one is gone for them.
    EXPECT_EQ(report.Joined("stop_D"), "1");
    EXPECT_EQ(report.Joined("stop_D_again"), "0");
    EXPECT_EQ(report.Joined("after_stop"), "2");
    EXPECT_EQ(report.Joined("ehllapi_connect_D_stopped"), "1");
    auto sessions = emulator_->Command("list");
    ASSERT_TRUE(sessions.has_value());
    EXPECT_EQ(sessions->size(), 2u);
}

TEST_F(EmulatorEndToEnd, ATerminationSignalUnregistersEverything) {
    ASSERT_NO_FATAL_FAILURE(StartHolder());
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A", "demo=B"}));
    emulator_->process().Signal(SIGTERM);
    auto code = emulator_->process().Wait(kExitLimit);
    ASSERT_TRUE(code.has_value()) << "the emulator did not end on SIGTERM";
    EXPECT_EQ(*code, 128 + SIGTERM);
    ExpectEmulatorGone();
}

TEST_F(EmulatorEndToEnd, KilledEmulatorReleasesACallerWaitingInJava) {
    ASSERT_NO_FATAL_FAILURE(StartHolder());
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A", "slow=C"}));
    auto caller = StartCaller(space_, "blocked_send_keys", {"C"});
    ASSERT_TRUE(caller != nullptr);
    ASSERT_EQ(caller->ReadUntil("connect ", kCallerLimit), "connect 0");
    ASSERT_TRUE(caller->ReadUntil("calling", kAnswerLimit).has_value());

    // The Enter has reached the host when input is inhibited; the character
    // after it now waits in the emulator for the host's answer.
    bool waiting = false;
    for (auto deadline = Clock::now() + kAnswerLimit; !waiting && Clock::now() < deadline && caller->Running();) {
        waiting = emulator_->StatusLine('C').find("X SYSTEM") != std::string::npos;
        if (!waiting) std::this_thread::sleep_for(Milliseconds(20));
    }
    if (!waiting || !caller->Running()) {
        std::string told;
        for (const auto& line : caller->ReadRemainingLines(Milliseconds(1000))) told += " [" + line + "]";
        FAIL() << "the keystrokes did not reach session C, or the caller came back before the host "
                  "answered; the caller reported:" << told;
    }

    Report report = KillEmulatorAndAwaitRelease(*caller);
    ASSERT_EQ(report["send_keys"].size(), 2u);
    EXPECT_EQ(report["send_keys"][0], "9");
    ExpectEmulatorGone();
}

TEST_F(EmulatorEndToEnd, KilledEmulatorReleasesACallerWhoseRequestWasNotServed) {
    ASSERT_NO_FATAL_FAILURE(StartHolder());
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    // A stopped virtual machine takes the request but never serves it.
    emulator_->process().Signal(SIGSTOP);
    auto caller = StartCaller(space_, "blocked_send_keys", {"A"});
    ASSERT_TRUE(caller != nullptr);
    ASSERT_EQ(caller->ReadUntil("connect ", kCallerLimit), "connect 0");
    ASSERT_TRUE(caller->ReadUntil("calling", kAnswerLimit).has_value());
    std::this_thread::sleep_for(kSettle);
    ASSERT_TRUE(caller->Running()) << "the caller did not wait for the stopped emulator";

    Report report = KillEmulatorAndAwaitRelease(*caller);
    ASSERT_EQ(report["send_keys"].size(), 2u);
    EXPECT_EQ(report["send_keys"][0], "9");
    ExpectEmulatorGone();
}

TEST_F(EmulatorEndToEnd, KilledEmulatorReleasesASessionManagementCaller) {
    ASSERT_NO_FATAL_FAILURE(StartHolder());
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    emulator_->process().Signal(SIGSTOP);
    auto caller = StartCaller(space_, "blocked_qmxapi");
    ASSERT_TRUE(caller != nullptr);
    ASSERT_TRUE(caller->ReadUntil("calling", kCallerLimit).has_value());
    std::this_thread::sleep_for(kSettle);
    ASSERT_TRUE(caller->Running()) << "the caller did not wait for the stopped emulator";

    Report report = KillEmulatorAndAwaitRelease(*caller);
    ASSERT_EQ(report["status"].size(), 2u);
    EXPECT_EQ(report["status"][0], "9");
    ExpectEmulatorGone();
}

}  // namespace
}  // namespace trv::e2e
