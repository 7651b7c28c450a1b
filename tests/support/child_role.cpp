// Role registry and child-process control for the multi-process tests.
#include "support/child_role.h"

#include <cstdio>
#include <map>

#include "platform/environment.h"
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

bool RunRoleFromCommandLine(int argc, char** argv, int* exitCode) {
    if (argc < 3 || std::string(argv[1]) != "--role") return false;
    auto found = Roles().find(argv[2]);
    if (found == Roles().end()) {
        std::fprintf(stderr, "unknown test role %s\n", argv[2]);
        *exitCode = 101;
        return true;
    }
    RoleArgs args(argv + 3, argv + argc);
    *exitCode = found->second(args);
    return true;
}

RoleProcess::RoleProcess(const std::string& role, const RoleArgs& args) {
    RoleArgs all{"--role", role};
    all.insert(all.end(), args.begin(), args.end());
    child_ = platform::SpawnProcess(platform::ExecutablePath(), all);
}

RoleProcess::~RoleProcess() {
    if (!started()) return;
    if (!ended_) Kill();
    platform::CloseObject(child_.handle);
}

int RoleProcess::Wait(std::uint32_t timeoutMs) {
    if (!started()) return -1;
    int code = -1;
    if (platform::WaitForProcess(child_.handle, timeoutMs, &code) != platform::kWaitObject0) {
        Kill();
        return -1;
    }
    ended_ = true;
    return code;
}

void RoleProcess::Kill() {
    if (!started() || ended_) return;
    platform::KillProcess(child_.handle);
    int code = 0;
    platform::WaitForProcess(child_.handle, 5000, &code);
    ended_ = true;
}

std::string UniqueName(const std::string& base) {
    // The test process sets the run id before any child starts; children
    // inherit it, so both sides form the same names.
    static const std::string runId = [] {
        auto inherited = platform::GetEnvironment(kRunIdVariable);
        if (inherited) return *inherited;
        std::string own = std::to_string(platform::CurrentProcessId());
        platform::SetEnvironment(kRunIdVariable, own.c_str());
        return own;
    }();
    return base + "_" + runId;
}

}  // namespace trv::test
