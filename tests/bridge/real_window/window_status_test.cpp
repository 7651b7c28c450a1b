// Connect Window Services and Window Status against a real top-level window,
// checked against what the window system itself says of it.
#include <array>
#include <functional>
#include <string>

#include "bridge_fixture.h"
#include "protocol/caller_data.h"
#include "real_window/test_window.h"
#include "support/child_role.h"
#include "tables/application_block.h"
#include "tables/session_list.h"
#include "trvha64.h"

namespace trv::test {
namespace {

namespace flags = window_flags;

class RealWindowTest : public SessionTest {
public:
    void SetUp() override {
        SessionTest::SetUp();
        const std::string title = UniqueName("Window status test");
        std::string why;
        window_ = TestWindow::Open(title, &why);
        if (!window_) GTEST_SKIP() << why;
        ApplicationBlock& block = Block();
        Record("GetWindowTitle", "()J", 0, &block, title);
        Record("IsVisible", "()J", 1);
        Record("QueryWindowCoordinates", "()J", 0, &block, " L0 B0 R0 T0 W");
    }

    std::unique_ptr<TestWindow> window_;
};

struct SetRow {
    const char* what;
    std::uint16_t flags;
    std::array<std::int32_t, 5> geometry;    // X, Y, Width, Height, ZOrder
    std::function<bool(TestWindow&)> holds;  // the effect, through the window system
    std::uint16_t shown;                      // the query's minimised and maximised flags afterwards
    int front;                                // the query's foreground flags: 1 front, 0 not, -1 either
};

TEST_F(RealWindowTest, SetRequestsActOnTheWindowAndQueriesReportIt) {
    ApplicationBlock& block = Block();
    block.Data[0] = kSessionLetter;
    ASSERT_EQ(Run(block, HA_CONNECT_PM_SRVCS), 0);
    ASSERT_EQ(Sessions()->GetSession(kSessionLetter).WindowHandle, window_->handle()) << "found by its title";

    const SetRow rows[] = {
        {"move", flags::kMove, {100, 120, 0, 0, 0},
         [](TestWindow& w) { return w.Outer().x == 100 && w.Outer().y == 120; }, 0, -1},
        {"size", flags::kSize, {0, 0, 500, 300, 0},
         [](TestWindow& w) { return w.Outer().width == 500 && w.Outer().height == 300; }, 0, -1},
        {"move, minimise not looked at", flags::kMove | flags::kMinimize, {140, 150, 0, 0, 0},
         [](TestWindow& w) { return w.Outer().x == 140 && w.Outer().y == 150 && !w.Minimized(); }, 0, -1},
        {"minimise", flags::kMinimize, {}, [](TestWindow& w) { return w.Minimized(); }, flags::kMinimize, -1},
        {"restore", flags::kRestore, {}, [](TestWindow& w) { return !w.Minimized(); }, 0, -1},
        {"maximise", flags::kMaximize, {}, [](TestWindow& w) { return w.Maximized(); }, flags::kMaximize, -1},
        {"restore", flags::kRestore, {}, [](TestWindow& w) { return !w.Maximized(); }, 0, -1},
        {"to the front", flags::kActivate, {}, [](TestWindow& w) { return w.Foreground(); }, 0, 1},
        {"away from the front, 0x0080 not looked at", flags::kZOrder | flags::kActivate,
         {0, 0, 0, 0, kWindowZOrderAway}, [](TestWindow& w) { return !w.Foreground(); }, 0, 0},
        {"z-order to the front", flags::kZOrder, {0, 0, 0, 0, kWindowZOrderFront},
         [](TestWindow& w) { return w.Foreground(); }, 0, 1},
        {"to the back", flags::kDeactivate, {}, [](TestWindow& w) { return !w.Foreground(); }, 0, 0},
    };
    for (const SetRow& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(WindowStatus(kWindowStatusSet, row.flags, row.geometry), 0);
        // Until the effect holds and stays: a window system may still be
        // passing the previous change on (Wine to and from the X server).
        int steady = 0;
        EXPECT_TRUE(Eventually([&] { return (steady = row.holds(*window_) ? steady + 1 : 0) >= 20; }, 8000));
        ASSERT_EQ(WindowStatus(kWindowStatusQuery, 0), 0);
        EXPECT_EQ(status_.Flags & (flags::kMinimize | flags::kMaximize), row.shown);
        if (row.front >= 0) {
            EXPECT_EQ(status_.Flags & (flags::kActivate | flags::kDeactivate),
                      row.front == 1 ? flags::kActivate : flags::kDeactivate);
        }
    }

    // The window goes; the handle kept at connect no longer leads anywhere.
    window_->Destroy();
    EXPECT_EQ(WindowStatus(kWindowStatusSet, flags::kMove, {10, 10, 0, 0, 0}), 1);
}

}  // namespace
}  // namespace trv::test
