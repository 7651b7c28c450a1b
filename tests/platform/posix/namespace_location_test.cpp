// Where the namespace of named objects lives: under the user's private
// runtime directory when there is one, in /dev/shm otherwise, and a
// namespace directory that others can enter is refused with the reason.
// Each case runs in a child, which reads the environment afresh.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/namespace.h"
#include "support/child_role.h"
#include "support/test_files.h"

namespace trv::platform {
namespace {

// args: the expected namespace directory, "ok" or "refused".
TRV_CHILD_ROLE(ns_location) {
    const bool usable = posix::EnsureNamespace();
    if (posix::NamespaceDirectory() != args[0]) return 4;
    if (args[1] == "ok") return usable ? 0 : 5;
    return !usable && posix::NamespaceProblem().find(args[0]) != std::string::npos ? 0 : 6;
}

bool IsPrivate(const std::string& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
           (info.st_mode & 077) == 0;
}

struct Location {
    const char* what;
    mode_t runtimeMode;              // of the runtime directory
    std::optional<mode_t> spaceMode;  // of a namespace directory made beforehand
    bool underRuntime;               // expected: under the runtime directory
    const char* outcome;
};

class NamespaceLocationTest : public testing::TestWithParam<Location> {};

TEST_P(NamespaceLocationTest, TheNamespaceIsWhereOnlyItsUserCanCreateIt) {
    const Location& row = GetParam();
    const test::FreshDirectory runtimeDirectory("trv_runtime");
    const std::string runtime = runtimeDirectory.path().string();
    ASSERT_EQ(::chmod(runtime.c_str(), row.runtimeMode), 0);
    const char* space = std::getenv("TRVHA64_NAMESPACE");
    const std::string suffix = space != nullptr && *space != '\0' ? std::string("-") + space : "";
    const std::string inRuntime = runtime + "/trvha64" + suffix;
    if (row.spaceMode) {
        ASSERT_EQ(::mkdir(inRuntime.c_str(), 0700), 0);
        ASSERT_EQ(::chmod(inRuntime.c_str(), *row.spaceMode), 0);
    }
    const std::string standard = "/run/user/" + std::to_string(::geteuid());
    const std::string fallback =
        (IsPrivate(standard) ? standard + "/trvha64" : "/dev/shm/trvha64-" + std::to_string(::geteuid())) + suffix;
    test::ScopedEnvironment variable("XDG_RUNTIME_DIR", runtime.c_str());
    test::RoleProcess child("ns_location", {row.underRuntime ? inRuntime : fallback, row.outcome});
    EXPECT_EQ(child.Wait(), 0) << row.what << ": 4 elsewhere, 5 refused, 6 accepted or no reason";
}

INSTANTIATE_TEST_SUITE_P(
    Rows, NamespaceLocationTest,
    testing::Values(Location{"private runtime directory", 0700, std::nullopt, true, "ok"},
                    Location{"runtime directory open to others", 0755, std::nullopt, false, "ok"},
                    Location{"namespace open to others", 0700, 0755, true, "refused"}));

}  // namespace
}  // namespace trv::platform
