// Named mappings: zero-filled creation, sharing with another process, the
// creator's size, and the lifetime of a mapping held only by a view.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/mapping.h"
#include "support/child_role.h"

namespace trv::platform {
namespace {

constexpr std::size_t kSize = 70320;  // not a multiple of the page size

// Byte i is i * factor (mod 256); factor 0 means all zeros.
void Fill(unsigned char* bytes, std::size_t size, unsigned factor) {
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(i * factor);
}
bool Holds(const unsigned char* bytes, std::size_t size, unsigned factor) {
    for (std::size_t i = 0; i < size; ++i) {
        if (bytes[i] != static_cast<unsigned char>(i * factor)) return false;
    }
    return true;
}

// args: mapping name. Opens the existing mapping through create, checks the
// pattern the test wrote and answers by writing its own.
TRV_CHILD_ROLE(mapping_peer) {
    if (args.size() != 1) return 10;
    CreatedMapping created = CreateNamedMapping(args[0].c_str(), kSize);
    UniqueHandle mapping(created.handle);
    if (!mapping || !created.existed) return 11;
    auto* bytes = static_cast<unsigned char*>(MapView(mapping.get(), kSize));
    if (bytes == nullptr) return 12;
    const int result = Holds(bytes, kSize, 7) ? 0 : 13;
    Fill(bytes, kSize, 3);
    UnmapView(bytes, kSize);
    return result;
}

TEST(MappingTest, ANewMappingIsZeroFilledAndSharedWithAnotherProcess) {
    const std::string name = test::UniqueName("map_shared");
    CreatedMapping created = CreateNamedMapping(name.c_str(), kSize);
    UniqueHandle mapping(created.handle);
    ASSERT_TRUE(mapping);
    EXPECT_FALSE(created.existed);
    auto* bytes = static_cast<unsigned char*>(MapView(mapping.get(), kSize));
    ASSERT_NE(bytes, nullptr);
    EXPECT_TRUE(Holds(bytes, kSize, 0));
    Fill(bytes, kSize, 7);
    test::RoleProcess peer("mapping_peer", {name});
    EXPECT_EQ(peer.Wait(), 0);
    EXPECT_TRUE(Holds(bytes, kSize, 3)) << "the peer's answer did not arrive";
    UnmapView(bytes, kSize);
}

TEST(MappingTest, CreatingAnExistingMappingOpensItWithTheCreatorsSize) {
    const std::string name = test::UniqueName("map_size");
    UniqueHandle first(CreateNamedMapping(name.c_str(), kSize).handle);
    ASSERT_TRUE(first);
    CreatedMapping second = CreateNamedMapping(name.c_str(), 16);
    UniqueHandle secondHandle(second.handle);
    ASSERT_TRUE(secondHandle);
    EXPECT_TRUE(second.existed);
    // The whole of the creator's size is reachable through the second handle.
    auto* bytes = static_cast<unsigned char*>(MapView(secondHandle.get(), kSize));
    auto* other = static_cast<unsigned char*>(MapView(first.get(), kSize));
    ASSERT_TRUE(bytes != nullptr && other != nullptr);
    bytes[kSize - 1] = 0x5A;
    EXPECT_EQ(other[kSize - 1], 0x5A);
    UnmapView(other, kSize);
    UnmapView(bytes, kSize);

    EXPECT_EQ(MapView(first.get(), 1 << 20), nullptr) << "a view larger than the mapping";
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

    UniqueHandle reopened(OpenNamedMapping(name.c_str()));
    ASSERT_TRUE(reopened);
    auto* again = static_cast<unsigned char*>(MapView(reopened.get(), 4096));
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again[100], 42);
    UnmapView(again, 4096);
    UnmapView(bytes, 4096);
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
    EXPECT_TRUE(Holds(zeros, 4096, 0));
    UnmapView(zeros, 4096);
}

}  // namespace
}  // namespace trv::platform
