// Requests and replies under load through the sessions' real service
// threads: caller processes of several threads, each thread with a block of
// its own, send tagged Query Session Status requests to two sessions while
// one more caller is killed in the middle of its requests. The fake emulator
// checks that each thread's tags come in sequence (none served twice or
// skipped); each caller, that every reply carries its own request's tag.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bridge/emulator_state.h"
#include "bridge/hll_bridge_natives.h"
#include "bridge_fixture.h"
#include "library/process_lifecycle.h"
#include "platform/clock.h"
#include "support/child_role.h"
#include "tables/application_block.h"
#include "trvha64.h"

namespace trv::test {
namespace {

constexpr int kCallerProcesses = 4;
constexpr int kThreadsPerCaller = 4;
// Query Session Status carries the session letter and 19 bytes more: here
// the answer mark or the session letter, then "tttt:ssssssssssssss", the
// caller thread's number and the request's sequence number.
constexpr int kStatusBytes = 20;
constexpr char kAnswerMark = '=';

// args[0]: the caller's number; args[1]: how long it calls, in ms (0: until
// it is killed). Exit code 0 when every reply carried its request's tag, 3
// for a reply with another tag, 10 + the return code of a failed call.
TRV_CHILD_ROLE(exchange_stress_caller) {
    if (args.size() != 2) return 2;
    OnProcessAttach();
    const std::uint32_t runMs = static_cast<std::uint32_t>(std::stoul(args[1]));
    const std::uint32_t started = platform::TickCount();
    std::atomic<int> failure{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreadsPerCaller; ++t) {
        threads.emplace_back([&, t] {
            const int thread = std::stoi(args[0]) * kThreadsPerCaller + t;
            for (unsigned long long sequence = 1; failure.load() == 0; ++sequence) {
                if (runMs != 0 && platform::TickCount() - started >= runMs) return;
                char data[kStatusBytes + 1];
                std::snprintf(data, sizeof data, "%c%04d:%014llu", (sequence + t) % 2 == 0 ? 'A' : 'B', thread,
                              sequence);
                const std::string tag(data + 1, kStatusBytes - 1);
                std::int32_t function = HA_QUERY_SESSION_STATUS;
                std::int32_t length = kStatusBytes;
                std::int32_t returnCode = 0;
                const std::int32_t rc = hllapi_thread(&function, data, &length, &returnCode);
                if (rc != 0) {
                    failure.store(10 + rc);
                } else if (data[0] != kAnswerMark || std::memcmp(data + 1, tag.data(), tag.size()) != 0) {
                    failure.store(3);
                }
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    OnProcessDetach();
    return failure.load();
}

class ExchangeStressTest : public BridgeTest {
protected:
    void SetUp() override {
        BridgeTest::SetUp();
        for (char letter : {'A', 'B'}) {
            jobject bridge = NewBridge(static_cast<jchar>(letter));
            Define(bridge, "QuerySessionStatus", "()J", [this, letter](JNIEnv* env, jobject self, const jvalue*) {
                char reply[kStatusBytes] = {kAnswerMark};
                // The block the service thread serves, as the emulator's
                // natives read it: the session's recorded caller may already
                // be the next one when a killed caller's request is served.
                if (const ApplicationBlock* block = BlockInService(letter - 'A')) {
                    std::memcpy(reply + 1, block->Data + 1, kStatusBytes - 1);
                    int thread = -1;
                    unsigned long long sequence = 0;
                    const std::string tag(reply + 1, kStatusBytes - 1);
                    std::lock_guard<std::mutex> guard(lock_);
                    const bool parsed = std::sscanf(tag.c_str(), "%d:%llu", &thread, &sequence) == 2;
                    if (!parsed || sequence != last_[thread] + 1) ++outOfOrder_;
                    last_[thread] = sequence;
                }
                jbyteArray data = env->NewByteArray(kStatusBytes);
                env->SetByteArrayRegion(data, 0, kStatusBytes, reinterpret_cast<const jbyte*>(reply));
                Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSetRawData(env, self, static_cast<jchar>(letter),
                                                                          data, kStatusBytes);
                env->DeleteLocalRef(data);
                return JLong(0);
            });
            Register(bridge);
        }
    }

    std::mutex lock_;
    std::map<int, unsigned long long> last_;
    int outOfOrder_ = 0;
};

TEST_F(ExchangeStressTest, EveryRequestIsAnsweredOnceWithItsOwnReply) {
    std::deque<RoleProcess> callers;
    for (int caller = 0; caller < kCallerProcesses; ++caller) {
        callers.emplace_back("exchange_stress_caller", RoleArgs{std::to_string(caller), "3000"});
    }
    RoleProcess killed("exchange_stress_caller", {std::to_string(kCallerProcesses), "0"});
    ASSERT_TRUE(Eventually([&] {
        std::lock_guard<std::mutex> guard(lock_);
        return last_[kCallerProcesses * kThreadsPerCaller] > 100;
    }));
    killed.Kill();

    for (std::size_t caller = 0; caller < callers.size(); ++caller) {
        EXPECT_EQ(callers[caller].Wait(kTestLimitMs), 0) << "caller " << caller;
    }
    std::lock_guard<std::mutex> guard(lock_);
    EXPECT_EQ(outOfOrder_, 0) << "a request was served twice, skipped or reordered";
    for (int thread = 0; thread < kCallerProcesses * kThreadsPerCaller; ++thread) {
        EXPECT_GT(last_[thread], 0u) << "thread " << thread << " was never served";
    }
}

}  // namespace
}  // namespace trv::test
