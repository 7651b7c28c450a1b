// End to end on an X display: the emulator with a Swing window per session
// (--windows), a native caller using the window services step by step, and
// each step's effect checked on the emulator's window through the test's own
// X11 connection (the X server and the window manager, not the library).
#include <cstring>
#include <sstream>

#include "e2e_fixture.h"
#include "support/x11/window_probe.h"

namespace trv::e2e {
namespace {

// Four 32-bit integers from `bytes` on, each after a blank.
std::string Ints(const unsigned char* bytes) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        int32_t value;
        std::memcpy(&value, bytes + 4 * i, sizeof value);
        text += " " + Num(value);
    }
    return text;
}

// window_steps L: reads one request a line from standard input and answers
// a line for each, until the input ends:
//   connect | coords | query | set FLAGS X Y W H Z | name TEXT | name_back
int WindowStepsRole(const std::vector<std::string>& args) {
    const char letter = args[0][0];
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream words(line);
        std::string verb;
        words >> verb;
        unsigned char data[68] = {static_cast<unsigned char>(letter)};
        if (verb == "connect") {
            Say("connect " + Num(Run(HA_CONNECT_PM_SRVCS, data, 1).rc));
        } else if (verb == "coords") {
            const int32_t rc = Run(HA_QUERY_WINDOW_COORDS, data, 20).rc;
            Say("coords " + Num(rc) + Ints(data + 4));
        } else if (verb == "query") {
            data[4] = 2;
            const int32_t rc = Run(HA_PM_WINDOW_STATUS, data, 28).rc;
            Say("query " + Num(rc) + " " + Num(ReadU16(data + 6)) + Ints(data + 8));
        } else if (verb == "set") {
            int32_t fields[6] = {};
            for (int32_t& field : fields) words >> field;
            data[4] = 1;
            data[6] = static_cast<unsigned char>(fields[0]);
            data[7] = static_cast<unsigned char>(fields[0] >> 8);
            std::memcpy(data + 8, fields + 1, 5 * sizeof(int32_t));
            Say("set " + Num(Run(HA_PM_WINDOW_STATUS, data, 28).rc));
        } else if (verb == "name" || verb == "name_back") {
            std::string name;
            std::getline(words >> std::ws, name);
            data[4] = verb == "name" ? 1 : 2;
            std::memcpy(data + 5, name.c_str(), name.size() + 1);
            Say("name " + Num(Run(HA_CHANGE_WINDOW_NAME, data, sizeof data).rc));
        }
    }
    return 0;
}

[[maybe_unused]] const bool kRegistered = RegisterRoles({{"window_steps", WindowStepsRole}});

using RealWindowEndToEnd = EmulatorEndToEnd;

TEST_F(RealWindowEndToEnd, WindowServicesActOnTheSessionsSwingWindow) {
    test::X11Probe x;
    if (!x.ok()) GTEST_SKIP() << x.why();
    ASSERT_NO_FATAL_FAILURE(StartEmulator({"--windows", "demo=A"}));
    test::X11Probe::Window window = 0;
    ASSERT_TRUE(Eventually([&] { return (window = x.Find("demo - A")) != 0 && x.Managed(window); }))
        << "no window \"demo - A\" on the display";
    auto caller = StartCaller(space_, "window_steps", {"A"});
    ASSERT_TRUE(caller != nullptr);
    using V = std::vector<std::string>;
    auto ask = [&caller](const std::string& request) {
        EXPECT_TRUE(caller->WriteLine(request));
        const auto line = caller->ReadLine(kCallerLimit);
        return line ? Words(*line) : V{"no answer to", request};
    };

    EXPECT_EQ(ask("connect"), (V{"connect", "0"}));
    const test::X11Probe::Rect outer = x.Outer(window);
    EXPECT_EQ(ask("coords"), (V{"coords", "0", Num(outer.x), Num(outer.y + outer.height),
                                Num(outer.x + outer.width), Num(outer.y)}));

    // Move, then size: the emulator's own answer once its window has heard
    // of the change (the frame on the screen is the bridge's real-window test's).
    EXPECT_EQ(ask("set 2 200 150 0 0 0"), (V{"set", "0"}));
    EXPECT_EQ(ask("set 1 0 0 700 450 0"), (V{"set", "0"}));
    EXPECT_TRUE(Eventually([&] {
        const V query = ask("query");
        return query.size() == 7 && query[3] == "200" && query[4] == "150" && query[5] == "700" && query[6] == "450";
    }));

    // Hidden and shown by the emulator, which answers for its window's
    // visibility. (Minimising, restoring and the order of windows are the
    // bridge's real-window tests'.)
    EXPECT_EQ(ask("set 16 0 0 0 0 0"), (V{"set", "0"}));
    const V hidden = ask("query");
    ASSERT_EQ(hidden.size(), 7u);
    EXPECT_EQ(std::stoi(hidden[2]) & 0x0018, 0x0010);
    EXPECT_EQ(ask("set 8 0 0 0 0 0"), (V{"set", "0"}));
    EXPECT_TRUE(Eventually([&] { return x.Managed(window); })) << "shown again";
    EXPECT_EQ(ask("name Payroll"), (V{"name", "0"}));
    EXPECT_TRUE(Eventually([&] { return x.Title(window) == "Payroll"; })) << x.Title(window);
    EXPECT_EQ(ask("name_back"), (V{"name", "0"}));
    EXPECT_TRUE(Eventually([&] { return x.Title(window) == "demo - A"; })) << x.Title(window);

    caller->CloseInput();
    EXPECT_EQ(caller->Wait(kExitLimit), 0);
}

}  // namespace
}  // namespace trv::e2e
