// A thread of the test process running one body, for tests where a caller
// blocks (a wait, a serialised call) while the test goes on. Join has a time
// limit: a thread that does not end is reported, asked to stop and waited
// for once more, so a failing test does not hang.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/thread.h"

namespace trv::test {

class TestThread {
public:
    static constexpr std::uint32_t kDefaultLimitMs = 20000;

    explicit TestThread(std::function<void()> body);
    ~TestThread();
    TestThread(const TestThread&) = delete;
    TestThread& operator=(const TestThread&) = delete;

    std::uint32_t id() const { return thread_.id; }
    platform::Handle handle() const { return thread_.handle; }
    bool Join(std::uint32_t timeoutMs = kDefaultLimitMs);
    // True when the thread has not ended within `ms`.
    bool StillRunningAfter(std::uint32_t ms);

private:
    std::function<void()> body_;
    platform::StartedThread thread_;
    bool joined_ = false;
};

}  // namespace trv::test
