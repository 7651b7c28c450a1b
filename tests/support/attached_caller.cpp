// The attach of a test binary; see attached_caller.h.
#include "attached_caller.h"

#include <cstdio>
#include <functional>
#include <string>

#include "library/process_lifecycle.h"
#include "platform/environment.h"
#include "platform/process.h"
#include "platform/thread.h"
#include "tables/cleanup.h"

namespace trv::test {

void AttachInPrivateNamespace(const char* prefix) {
    char name[64];
    std::snprintf(name, sizeof name, "%s-%08zx", prefix,
                  std::hash<std::string>{}(platform::ExecutablePath()) & 0xFFFFFFFFu);
    platform::SetEnvironment("TRVHA64_NAMESPACE", name);
    platform::SetEnvironment("TRVHA64_UNATTENDED", "1");
    OnProcessAttach();
}

void ForgetCallerBlocks() { ApplicationDestroyed(platform::CurrentProcessId(), platform::CurrentThreadId()); }

void AttachedCaller::SetUp() { AttachInPrivateNamespace(prefix_); }
void AttachedCaller::TearDown() { OnProcessDetach(); }

}  // namespace trv::test
