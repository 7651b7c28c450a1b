// Role registry, child-process control, and the entry of every test binary:
// a child role when asked for one, GoogleTest otherwise.
#include "support/child_role.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>

#include "platform/environment.h"
#include "platform/event.h"
#include "platform/thread.h"
#include "platform/timeout.h"

namespace trv::test {
namespace {

constexpr const char* kRunIdVariable = "TRV_TEST_RUN_ID";

std::map<std::string, RoleFunction>& Roles() {
    static std::map<std::string, RoleFunction> roles;
    return roles;
}

}  // namespace

RoleRegistrar::RoleRegistrar(const char* name, RoleFunction function) {
    Roles()[name] = function;
}

RoleProcess::RoleProcess(const std::string& role, const RoleArgs& args) {
    RoleArgs all{"--role", role};
    all.insert(all.end(), args.begin(), args.end());
    const platform::ChildProcess child = platform::SpawnProcess(platform::ExecutablePath(), all);
    handle_.reset(child.handle);
    id_ = child.id;
}

int RoleProcess::Wait(std::uint32_t timeoutMs) {
    int code = -1;
    if (!started() || platform::WaitForProcess(handle_.get(), timeoutMs, &code) != platform::kWaitObject0) {
        Kill();
        return -1;
    }
    ended_ = true;
    return code;
}

void RoleProcess::Kill() {
    if (!started() || ended_) return;
    platform::KillProcess(handle_.get());
    platform::WaitForProcess(handle_.get(), 5000, nullptr);
    ended_ = true;
}

std::string UniqueName(const std::string& base) {
    // The test process sets the run id before any child starts; children
    // inherit it, so both sides form the same names.
    static const std::string runId = [] {
        if (auto inherited = platform::GetEnvironment(kRunIdVariable)) return *inherited;
        std::string own = std::to_string(platform::CurrentProcessId());
        platform::SetEnvironment(kRunIdVariable, own.c_str());
        return own;
    }();
    return base + "_" + runId;
}

bool SignalNamedEvent(const std::string& name) {
    platform::UniqueHandle event(platform::OpenNamedEvent(name.c_str()));
    return event && platform::SignalEvent(event.get());
}

}  // namespace trv::test

int main(int argc, char** argv) {
    if (argc >= 3 && std::string(argv[1]) == "--role") {
        const auto role = trv::test::Roles().find(argv[2]);
        if (role != trv::test::Roles().end()) return role->second(trv::test::RoleArgs(argv + 3, argv + argc));
        std::fprintf(stderr, "unknown test role %s\n", argv[2]);
        return 101;
    }
    trv::test::UniqueName("");  // fixes the run id before any child starts
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
