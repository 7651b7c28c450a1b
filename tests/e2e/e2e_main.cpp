// Entry of the end-to-end test binary: a caller role when run with
// "--role NAME ARGS...", GoogleTest otherwise.
//
// The library attaches when this binary loads, in the namespace that
// TRVHA64_NAMESPACE names then: a run without the variable (ctest sets it)
// starts itself again with it set, never touching the user's own namespace.
#include <signal.h>
#include <unistd.h>

#include <cstdlib>

#include "e2e_fixture.h"

int main(int argc, char** argv) {
    if (argc >= 3 && std::string(argv[1]) == "--role") {
        return trv::e2e::RunCallerRole(argv[2], std::vector<std::string>(argv + 3, argv + argc));
    }
    const char* space = std::getenv("TRVHA64_NAMESPACE");
    if (space == nullptr || *space == '\0') {
        setenv("TRVHA64_NAMESPACE", trv::e2e::RunNamespace().c_str(), 1);
        setenv("TRVHA64_UNATTENDED", "1", 1);
        execv("/proc/self/exe", argv);
        // Could not start again: go on in whatever namespace the library took.
    }
    // A child that has gone away must not end the test run when the test
    // writes to it; the failure shows in the test instead.
    signal(SIGPIPE, SIG_IGN);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
