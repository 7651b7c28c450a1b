// Named mappings: the creator's size, and a mapping living while a handle or
// a view holds it. (After its holders were killed: the namespace test.)
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "platform/mapping.h"
#include "support/child_role.h"

namespace trv::platform {
namespace {

constexpr std::size_t kSize = 70320;  // not a multiple of the page size

// A view of the first `size` bytes, unmapped with its owner; null on failure.
auto View(Handle mapping, std::size_t size = kSize) {
    const auto unmap = [size](unsigned char* bytes) { UnmapView(bytes, size); };
    return std::unique_ptr<unsigned char[], decltype(unmap)>(static_cast<unsigned char*>(MapView(mapping, size)),
                                                             unmap);
}

TEST(MappingTest, ACreateOpensWithTheCreatorsSizeAndTheLastHolderEndsTheMapping) {
    const std::string name = test::UniqueName("map_lifetime");
    const CreatedMapping first = CreateNamedMapping(name.c_str(), kSize);
    const CreatedMapping second = CreateNamedMapping(name.c_str(), 16);
    UniqueHandle firstHandle(first.handle);
    UniqueHandle secondHandle(second.handle);
    EXPECT_FALSE(first.existed);
    EXPECT_TRUE(second.existed);
    EXPECT_FALSE(View(firstHandle.get(), 1 << 20)) << "a view larger than the mapping";
    EXPECT_FALSE(View(kNoHandle));
    {
        const auto bytes = View(secondHandle.get());
        const auto other = View(firstHandle.get());
        ASSERT_TRUE(bytes && other);
        secondHandle.reset();
        bytes[kSize - 1] = 0x5A;  // the creator's last byte, through a view whose handle is closed
        EXPECT_EQ(other[kSize - 1], 0x5A);
    }

    {
        // Without views, the first handle alone kept the mapping and what was written.
        UniqueHandle reopened(OpenNamedMapping(name.c_str()));
        const auto again = View(reopened.get());
        ASSERT_TRUE(again);
        EXPECT_EQ(again[kSize - 1], 0x5A);
    }
    firstHandle.reset();
    EXPECT_EQ(OpenNamedMapping(name.c_str()), kNoHandle);
    const CreatedMapping fresh = CreateNamedMapping(name.c_str(), kSize);
    UniqueHandle freshHandle(fresh.handle);
    EXPECT_FALSE(fresh.existed);
    const auto zeros = View(freshHandle.get());
    ASSERT_TRUE(zeros);
    EXPECT_TRUE(std::all_of(zeros.get(), zeros.get() + kSize, [](unsigned char b) { return b == 0; }));
}

}  // namespace
}  // namespace trv::platform
