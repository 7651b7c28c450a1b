#include "support/test_thread.h"

#include <gtest/gtest.h>

#include <utility>

namespace trv::test {

TestThread::TestThread(std::function<void()> body) : body_(std::move(body)) {
    thread_ = platform::StartThread(
        [](void* self) -> std::uint32_t {
            static_cast<TestThread*>(self)->body_();
            return 0;
        },
        this);
}

TestThread::~TestThread() {
    Join();
    platform::CloseObject(thread_.handle);
}

bool TestThread::Join(std::uint32_t timeoutMs) {
    if (thread_.handle == platform::kNoHandle || joined_) return joined_;
    if (platform::WaitForThread(thread_.handle, timeoutMs) == platform::kWaitObject0) {
        joined_ = true;
        return true;
    }
    ADD_FAILURE() << "a test thread did not end within " << timeoutMs << " ms";
    platform::RequestThreadStop(thread_.handle);
    joined_ = platform::WaitForThread(thread_.handle, kDefaultLimitMs) == platform::kWaitObject0;
    return false;
}

bool TestThread::StillRunningAfter(std::uint32_t ms) {
    return platform::WaitForThread(thread_.handle, ms) == platform::kWaitTimeout;
}

}  // namespace trv::test
