// End to end: the reference emulator in a JDK 17 virtual machine with
// libtrvha64.so loaded offers its sessions; native caller processes reach
// them through the library's EHLLAPI entries.
#include "e2e_fixture.h"

namespace trv::e2e {
namespace {

// The demonstration host's 27x132 exchange-rate screen, with characters
// outside Latin-1, copied whole by Copy PS to String with room for two bytes
// a position: the length in positions and every character in Unicode, those
// inside Latin-1 too. (The single-byte copy with '?' for the others is the
// emulator's Unicode copy test's.) The copy-back carries the text alone: the
// terminator after it stays in the exchange block.
TEST_F(EmulatorEndToEnd, AWideScreenCopiesAsUnicode) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"rates=A"}));
    constexpr int kWideSize = 27 * 132;
    Report report = RunCaller(
        "script", {Step("connect call", HA_CONNECT_PS, "A"), Step("sign_on call", HA_SENDKEY, "demo01@Tpalvero@E"),
                   Step("wait call", HA_WAIT), Step("rates call", HA_SENDKEY, "3@E"), Step("rates_wait call", HA_WAIT),
                   Step("unicode calld", HA_COPY_PS_TO_STR, "-", 1, 2 * kWideSize, 2 * kWideSize)});
    const std::string units = ReadBytes(report, "unicode", "0 " + std::to_string(kWideSize));
    ASSERT_EQ(units.size(), 2u * kWideSize) << "no copy reported";
    auto unitAt = [&units](int row, int column) {
        return ReadU16(reinterpret_cast<const unsigned char*>(units.data()) + 2 * ((row - 1) * 132 + column - 1));
    };
    EXPECT_EQ(unitAt(7, 2), unsigned{'E'});
    EXPECT_EQ(unitAt(7, 7), 0x20ACu) << "euro sign";
    EXPECT_EQ(unitAt(11, 7), 0x00A5u) << "yen sign, inside Latin-1";
}

// A stray Thread.interrupt() of a session's service thread (the emulator's
// "interrupt" command interrupts the thread that served the latest request).
constexpr int kRequestsAfterTheInterrupt = 3;

TEST_F(EmulatorEndToEnd, AnInterruptOfTheServiceThreadFailsNoLaterRequest) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    const std::string keys = "ABC@Edef";  // waiting for the host's answer to the Enter
    std::vector<std::string> steps = {Step("connect call", HA_CONNECT_PS, "A"), Step("before call", HA_SENDKEY, keys),
                                      "ready say", "- go"};
    steps.insert(steps.end(), kRequestsAfterTheInterrupt, Step("after call", HA_SENDKEY, keys));
    ASSERT_NO_FATAL_FAILURE(StartReady("script", steps));
    EXPECT_EQ(Command("interrupt A"), std::vector<std::string>{"interrupted"});
    ASSERT_TRUE(caller_->WriteLine("go"));
    Report report = Finish();
    EXPECT_EQ(report.All("after"), std::vector<std::vector<std::string>>(kRequestsAfterTheInterrupt, {"0"}));
    // Each string waited for the host and was typed whole.
    auto sent = Command("sent A");
    std::erase(sent, "false [reset]");
    EXPECT_EQ(sent, std::vector<std::string>(kRequestsAfterTheInterrupt + 1, "true ABC[enter]def"));
}

}  // namespace
}  // namespace trv::e2e
