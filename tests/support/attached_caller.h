// Test binaries attach to the library as a caller before their first test,
// each in an object namespace of its own, named after the test binary's
// path, so that test binaries running side by side never meet.
#pragma once

#include <gtest/gtest.h>

namespace trv::test {

// Sets TRVHA64_NAMESPACE to "<prefix>-<hash of this executable's path>",
// turns message boxes off and runs the library's process attach. Child roles
// of the same binary call it too and land in the same namespace.
void AttachInPrivateNamespace(const char* prefix);

// Frees this process's exchange blocks (and their ties to the sessions), so
// that the next test starts as a new caller.
void ForgetCallerBlocks();

// Attaches before the first test and detaches after the last.
class AttachedCaller : public testing::Environment {
public:
    explicit AttachedCaller(const char* prefix) : prefix_(prefix) {}
    void SetUp() override;
    void TearDown() override;

private:
    const char* prefix_;
};

}  // namespace trv::test
