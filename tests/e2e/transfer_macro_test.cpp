// End to end: Send File and Receive File of a text file through the
// demonstration host's file store, and a macro of the profile directory
// that signs on, started by a native caller with Start Playing Macro.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "e2e_fixture.h"
#include "trvha64.h"

namespace trv::e2e {
namespace {

std::uint32_t ReadU32(const unsigned char* bytes) {
    std::uint32_t value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

// --- the caller roles ---------------------------------------------------

// round_trip L DIR: sends DIR/SENT.TXT to L's host file ROUND TRIP A1 and
// receives it back into DIR/BACK.TXT, both as text with CRLF line ends.
int RoundTripRole(const std::vector<std::string>& args) {
    const std::string letter = args[0];
    const std::string directory = args[1];
    const std::string options = " " + letter + ": round trip a1 (ascii crlf time(30) clear";
    Say("send " + Num(RunText(HA_SEND_FILE, directory + "/sent.txt" + options)));
    Say("receive " + Num(RunText(HA_RECEIVE_FILE, "\"" + directory + "/back.txt\"" + options)));
    Say("no_host_file " + Num(RunText(HA_SEND_FILE, directory + "/sent.txt " + letter + ":")));
    Say("missing " + Num(RunText(HA_RECEIVE_FILE, directory + "/x.txt " + letter + ": no such file")));
    return 0;
}

// macro L: connects to L and plays the macro SIGNON; reads row 1.
int MacroRole(const std::vector<std::string>& args) {
    Say("connect " + Num(RunText(HA_CONNECT_PS, args[0])));
    Say("macro " + Num(RunText(HA_START_PLAYING_MACRO, "signon")));
    Say("unknown " + Num(RunText(HA_START_PLAYING_MACRO, "nothing")));
    Say("wait " + Num(Run(HA_WAIT, nullptr, 0).rc));
    std::vector<char> row(81, '\0');
    Run(HA_COPY_PS_TO_STR, row.data(), 80, 1);
    std::string text(row.data());
    for (char& c : text) c = c == ' ' ? '_' : c;
    Say("row1 " + text);
    return 0;
}

// window L: window services of L on a headless emulator, whose window is
// notional: connect, coordinates, status query, a rename, disconnect.
int WindowRole(const std::vector<std::string>& args) {
    const char letter = args[0][0];
    char name[4] = {letter};
    Say("connect " + Num(Run(HA_CONNECT_PM_SRVCS, name, 1).rc));
    unsigned char coordinates[20] = {static_cast<unsigned char>(letter)};
    const Outcome query = Run(HA_QUERY_WINDOW_COORDS, coordinates, sizeof coordinates);
    Say("coordinates " + Num(query.rc) + " " + Num(static_cast<int32_t>(ReadU32(coordinates + 4))) + " " +
        Num(static_cast<int32_t>(ReadU32(coordinates + 8))) + " " +
        Num(static_cast<int32_t>(ReadU32(coordinates + 12))) + " " +
        Num(static_cast<int32_t>(ReadU32(coordinates + 16))));
    unsigned char status[28] = {static_cast<unsigned char>(letter), 0, 0, 0, 2};
    const Outcome statusQuery = Run(HA_PM_WINDOW_STATUS, status, sizeof status);
    Say("status " + Num(statusQuery.rc) + " " + Num(ReadU16(status + 6)) + " " +
        Num(static_cast<int32_t>(ReadU32(status + 8))) + " " + Num(static_cast<int32_t>(ReadU32(status + 12))) +
        " " + Num(static_cast<int32_t>(ReadU32(status + 16))) + " " +
        Num(static_cast<int32_t>(ReadU32(status + 20))));
    unsigned char hide[28] = {static_cast<unsigned char>(letter), 0, 0, 0, 1, 0, 0x10};
    Say("hide " + Num(Run(HA_PM_WINDOW_STATUS, hide, sizeof hide).rc));
    unsigned char again[28] = {static_cast<unsigned char>(letter), 0, 0, 0, 2};
    Run(HA_PM_WINDOW_STATUS, again, sizeof again);
    Say("hidden_flags " + Num(ReadU16(again + 6)));
    unsigned char rename[68] = {static_cast<unsigned char>(letter), 0, 0, 0, 1, 'P', 'a', 'y', 'r', 'o', 'l', 'l'};
    Say("rename " + Num(Run(HA_CHANGE_WINDOW_NAME, rename, sizeof rename).rc));
    Say("disconnect " + Num(Run(HA_DISCONNECT_PM_SRVCS, name, 1).rc));
    Say("after " + Num(Run(HA_PM_WINDOW_STATUS, again, sizeof again).rc));
    return 0;
}

[[maybe_unused]] const bool kRegistered = RegisterRoles({
    {"round_trip", RoundTripRole, 2},
    {"macro", MacroRole, 1},
    {"window", WindowRole, 1},
});

using TransferMacroEndToEnd = EmulatorEndToEnd;

std::string FileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

TEST_F(TransferMacroEndToEnd, SendThenReceiveGivesTheFileBackByteForByte) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    const std::filesystem::path directory = NamespaceDirectory(space_) / "pc";
    std::filesystem::create_directories(directory);
    const std::string text = "FIRST LINE\r\nsecond line, lower case\r\n\r\n  indented\tand tabbed\r\nlast\r\n";
    std::ofstream(directory / "sent.txt", std::ios::binary) << text;

    Report report = RunCaller("round_trip", {"A", directory.string()});
    EXPECT_EQ(report.Joined("send"), "3");
    EXPECT_EQ(report.Joined("receive"), "3");
    EXPECT_EQ(report.Joined("no_host_file"), "2");
    EXPECT_EQ(report.Joined("missing"), "27");
    EXPECT_EQ(FileBytes(NamespaceDirectory(space_) / "hostfiles" / "ROUND.TRIP.A1"),
              "FIRST LINE\nsecond line, lower case\n\n  indented\tand tabbed\nlast\n");
    // The caller's side upper-cases the command; the file lands beside the
    // one sent, under the name as the host was given it.
    EXPECT_EQ(FileBytes(directory / "BACK.TXT"), text);
}

TEST_F(TransferMacroEndToEnd, AMacroSignsOn) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    Report report = RunCaller("macro", {"A"});
    EXPECT_EQ(report.Joined("connect"), "0");
    EXPECT_EQ(report.Joined("macro"), "0");
    EXPECT_EQ(report.Joined("unknown"), "2");
    EXPECT_NE(report.Joined("row1").find("Main_Menu"), std::string::npos) << report.Joined("row1");
}

TEST_F(TransferMacroEndToEnd, WindowServicesOnAHeadlessEmulator) {
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"demo=A"}));
    Report report = RunCaller("window", {"A"});
    EXPECT_EQ(report.Joined("connect"), "0");
    // The notional window of a 24x80 screen in 8x16 cells, with its status line.
    EXPECT_EQ(report.Joined("coordinates"), "0 0 400 640 0");
    EXPECT_EQ(report.Joined("status"), "0 8 0 0 640 400") << "visible, at 0,0, 640x400";
    EXPECT_EQ(report.Joined("hide"), "0");
    EXPECT_EQ(report.Joined("hidden_flags"), "16");
    EXPECT_EQ(report.Joined("rename"), "0");
    EXPECT_EQ(report.Joined("disconnect"), "0");
    EXPECT_EQ(report.Joined("after"), "1") << "window status needs the services held";
}

}  // namespace
}  // namespace trv::e2e
