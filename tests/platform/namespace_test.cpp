// The namespace that named events, mutexes and mappings share.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>

#include "platform/event.h"
#include "platform/mapping.h"
#include "platform/timeout.h"
#include "platform_support.h"

namespace trv::platform {
namespace {

TEST(NamespaceTest, AfterEveryHolderWasKilledTheNamesStartClean) {
    const std::string name = test::UniqueName("ns_clean");
    const test::RoleArgs objects{name + "_mapping", name + "_event", name + "_mutex", name + "_ready"};
    UniqueHandle ready(CreateNamedEvent(false, objects[3].c_str()));
    {
        // Two holders, the second joining what the first built; the test
        // itself never opens the objects while they live.
        test::RoleProcess first("hold_until_killed", objects);
        ASSERT_EQ(WaitForEvent(ready.get(), kLimitMs), kWaitObject0);
        test::RoleProcess second("hold_until_killed", objects);
        ASSERT_EQ(WaitForEvent(ready.get(), kLimitMs), kWaitObject0);
        first.Kill();
        second.Kill();
    }
    EXPECT_EQ(OpenNamedEvent(objects[1].c_str()), kNoHandle);
    EXPECT_EQ(OpenNamedMutex(objects[2].c_str()), kNoHandle);
    const CreatedMapping created = CreateNamedMapping(objects[0].c_str(), kHeldMappingSize);
    UniqueHandle mapping(created.handle);
    EXPECT_FALSE(created.existed);
    auto* bytes = static_cast<unsigned char*>(MapView(mapping.get(), kHeldMappingSize));
    ASSERT_NE(bytes, nullptr);
    EXPECT_TRUE(std::all_of(bytes, bytes + kHeldMappingSize, [](unsigned char b) { return b == 0; }));
    UnmapView(bytes, kHeldMappingSize);
}

TEST(NamespaceTest, AllKindsShareOneSetOfNames) {
    const std::string name = test::UniqueName("ns_kinds");
    UniqueHandle event(CreateNamedEvent(false, name.c_str()));
    EXPECT_EQ(CreateNamedMutex(name.c_str()), kNoHandle);
    EXPECT_EQ(OpenNamedMutex(name.c_str()), kNoHandle);
    EXPECT_EQ(OpenNamedMapping(name.c_str()), kNoHandle);
    EXPECT_EQ(CreateNamedMapping(name.c_str(), 4096).handle, kNoHandle);
}

// Case, characters an escaping scheme could confuse, and long names that
// differ only at the end: each name is an object of its own, which a create
// under its name reopens with its kind and state.
TEST(NamespaceTest, NamesThatAreAlikeStayDistinct) {
    const std::string base = test::UniqueName("ns_chars");
    const std::string stem = base + std::string(220, 'x');  // past a file name's length
    const std::pair<std::string, std::string> pairs[] = {
        {base + "case", base + "CASE"}, {base + " a/b", base + " a%2Fb"}, {stem + "1", stem + "2"}};
    for (const auto& [one, other] : pairs) {
        UniqueHandle first(CreateNamedEvent(true, one.c_str()));
        EXPECT_EQ(OpenNamedEvent(other.c_str()), kNoHandle) << other;
        UniqueHandle second(CreateNamedEvent(true, other.c_str()));
        SignalEvent(first.get());
        EXPECT_EQ(WaitForEvent(second.get(), 0), kWaitTimeout) << other;
        UniqueHandle reopened(CreateNamedEvent(false, one.c_str()));
        EXPECT_EQ(WaitForEvent(reopened.get(), 0), kWaitObject0) << one;
        EXPECT_EQ(WaitForEvent(first.get(), 0), kWaitObject0) << "a manual-reset event became auto-reset";
    }
}

}  // namespace
}  // namespace trv::platform
