// The WinHLLAPI entries, with the screen responder of screen_responder.h
// playing session A in another process.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <utility>
#include <vector>

#include "compat/storage_manager.h"
#include "compat/winhllapi.h"
#include "platform/message_queue.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "shared/process_state.h"
#include "support/attached_caller.h"
#include "tables/application_list.h"
#include "trvha64_winhllapi.h"
#include "utlapi/screen_responder.h"

namespace trv::test {
namespace {

// The test process as a WinHLLAPI caller: its attach runs the WinHLLAPI hook
// too, which registers the completion messages.
[[maybe_unused]] testing::Environment* const g_attached =
    testing::AddGlobalTestEnvironment(new AttachedCaller("compat-tests"));

std::uint16_t U16At(const std::uint8_t* at) {
    std::uint16_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

using EntriesTest = ScreenResponderTest;

// One 16-bit call through 801 or 116; its return code.
std::uint16_t Call16(bool through116, std::uint16_t function, std::uint8_t* data, std::uint16_t length) {
    std::uint16_t returnCode = 0;
    if (through116) {
        hllapi16(nullptr, nullptr, &function, data, &length, &returnCode);
    } else {
        WinHLLAPI(&function, data, &length, &returnCode);
    }
    return returnCode;
}

// One storage-manager request through 801.
struct Storage {
    std::uint32_t address = 0;
    std::uint16_t length = 0;
    std::uint16_t code = 0;
};
Storage StorageRequest(std::uint16_t request, std::uint16_t length) {
    Storage answer{.length = length, .code = request};
    std::uint16_t function = HA_STORAGE_MGR;
    std::uint8_t data[8] = {};
    WinHLLAPI(&function, data, &answer.length, &answer.code);
    std::memcpy(&answer.address, data, sizeof answer.address);
    return answer;
}

TEST(StorageManagerTest, BlocksAreTakenSplitFreedAndMergedInOnePool) {
    compat::DestroyStoragePool();
    const Storage first = StorageRequest(WHLLAPI_GET_STORAGE, 100);
    ASSERT_EQ(first.code, 0);
    EXPECT_EQ(first.length, 2) << "id 1 is the initial block, 2 the taken part, 3 the rest";
    ASSERT_NE(first.address, 0u);
    // The 4-byte value is the block's address: the caller can use it.
    auto* block = reinterpret_cast<std::uint8_t*>(static_cast<std::uintptr_t>(first.address));
    for (int i = 0; i < 100; ++i) EXPECT_EQ(block[i], 0) << "a new block is zeroed";
    std::memset(block, 0x5A, 100);
    EXPECT_EQ(StorageRequest(WHLLAPI_QUERY_FREE_STORAGE, 0).length, 65435);

    EXPECT_EQ(StorageRequest(WHLLAPI_FREE_STORAGE, 77).code, 2);
    EXPECT_EQ(StorageRequest(WHLLAPI_QUERY_FREE_STORAGE, 0).length, 65435) << "an unknown id changed the pool";

    // A second block, then both freed and merged back into one.
    const Storage second = StorageRequest(WHLLAPI_GET_STORAGE, 1000);
    ASSERT_EQ(second.code, 0);
    EXPECT_EQ(StorageRequest(WHLLAPI_QUERY_FREE_STORAGE, 0).length, 64435);
    EXPECT_EQ(StorageRequest(WHLLAPI_FREE_STORAGE, first.length).code, 0);
    EXPECT_EQ(StorageRequest(WHLLAPI_QUERY_FREE_STORAGE, 0).length, 64535);
    EXPECT_EQ(StorageRequest(WHLLAPI_FREE_ALL_STORAGE, 0).code, 0);
    EXPECT_EQ(StorageRequest(WHLLAPI_QUERY_FREE_STORAGE, 0).length, 65535);

    // The whole pool fits once; then nothing does.
    const Storage whole = StorageRequest(WHLLAPI_GET_STORAGE, 65535);
    EXPECT_EQ(whole.code, 0);
    const Storage none = StorageRequest(WHLLAPI_GET_STORAGE, 1);
    EXPECT_EQ(none.code, 1);
    EXPECT_EQ(none.length, 0);
    EXPECT_EQ(none.address, 0u);
    EXPECT_EQ(StorageRequest(WHLLAPI_QUERY_FREE_STORAGE, 0).length, 0);
    EXPECT_EQ(StorageRequest(WHLLAPI_FREE_STORAGE, whole.length).code, 0);
    EXPECT_EQ(StorageRequest(WHLLAPI_GET_STORAGE, 0).code, 1);
}

TEST(StartupTest, OffersOneOneAndRefusesNewerVersions) {
    trvWinHLLAPIStartupData data;
    std::memset(&data, 0x55, sizeof data);
    EXPECT_EQ(WinHLLAPIStartup(WHLLAPI_VERSION(2, 0), &data), WHLLAPI_VERSION_NOT_SUPPORTED);
    EXPECT_EQ(data.wVersion, 0x0101);
    EXPECT_STREQ(data.szDescription, "WHLLAPI.DLL Version 1.1 by Ombrel Corporation");
    EXPECT_NE(compat::NegotiatedVersion(), WHLLAPI_VERSION(2, 0));

    EXPECT_EQ(WinHLLAPIStartup(WHLLAPI_VERSION(1, 1), &data), WHLLAPI_STARTUP_OK);
    EXPECT_EQ(compat::NegotiatedVersion(), WHLLAPI_VERSION(1, 1));
    EXPECT_EQ(WinHLLAPICleanup(), 1);
    EXPECT_EQ(compat::NegotiatedVersion(), WHLLAPI_VERSION(1, 1)) << "the clean-up forgot the version";
    EXPECT_EQ(WinHLLAPIStartup(WHLLAPI_VERSION(1, 0), nullptr), WHLLAPI_STARTUP_OK);
}

// A message window of the test thread that a 16-bit caller can name, by the
// low word of its handle. The POSIX window registry's handles fit in 16 bits
// while their slot has been used fewer than 16 times; Windows takes a
// window's low word for the window. The windows that did not fit stay until
// the end of the test, so that each try gets another slot.
class ThreadWindow {
public:
    ThreadWindow() {
        for (int i = 0; i < kTries && word_ == 0; ++i) {
            const platform::WindowHandle window = platform::CreateMessageWindow();
            if (window == 0) return;
            windows_.push_back(window);
            const auto low = static_cast<std::uint16_t>(window);
            if (low != 0 && platform::IsWindowHandle(low)) word_ = low;
        }
    }
    ~ThreadWindow() {
        for (platform::WindowHandle window : windows_) platform::DestroyMessageWindow(window);
    }
    ThreadWindow(const ThreadWindow&) = delete;
    ThreadWindow& operator=(const ThreadWindow&) = delete;
    platform::WindowHandle get() const { return word_ != 0 ? windows_.back() : 0; }
    std::uint16_t word() const { return word_; }

private:
    static constexpr int kTries = 64;
    std::vector<platform::WindowHandle> windows_;
    std::uint16_t word_ = 0;
};

// One asynchronous call for `window`: the task it answers and the caller's
// return code afterwards.
using TaskAndCode = std::pair<std::uint16_t, std::uint16_t>;
TaskAndCode Async(platform::WindowHandle window, std::uint16_t function, std::uint8_t* data, std::uint16_t length,
                  std::uint16_t returnCode = 0) {
    const std::uint16_t task = WinHLLAPIAsync(window, &function, data, &length, &returnCode);
    return {task, returnCode};
}

TEST_F(EntriesTest, AsyncWaitIsAnsweredByAPostedMessageBeforeOneOneAndAtOnceAfter) {
    compat::SetNegotiatedVersion(0);
    ThreadWindow window;
    ASSERT_NE(window.get(), 0u);
    std::uint8_t data[4] = {};
    EXPECT_EQ(Async(window.get(), HA_WAIT, data, 0, 7).first, WHLLAPI_WORKER_TASK);
    platform::ThreadMessage message;
    ASSERT_EQ(platform::GetThreadMessage(message, kTestLimitMs), platform::MessageWait::message);
    EXPECT_EQ(message.window, window.get());
    EXPECT_EQ(message.message, compat::AsyncMessage());
    EXPECT_NE(message.message, 0u);
    EXPECT_EQ(message.wParam, WHLLAPI_WORKER_TASK);
    EXPECT_EQ(message.lParam, static_cast<std::intptr_t>(HA_WAIT | (7 << 16)));

    // Send File: the session named after the first word.
    std::uint8_t command[] = "  c:\\file.txt   b:file text";
    EXPECT_EQ(Async(window.get(), HA_SEND_FILE, command, sizeof command - 1, 3).first, WHLLAPI_WORKER_TASK);
    ASSERT_EQ(platform::GetThreadMessage(message, kTestLimitMs), platform::MessageWait::message);
    EXPECT_EQ(message.message, compat::AsyncFileTransferMessage());
    EXPECT_EQ(message.wParam, static_cast<std::uintptr_t>('B' * 256 + 1));
    EXPECT_EQ(message.lParam, 3);
    compat::StopAsyncWorkers();
    EXPECT_EQ(compat::RunningAsyncWorkers(), 0u);
    compat::AllowAsyncWorkers();

    // After a 1.1 start-up Wait runs at once: no task, and no message.
    compat::SetNegotiatedVersion(WHLLAPI_VERSION(1, 1));
    EXPECT_EQ(Async(window.get(), HA_WAIT, data, 0).first, 0);
    EXPECT_EQ(platform::GetThreadMessage(message, 0), platform::MessageWait::timed_out);
}

TEST_F(EntriesTest, AsyncInterceptStartsAnswerTheirMessageIdentifierAndFailuresNoTask) {
    ThreadWindow window;
    // Close intercept: the identifier also comes back in the caller's word 2.
    std::uint8_t close[8] = {'A', 0, 0, 0, 0, 0, 'M', 0};
    const auto [closeTask, closeCode] = Async(window.get(), HA_START_CLOSE_INTERCEPT, close, 8);
    EXPECT_EQ(closeCode, 0);
    EXPECT_NE(closeTask, 0);
    EXPECT_EQ(closeTask, U16At(close + 2));

    // Keystroke intercept: the option letter stays the caller's.
    std::uint8_t keys[8] = {'A', 'L', 0, 0, 0, 0, 0, 0};
    const auto [keyTask, keyCode] = Async(window.get(), HA_START_KEY_INTERCEPT, keys, 7);
    EXPECT_EQ(keyCode, 0);
    EXPECT_NE(keyTask, 0);
    EXPECT_EQ(keys[1], 'L');
    EXPECT_EQ(U16At(keys + 2), 0) << "not the message form in the caller's own layout";

    // The intercepts are registered: stopping them through 801 succeeds.
    for (std::uint16_t stop : {HA_STOP_CLOSE_INTERCEPT, HA_STOP_KEY_INTERCEPT}) {
        std::uint8_t letter[1] = {'A'};
        EXPECT_EQ(Call16(false, stop, letter, 1), 0) << stop;
    }

    // Failures answer no task, with their codes: no window, no asynchronous
    // form, a string too short, and missing words.
    std::uint8_t data[8] = {'A'};
    EXPECT_EQ(Async(window.get() + 1, HA_START_CLOSE_INTERCEPT, data, 8), TaskAndCode(0, HLLAPI_RC_BAD_PARAMETER));
    EXPECT_EQ(Async(window.get(), HA_COPY_PS, data, 8), TaskAndCode(0, HLLAPI_RC_SYSTEM_ERROR));
    EXPECT_EQ(Async(window.get(), HA_START_CLOSE_INTERCEPT, data, 6), TaskAndCode(0, HLLAPI_RC_BAD_PARAMETER));
    std::uint16_t function = HA_START_CLOSE_INTERCEPT;
    std::uint16_t length = 8;
    std::uint16_t returnCode = 0;
    EXPECT_EQ(WinHLLAPIAsync(window.get(), &function, data, &length, nullptr), 0);
    EXPECT_EQ(WinHLLAPIAsync(window.get(), nullptr, data, &length, &returnCode), 0);
    EXPECT_EQ(returnCode, HLLAPI_RC_SYSTEM_ERROR);
}

TEST_F(EntriesTest, MessageFormsThrough801And116CarryTheWindowWordBothWays) {
    ThreadWindow window;
    const std::uint16_t handle = window.word();
    ASSERT_NE(handle, 0) << "no window of this thread could be named in 16 bits";
    const auto low = static_cast<std::uint8_t>(handle & 0xFF);
    const auto high = static_cast<std::uint8_t>(handle >> 8);
    for (bool through116 : {false, true}) {
        SCOPED_TRACE(through116 ? "ordinal 116" : "ordinal 801");
        // 23 and 50: letter, form, window word, option at 6; 41: letter,
        // window word, form at 6.
        std::uint8_t host[8] = {'A', 'M', low, high, 0xEE, 0xEE, 'B', 0xEE};
        std::uint8_t close[8] = {'A', 0xEE, low, high, 0xEE, 0xEE, 'm', 0xEE};
        std::uint8_t keys[8] = {'A', 'M', low, high, 0xEE, 0xEE, 'L', 0xEE};
        ASSERT_EQ(Call16(through116, HA_START_HOST_NOTIFY, host, 7), 0);
        ASSERT_EQ(Call16(through116, HA_START_CLOSE_INTERCEPT, close, 8), 0);
        ASSERT_EQ(Call16(through116, HA_START_KEY_INTERCEPT, keys, 7), 0);

        // The caller's registrations hold the window as the 32-bit layout
        // carries it: the 16-bit word, zero-extended.
        const ApplicationBlock* block =
            Applications()->FindApplicationBlock(platform::CurrentProcessId(), platform::CurrentThreadId());
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(block->HostNotifyHandle[0], handle);
        EXPECT_EQ(block->CloseInterceptHandle[0], handle);
        EXPECT_EQ(block->KeyInterceptWindow[0], handle);

        // The window word came back as the message identifier (the packing
        // around it is conversion_test.cpp's).
        const std::uint16_t hostId = U16At(host + 2);
        const std::uint16_t closeId = U16At(close + 2);
        EXPECT_EQ(U16At(keys + 2), closeId) << "each is the first in its session's list";

        // The session's notifications ("QMXHLL" messages) reach the window with
        // those identifiers, in wParam, by the function in the low word of lParam.
        responder_->Notify();
        std::map<std::uint32_t, std::uintptr_t> seen;
        platform::ThreadMessage message;
        while (seen.size() < 2 && platform::GetThreadMessage(message, kTestLimitMs) == platform::MessageWait::message) {
            if (message.message == Process().notifyMessage && static_cast<std::uint16_t>(message.window) == handle) {
                seen.emplace(static_cast<std::uint32_t>(message.lParam & 0xFFFF), message.wParam);
            }
        }
        EXPECT_EQ(seen, (std::map<std::uint32_t, std::uintptr_t>{{HA_START_HOST_NOTIFY, hostId},
                                                                 {HA_START_CLOSE_INTERCEPT, closeId}}));

        for (std::uint16_t stop : {HA_STOP_HOST_NOTIFY, HA_STOP_CLOSE_INTERCEPT, HA_STOP_KEY_INTERCEPT}) {
            std::uint8_t letter[1] = {'A'};
            EXPECT_EQ(Call16(through116, stop, letter, 1), 0) << stop;
        }
    }
}

}  // namespace
}  // namespace trv::test
