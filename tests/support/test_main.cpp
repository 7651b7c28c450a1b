// Entry of every test binary: a child role when asked for one, GoogleTest
// otherwise.
#include <gtest/gtest.h>

#include "support/child_role.h"

int main(int argc, char** argv) {
    int exitCode = 0;
    if (trv::test::RunRoleFromCommandLine(argc, argv, &exitCode)) return exitCode;
    trv::test::UniqueName("");  // fixes the run id before any child starts
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
