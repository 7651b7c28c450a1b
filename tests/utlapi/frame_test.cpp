// The UTLAPI frame: the client list, the version and error buffers, the
// unsupported functions and the trace file "utlTrace.log".
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "platform/environment.h"
#include "platform/event.h"
#include "support/guarded_buffer.h"
#include "trvha64_utlapi.h"
#include "utlapi/utlapi_frame.h"
#include "utlapi_fixture.h"

namespace trv::test {
namespace {

// Every test leaves the list as it found it: empty.
class ClientListTest : public testing::Test {
protected:
    void TearDown() override {
        while (utl::UTLClientList::Head() != nullptr) UTLUnregisterClient(utl::UTLClientList::Head()->key);
    }
    static std::vector<std::uint64_t> Keys() {
        std::vector<std::uint64_t> keys;
        const utl::UTLClient* previous = nullptr;
        for (const utl::UTLClient* c = utl::UTLClientList::Head(); c != nullptr; c = c->next) {
            EXPECT_EQ(c->previous, previous) << "broken back link at " << c->key;
            previous = c;
            keys.push_back(c->key);
        }
        return keys;
    }
};

TEST_F(ClientListTest, ARecordHoldsTheDefaultsAndOutlivesASecondRegisterAndAnUnknownUnregister) {
    ASSERT_EQ(UTLRegisterClient(0x1111), 1);
    utl::UTLClient* first = utl::UTLClientList::Find(0x1111);
    ASSERT_NE(first, nullptr);
    const std::int32_t defaults[] = {0, 2, 1, 1, 2, 0, 1, 1, 0, 2, 1, 2, '@'};
    for (int index = 0; index < 13; ++index) EXPECT_EQ(UTLGetParameter(0x1111, index), defaults[index]) << index;
    EXPECT_EQ(UTLGetParameter(0x1111, 13), UTL_INVALID_PARAMETER);
    EXPECT_EQ(UTLRegisterClient(0x1111), UTL_SYSTEM_ERROR);
    EXPECT_EQ(utl::UTLClientList::Find(0x1111), first);
    EXPECT_EQ(UTLUnregisterClient(0x1112), 0);
    EXPECT_EQ(Keys(), (std::vector<std::uint64_t>{0x1111}));
}

TEST_F(ClientListTest, UnregisteringFirstMiddleOrLastLeavesTheOthersLinked) {
    struct Row {
        std::uint64_t removed;
        std::vector<std::uint64_t> left;
    };
    const Row rows[] = {{1, {2, 3}}, {2, {1, 3}}, {3, {1, 2}}};
    for (const Row& row : rows) {
        for (std::uint64_t key : {1, 2, 3}) ASSERT_EQ(UTLRegisterClient(key), 1);
        EXPECT_EQ(UTLUnregisterClient(row.removed), 1) << "removing " << row.removed;
        EXPECT_EQ(Keys(), row.left) << "removing " << row.removed;
        for (std::uint64_t key : row.left) UTLUnregisterClient(key);
        EXPECT_EQ(utl::UTLClientList::Head(), nullptr);
    }
}

TEST(UtlBuffers, VersionNeedsFiveBytesAndErrorNeeds121AndAHandle) {
    GuardedBuffer version(UTL_VERSION_BUFFER, 'x');
    EXPECT_EQ(UTLGetUTLAPIVersion(version.chars(), 4), UTL_INVALID_PARAMETER);
    EXPECT_EQ(std::string(version.chars(), 5), "xxxxx");
    EXPECT_EQ(UTLGetUTLAPIVersion(nullptr, 5), UTL_INVALID_PARAMETER);
    EXPECT_EQ(UTLGetUTLAPIVersion(version.chars(), 5), 1);
    EXPECT_STREQ(version.chars(), UTL_VERSION_TEXT);

    ASSERT_EQ(UTLRegisterClient(0x77), 1);
    char error[121];
    EXPECT_EQ(UTLGetError(0x77, error, 120), UTL_INVALID_PARAMETER);
    EXPECT_EQ(UTLGetError(0, error, 121), UTL_INVALID_PARAMETER);
    EXPECT_EQ(UTLGetError(0x77, nullptr, 121), UTL_INVALID_PARAMETER);
    EXPECT_EQ(UTLGetError(0x78, error, 121), 0);             // no record
    EXPECT_EQ(UTLGetError(0x77, error, 121), UTL_NO_RECORD);  // no session bound
    EXPECT_EQ(UTLShowLastError(0x77), 1);
    EXPECT_EQ(UTLShowLastError(0x78), UTL_NO_RECORD);
    UTLUnregisterClient(0x77);
}

TEST(UtlUnsupported, FunctionsAnswerAtOnceAndBlankTheirWholeBuffer) {
    for (auto* blank : {UTLGetEmulatorPath, UTLGetLayoutName}) {
        GuardedBuffer buffer(10, 'x');  // a byte written past its length faults
        EXPECT_EQ(blank(1, buffer.chars(), 10), 1);
        EXPECT_EQ(std::string(buffer.chars(), 10), std::string(10, '\0'));
    }
    EXPECT_EQ(UTLExecute(1, "x"), UTL_UNSUPPORTED);
    EXPECT_EQ(UTLResumeHost(1), UTL_UNSUPPORTED);
    EXPECT_EQ(UTLHoldHost(1), 1);
    EXPECT_EQ(UTLRun_____MacroAsync(1, "m"), 1);
}

TEST(UtlTrace, TheFileAppearsOnlyWhenUtlDebugBeginsWithY) {
    const struct {
        const char* value;
        bool traced;
    } rows[] = {{nullptr, false}, {"no", false}, {"", false}, {"yes", true}, {"Y", true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.value != nullptr ? row.value : "(unset)");
        ScratchDirectory dir("utl_switch");
        ScopedEnvironment debug("UTL_DEBUG", row.value);
        ASSERT_EQ(UTLRegisterClient(0x77), 1);
        UTLUnregisterClient(0x77);
        EXPECT_EQ(std::filesystem::exists("utlTrace.log"), row.traced);
    }
}

constexpr int kTracerCalls = 600;

TEST(UtlTrace, TwoProcessesTracingAtOnceInterleaveWholeEntries) {
    ScratchDirectory dir("utl_two");
    ScopedEnvironment debug("UTL_DEBUG", "yes");
    // Both start tracing at once, after both are ready: a process start
    // (under Wine a long one) would otherwise let the first finish alone.
    platform::UniqueHandle ready(platform::CreateNamedEvent(false, UniqueName("utl_trace_ready").c_str()));
    platform::UniqueHandle go(platform::CreateNamedEvent(true, UniqueName("utl_trace_go").c_str()));
    RoleProcess first("utl_tracer", {"1"});
    ASSERT_EQ(platform::WaitForEvent(ready.get(), kTestLimitMs), platform::kWaitObject0);
    RoleProcess second("utl_tracer", {"2"});
    ASSERT_EQ(platform::WaitForEvent(ready.get(), kTestLimitMs), platform::kWaitObject0);
    platform::SignalEvent(go.get());
    ASSERT_EQ(first.Wait(kTestLimitMs * 3), 0);
    ASSERT_EQ(second.Wait(kTestLimitMs * 3), 0);
    const std::string text = ReadWholeFile("utlTrace.log");
    const std::regex entry("UTLAPI Trace - PID/TID:0x[0-9A-F]{8}/0x[0-9A-F]{8} - \\d+:\\d+:\\d+::\\d{4}/\\d+/\\d+\r\n"
                           "(UTLGetParameter Enter\r\nHWND=0x0000000[12]\r\nParamIndex=4"
                           "|UTLGetParameter Exit\r\nRet Code=2)");
    std::size_t entries = 0;
    for (std::size_t at = 0, end = 0; end != std::string::npos; at = end + 4, ++entries) {
        end = text.find("\r\n\r\n", at);
        const std::string one = text.substr(at, end - at);  // to the end of the file for the last entry
        ASSERT_TRUE(std::regex_match(one, entry)) << "entry " << entries << ": " << one;
    }
    EXPECT_EQ(entries, 2u * 2u * kTracerCalls);
}

// args[0]: the low half of the client handle; traces kTracerCalls calls of
// two entries each. The entries show the handle as the 32-bit window handle
// it stands for.
TRV_CHILD_ROLE(utl_tracer) {
    if (args.empty()) return 2;
    const std::uint64_t client = (std::uint64_t{0xABC} << 32) | std::stoull(args[0]);
    // Only the counted calls are traced.
    platform::SetEnvironment("UTL_DEBUG", nullptr);
    if (UTLRegisterClient(client) != 1) return 3;
    platform::SetEnvironment("UTL_DEBUG", "yes");
    platform::UniqueHandle ready(platform::OpenNamedEvent(UniqueName("utl_trace_ready").c_str()));
    platform::UniqueHandle go(platform::OpenNamedEvent(UniqueName("utl_trace_go").c_str()));
    platform::SignalEvent(ready.get());
    if (platform::WaitForEvent(go.get(), kTestLimitMs) != platform::kWaitObject0) return 5;
    for (int i = 0; i < kTracerCalls; ++i) {
        if (UTLGetParameter(client, 4) != 2) return 4;
    }
    return 0;
}

}  // namespace
}  // namespace trv::test
