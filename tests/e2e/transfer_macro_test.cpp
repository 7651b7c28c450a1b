// End to end: Send File and Receive File of a text file through the
// demonstration host's file store, and a macro of the profile directory
// that signs on, started by a native caller with Start Playing Macro.
#include <fstream>

#include "e2e_fixture.h"
#include "support/test_files.h"

namespace trv::e2e {
namespace {

using TransferMacroEndToEnd = EmulatorEndToEnd;

TEST_F(TransferMacroEndToEnd, AFileGoesToTheHostAndBackByteForByteAndAMacroSignsOn) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    const std::filesystem::path directory = NamespaceDirectory(space_) / "pc";
    std::filesystem::create_directories(directory);
    const std::string text = "FIRST LINE\r\nsecond line, lower case\r\n\r\n  indented\tand tabbed\r\nlast\r\n";
    std::ofstream(directory / "sent.txt", std::ios::binary) << text;

    // Both as text with CRLF line ends, to A's host file ROUND TRIP A1 and back.
    const std::string pc = directory.string();
    const std::string options = "~A:~round~trip~a1~(ascii~crlf~time(30)~clear";
    Report report = RunCaller("script", {Step("send call", HA_SEND_FILE, pc + "/sent.txt" + options),
                                         Step("receive call", HA_RECEIVE_FILE, "\"" + pc + "/back.txt\"" + options),
                                         Step("connect call", HA_CONNECT_PS, "A"),
                                         Step("macro call", HA_START_PLAYING_MACRO, "signon"),
                                         Step("unknown call", HA_START_PLAYING_MACRO, "nothing"),
                                         Step("wait call", HA_WAIT),
                                         Step("top calld", HA_COPY_PS_TO_STR, "-", 1, 80, 80)});
    ExpectLines(report, {"send 3", "receive 3", "connect 0", "macro 0", "unknown 2", "wait 0"});
    // The caller's side upper-cases the command; the file lands beside the
    // one sent, under the name as the host was given it.
    EXPECT_EQ(test::ReadFile(directory / "BACK.TXT"), text);
    EXPECT_NE(ReadBytes(report, "top", "0 80").find("Main Menu"), std::string::npos);
}

}  // namespace
}  // namespace trv::e2e
