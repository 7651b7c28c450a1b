// Child-process roles for multi-process tests. A test binary re-runs itself
// with "--role NAME ARGS..." to play another process; the role's function is
// registered with TRV_CHILD_ROLE and its result becomes the exit code (101
// for a role of no such name).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/handle.h"
#include "platform/process.h"

namespace trv::test {

using RoleArgs = std::vector<std::string>;
using RoleFunction = int (*)(const RoleArgs& args);

struct RoleRegistrar {
    RoleRegistrar(const char* name, RoleFunction function);
};

// A child process of this test binary playing one role. The destructor kills
// a child that is still running, so a failing test leaves no process behind.
class RoleProcess {
public:
    RoleProcess(const std::string& role, const RoleArgs& args = {});
    ~RoleProcess() { Kill(); }
    RoleProcess(const RoleProcess&) = delete;
    RoleProcess& operator=(const RoleProcess&) = delete;

    bool started() const { return static_cast<bool>(handle_); }
    std::uint32_t id() const { return id_; }

    // The exit code, or -1 when the child did not end within the limit (it is
    // then killed).
    int Wait(std::uint32_t timeoutMs = 20000);
    void Kill();

private:
    platform::UniqueHandle handle_;
    std::uint32_t id_ = 0;
    bool ended_ = false;
};

// A name unique to this test run, for the named objects a test shares with
// its children: "<base>_<parent pid>".
std::string UniqueName(const std::string& base);

// Opens the named event and signals it; false when there is no such event.
bool SignalNamedEvent(const std::string& name);

}  // namespace trv::test

#define TRV_CHILD_ROLE(name)                                                        \
    static int name##_role_body(const ::trv::test::RoleArgs& args);                 \
    static ::trv::test::RoleRegistrar name##_role_registrar(#name, name##_role_body); \
    static int name##_role_body([[maybe_unused]] const ::trv::test::RoleArgs& args)
