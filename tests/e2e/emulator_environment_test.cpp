// End to end: the emulator side survives its own environment. A stray
// Thread.interrupt() of a session's service thread (the emulator's "interrupt"
// command interrupts the thread that served the latest request) must not
// make later requests fail.
#include <gtest/gtest.h>

#include "e2e_fixture.h"

namespace trv::e2e {
namespace {

// Keys after an Enter wait for the host's answer (a system wait) before
// they are typed.
const std::string kKeysAcrossAnEnter = "ABC@Edef";
constexpr int kRequestsAfterTheInterrupt = 3;

// interrupted_service L: one Send Key across an Enter, then, after the
// go-ahead (the test has interrupted the service thread meanwhile), several
// more.
int InterruptedServiceRole(const std::vector<std::string>& args) {
    Say("connect " + Num(RunText(HA_CONNECT_PS, args[0])));
    Say("before " + Num(RunText(HA_SENDKEY, kKeysAcrossAnEnter)));
    Say("ready");
    AwaitGo();
    for (int i = 0; i < kRequestsAfterTheInterrupt; ++i) {
        Say("after " + Num(RunText(HA_SENDKEY, kKeysAcrossAnEnter)));
    }
    return 0;
}

[[maybe_unused]] const bool kRegistered = RegisterRoles({
    {"interrupted_service", InterruptedServiceRole, 1},
});

TEST_F(EmulatorEndToEnd, AnInterruptOfTheServiceThreadFailsNoLaterRequest) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    auto caller = StartCaller(space_, "interrupted_service", {"A"});
    ASSERT_TRUE(caller != nullptr);
    std::vector<std::string> lines;
    ASSERT_TRUE(caller->ReadUntil("ready", kCallerLimit, &lines).has_value());
    EXPECT_EQ(emulator_->Command("interrupt A"), std::vector<std::string>{"interrupted"});
    ASSERT_TRUE(caller->WriteLine("go"));
    Report report = Finish(*caller);
    report.Add(lines);
    ExpectLines(report, {"connect 0", "before 0"});
    EXPECT_EQ(report.All("after"), std::vector<std::vector<std::string>>(kRequestsAfterTheInterrupt, {"0"}));
    // Each string waited for the host and was typed whole.
    const std::vector<std::string> expected(kRequestsAfterTheInterrupt + 1, "true ABC[enter]def");
    const auto sentLines = emulator_->Command("sent A");
    ASSERT_TRUE(sentLines.has_value());
    std::vector<std::string> sent;
    for (const auto& line : *sentLines) {
        if (line != "false [reset]") sent.push_back(line);
    }
    EXPECT_EQ(sent, expected);
}

}  // namespace
}  // namespace trv::e2e
