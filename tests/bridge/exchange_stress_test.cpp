// Requests and replies under load through the sessions' real service
// threads: caller processes of several threads, each thread with an exchange
// block of its own, send tagged Query Session Status requests to two
// sessions for a few seconds while one more caller is killed in the middle of
// its requests. The fake emulator checks that every tag it serves follows the
// last one it served for that thread (each request seen once, none skipped);
// every caller checks that each reply carries its own request's tag. A
// caller killed while its request is served must not have the reply land
// in the block of the caller that takes the session over.
#include <gtest/gtest.h>

#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bridge/emulator_state.h"
#include "bridge/hll_bridge_natives.h"
#include "bridge_fixture.h"
#include "library/process_lifecycle.h"
#include "platform/clock.h"
#include "tables/application_block.h"
#include "trvha64.h"

namespace trv::test {
namespace {

constexpr int kCallerProcesses = 4;
constexpr int kThreadsPerCaller = 4;
constexpr const char* kRunMs = "3000";
// Query Session Status carries the session letter and 19 bytes more.
constexpr std::size_t kStatusBytes = 20;
constexpr std::size_t kTagBytes = kStatusBytes - 1;
constexpr char kAnswerMark = '=';

// Request `sequence` of caller thread `thread`, in kTagBytes characters.
std::string Tag(int thread, std::uint64_t sequence) {
    char tag[kTagBytes + 1];
    std::snprintf(tag, sizeof tag, "%04d:%014" PRIu64, thread, sequence);
    return std::string(tag, kTagBytes);
}

// args[0]: the caller's number; args[1]: how long it calls, in ms (0: until
// it is killed). Exit code 0 when every reply carried its request's tag, 3
// for a reply with another tag, 10 + the return code of a failed call.
TRV_CHILD_ROLE(exchange_stress_caller) {
    if (args.size() != 2) return 2;
    OnProcessAttach();
    const int caller = std::stoi(args[0]);
    const std::uint32_t runMs = static_cast<std::uint32_t>(std::stoul(args[1]));
    const std::uint32_t started = platform::TickCount();
    std::atomic<int> failure{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreadsPerCaller; ++t) {
        threads.emplace_back([&, t] {
            const int thread = caller * kThreadsPerCaller + t;
            for (std::uint64_t sequence = 1; failure.load() == 0; ++sequence) {
                if (runMs != 0 && platform::TickCount() - started >= runMs) return;
                const std::string tag = Tag(thread, sequence);
                char data[kStatusBytes];
                data[0] = (sequence + static_cast<std::uint64_t>(t)) % 2 == 0 ? 'A' : 'B';
                std::memcpy(data + 1, tag.data(), kTagBytes);
                std::int32_t function = HA_QUERY_SESSION_STATUS;
                std::int32_t length = kStatusBytes;
                std::int32_t returnCode = 0;
                const std::int32_t rc = hllapi_thread(&function, data, &length, &returnCode);
                if (rc != 0) {
                    failure.store(10 + rc);
                } else if (data[0] != kAnswerMark || std::memcmp(data + 1, tag.data(), kTagBytes) != 0) {
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
    // Sessions A and B answer Query Session Status with the served caller's
    // tag behind kAnswerMark, checking it against the thread's last one.
    void RegisterSessions() {
        for (char letter : {'A', 'B'}) {
            jobject bridge = NewBridge(static_cast<jchar>(letter));
            Define(bridge, "QuerySessionStatus", "()J", [this, letter](JNIEnv* env, jobject self, const jvalue*) {
                Answer(env, self, letter);
                return JLong(0);
            });
            Register(bridge);
        }
    }

    void Answer(JNIEnv* env, jobject self, char letter) {
        const ApplicationBlock* block = BlockInService(letter - 'A');
        char reply[kStatusBytes] = {kAnswerMark};
        if (block != nullptr) {
            std::memcpy(reply + 1, block->Data + 1, kTagBytes);
            int thread = -1;
            unsigned long long sequence = 0;
            const std::string tag(reply + 1, kTagBytes);
            std::lock_guard<std::mutex> guard(lock_);
            if (std::sscanf(tag.c_str(), "%d:%llu", &thread, &sequence) != 2 || sequence != last_[thread] + 1) {
                ++outOfOrder_;
            }
            last_[thread] = sequence;
        }
        jbyteArray data = env->NewByteArray(kStatusBytes);
        env->SetByteArrayRegion(data, 0, kStatusBytes, reinterpret_cast<const jbyte*>(reply));
        Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSetRawData(env, self, static_cast<jchar>(letter), data,
                                                                  kStatusBytes);
        env->DeleteLocalRef(data);
    }

    std::mutex lock_;
    std::map<int, unsigned long long> last_;
    int outOfOrder_ = 0;
};

TEST_F(ExchangeStressTest, EveryRequestIsAnsweredOnceWithItsOwnReply) {
    RegisterSessions();
    std::vector<std::unique_ptr<RoleProcess>> callers;
    for (int caller = 0; caller < kCallerProcesses; ++caller) {
        callers.push_back(std::make_unique<RoleProcess>("exchange_stress_caller",
                                                        RoleArgs{std::to_string(caller), kRunMs}));
        ASSERT_TRUE(callers.back()->started());
    }
    // One more caller, killed while its threads are in the middle of requests.
    const int victim = kCallerProcesses;
    RoleProcess killed("exchange_stress_caller", {std::to_string(victim), "0"});
    ASSERT_TRUE(killed.started());
    ASSERT_TRUE(Eventually([&] {
        std::lock_guard<std::mutex> guard(lock_);
        return last_[victim * kThreadsPerCaller] > 100;
    }));
    killed.Kill();

    for (int caller = 0; caller < kCallerProcesses; ++caller) {
        EXPECT_EQ(callers[static_cast<std::size_t>(caller)]->Wait(kTestLimitMs), 0) << "caller " << caller;
    }
    std::lock_guard<std::mutex> guard(lock_);
    EXPECT_EQ(outOfOrder_, 0) << "a request was served twice, skipped or reordered";
    for (int thread = 0; thread < kCallerProcesses * kThreadsPerCaller; ++thread) {
        EXPECT_GT(last_[thread], 0u) << "thread " << thread << " was never served";
    }
}

}  // namespace
}  // namespace trv::test
