// The namespace of named objects: absent names, one set of names for every
// kind, case and unusual characters, lifetime by handle, and a clean start
// after every process holding an object was killed.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>

#include "platform/event.h"
#include "platform/mapping.h"
#include "platform/mutex.h"
#include "platform/timeout.h"
#include "support/child_role.h"

namespace trv::platform {
namespace {

constexpr std::uint32_t kLimitMs = 10000;
constexpr std::size_t kMappingSize = 8192;

// args: mapping, event, mutex, ready event. Builds (or joins) the objects,
// leaves marks in them, signals the ready event and holds everything until
// killed.
TRV_CHILD_ROLE(ns_holder) {
    if (args.size() != 4) return 10;
    UniqueHandle mapping(CreateNamedMapping(args[0].c_str(), kMappingSize).handle);
    UniqueHandle event(CreateNamedEvent(true, args[1].c_str()));
    UniqueHandle mutex(CreateNamedMutex(args[2].c_str()));
    UniqueHandle ready(OpenNamedEvent(args[3].c_str()));
    if (!mapping || !event || !mutex || !ready) return 11;
    auto* bytes = static_cast<unsigned char*>(MapView(mapping.get(), kMappingSize));
    if (bytes == nullptr) return 12;
    for (std::size_t i = 0; i < kMappingSize; ++i) bytes[i] = 0xAB;
    SignalEvent(event.get());
    if (WaitMutex(mutex.get(), 0) == LockResult::failed) return 13;
    SignalEvent(ready.get());
    UniqueHandle never(CreateNamedEvent(false, nullptr));
    WaitForEvent(never.get(), 60000);
    return 14;
}

// args: mapping, event, mutex. Checks that none of the objects survived.
TRV_CHILD_ROLE(ns_newcomer) {
    if (args.size() != 3) return 10;
    if (OpenNamedEvent(args[1].c_str()) != kNoHandle) return 11;
    if (OpenNamedMutex(args[2].c_str()) != kNoHandle) return 12;
    CreatedMapping created = CreateNamedMapping(args[0].c_str(), kMappingSize);
    UniqueHandle mapping(created.handle);
    if (!mapping) return 13;
    if (created.existed) return 14;
    auto* bytes = static_cast<unsigned char*>(MapView(mapping.get(), kMappingSize));
    if (bytes == nullptr) return 15;
    int result = 0;
    for (std::size_t i = 0; i < kMappingSize; ++i) {
        if (bytes[i] != 0) result = 16;
    }
    UnmapView(bytes, kMappingSize);
    return result;
}

// args: event. Answers 0 when the event exists and is signalled.
TRV_CHILD_ROLE(ns_event_checker) {
    if (args.size() != 1) return 10;
    UniqueHandle event(OpenNamedEvent(args[0].c_str()));
    if (!event) return 11;
    return WaitForEvent(event.get(), 0) == kWaitObject0 ? 0 : 12;
}

TEST(NamespaceTest, AfterEveryHolderWasKilledANewProcessStartsClean) {
    const std::string mapping = test::UniqueName("ns_clean_mapping");
    const std::string event = test::UniqueName("ns_clean_event");
    const std::string mutex = test::UniqueName("ns_clean_mutex");
    const std::string readyName = test::UniqueName("ns_clean_ready");
    UniqueHandle ready(CreateNamedEvent(false, readyName.c_str()));
    ASSERT_TRUE(ready);
    {
        // Two holders, the second joining what the first built; the test
        // itself never opens the objects.
        test::RoleProcess first("ns_holder", {mapping, event, mutex, readyName});
        ASSERT_EQ(WaitForEvent(ready.get(), kLimitMs), kWaitObject0);
        test::RoleProcess second("ns_holder", {mapping, event, mutex, readyName});
        ASSERT_EQ(WaitForEvent(ready.get(), kLimitMs), kWaitObject0);
        test::RoleProcess checker("ns_event_checker", {event});
        EXPECT_EQ(checker.Wait(), 0);  // the objects were really there
        first.Kill();
        second.Kill();
    }
    test::RoleProcess newcomer("ns_newcomer", {mapping, event, mutex});
    EXPECT_EQ(newcomer.Wait(), 0);
}

TEST(NamespaceTest, AnObjectLivesWhileAHandleIsOpenAndEndsWithTheLast) {
    const std::string name = test::UniqueName("ns_lifetime");
    UniqueHandle first(CreateNamedEvent(true, name.c_str()));
    ASSERT_TRUE(first);
    UniqueHandle second(OpenNamedEvent(name.c_str()));
    ASSERT_TRUE(second);
    SignalEvent(first.get());
    first.reset();
    test::RoleProcess checker("ns_event_checker", {name});
    EXPECT_EQ(checker.Wait(), 0);
    second.reset();
    EXPECT_EQ(OpenNamedEvent(name.c_str()), kNoHandle);
    // A new event of the same name starts non-signalled.
    UniqueHandle recreated(CreateNamedEvent(true, name.c_str()));
    ASSERT_TRUE(recreated);
    EXPECT_EQ(WaitForEvent(recreated.get(), 0), kWaitTimeout);
}

TEST(NamespaceTest, AbsentNamesAnswerZeroAndAllKindsShareOneSetOfNames) {
    const std::string name = test::UniqueName("ns_kinds");
    EXPECT_EQ(OpenNamedEvent(name.c_str()), kNoHandle);
    EXPECT_EQ(OpenNamedMutex(name.c_str()), kNoHandle);
    EXPECT_EQ(OpenNamedMapping(name.c_str()), kNoHandle);
    UniqueHandle event(CreateNamedEvent(false, name.c_str()));
    ASSERT_TRUE(event);
    EXPECT_EQ(CreateNamedMutex(name.c_str()), kNoHandle);
    EXPECT_EQ(OpenNamedMutex(name.c_str()), kNoHandle);
    EXPECT_EQ(OpenNamedMapping(name.c_str()), kNoHandle);
    EXPECT_EQ(CreateNamedMapping(name.c_str(), 4096).handle, kNoHandle);
}

// Case, characters an escaping scheme could confuse, and long names that
// differ only at the end: each name is an object of its own.
TEST(NamespaceTest, NamesThatAreAlikeStayDistinct) {
    const std::string base = test::UniqueName("ns_Chars");
    std::string upper = base;
    for (char& c : upper) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    const std::string stem = base + std::string(220, 'x');  // past a file name's length
    const std::pair<std::string, std::string> pairs[] = {
        {base, upper}, {base + " a/b", base + " a%2Fb"}, {stem + "1", stem + "2"}};
    for (const auto& [one, other] : pairs) {
        UniqueHandle first(CreateNamedEvent(true, one.c_str()));
        ASSERT_TRUE(first) << one;
        EXPECT_EQ(OpenNamedEvent(other.c_str()), kNoHandle) << other;
        UniqueHandle second(CreateNamedEvent(true, other.c_str()));
        ASSERT_TRUE(second) << other;
        SignalEvent(first.get());
        EXPECT_EQ(WaitForEvent(second.get(), 0), kWaitTimeout) << other;
        UniqueHandle reopened(OpenNamedEvent(one.c_str()));
        EXPECT_EQ(WaitForEvent(reopened.get(), 0), kWaitObject0) << one;
    }
}

}  // namespace
}  // namespace trv::platform
