// Named mappings: the creator's size, and the lifetime of a mapping held only
// by a view. (Sharing with another process and zero-filled creation are
// caught by the namespace test's newcomer and by every multi-process test of
// the shared tables.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "platform/mapping.h"
#include "support/child_role.h"

namespace trv::platform {
namespace {

constexpr std::size_t kSize = 70320;  // not a multiple of the page size

TEST(MappingTest, CreatingAnExistingMappingOpensItWithTheCreatorsSize) {
    const std::string name = test::UniqueName("map_size");
    CreatedMapping first = CreateNamedMapping(name.c_str(), kSize);
    UniqueHandle firstHandle(first.handle);
    ASSERT_TRUE(firstHandle);
    EXPECT_FALSE(first.existed);
    CreatedMapping second = CreateNamedMapping(name.c_str(), 16);
    UniqueHandle secondHandle(second.handle);
    ASSERT_TRUE(secondHandle);
    EXPECT_TRUE(second.existed);
    // The whole of the creator's size is reachable through the second handle.
    auto* bytes = static_cast<unsigned char*>(MapView(secondHandle.get(), kSize));
    auto* other = static_cast<unsigned char*>(MapView(firstHandle.get(), kSize));
    ASSERT_TRUE(bytes != nullptr && other != nullptr);
    bytes[kSize - 1] = 0x5A;
    EXPECT_EQ(other[kSize - 1], 0x5A);
    UnmapView(other, kSize);
    UnmapView(bytes, kSize);

    EXPECT_EQ(MapView(firstHandle.get(), 1 << 20), nullptr) << "a view larger than the mapping";
    EXPECT_EQ(MapView(kNoHandle, 16), nullptr);
}

TEST(MappingTest, AViewOutlivesItsHandleAndTheLastHolderEndsTheMapping) {
    const std::string name = test::UniqueName("map_view_lifetime");
    CreatedMapping created = CreateNamedMapping(name.c_str(), 4096);
    ASSERT_NE(created.handle, kNoHandle);
    UniqueHandle other(OpenNamedMapping(name.c_str()));
    ASSERT_TRUE(other);
    auto* bytes = static_cast<unsigned char*>(MapView(created.handle, 4096));
    ASSERT_NE(bytes, nullptr);
    CloseObject(created.handle);
    bytes[100] = 42;  // still the shared memory, though its handle is closed
    UnmapView(bytes, 4096);

    // The other handle kept the mapping, and what was written, alive.
    UniqueHandle reopened(OpenNamedMapping(name.c_str()));
    ASSERT_TRUE(reopened);
    auto* again = static_cast<unsigned char*>(MapView(reopened.get(), 4096));
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again[100], 42);
    UnmapView(again, 4096);
    reopened.reset();
    other.reset();

    // Without views or handles the mapping is gone; the next one starts from zeros.
    EXPECT_EQ(OpenNamedMapping(name.c_str()), kNoHandle);
    CreatedMapping fresh = CreateNamedMapping(name.c_str(), 4096);
    UniqueHandle freshHandle(fresh.handle);
    ASSERT_TRUE(freshHandle);
    EXPECT_FALSE(fresh.existed);
    auto* zeros = static_cast<unsigned char*>(MapView(freshHandle.get(), 4096));
    ASSERT_NE(zeros, nullptr);
    EXPECT_TRUE(std::all_of(zeros, zeros + 4096, [](unsigned char b) { return b == 0; }));
    UnmapView(zeros, 4096);
}

}  // namespace
}  // namespace trv::platform
