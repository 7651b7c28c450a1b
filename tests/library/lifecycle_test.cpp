// Process attach and detach with the real library loaded into child
// processes, which tell by a trace line whether they built the tables.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/clock.h"
#include "platform/event.h"
#include "platform/library.h"
#include "platform/mapping.h"
#include "platform/mutex.h"
#include "shared/shared_control.h"
#include "support/child_role.h"
#include "support/test_files.h"
#include "tables/session_list.h"

namespace trv::test {
namespace {

using platform::UniqueHandle;

constexpr std::uint32_t kLimitMs = 20000;

// Reads or writes the 32-bit word at `offset` of a named mapping without
// keeping the mapping alive afterwards; nullopt when it does not exist.
std::optional<std::uint32_t> AccessWord(const char* mappingName, std::size_t offset,
                                        std::optional<std::uint32_t> store = std::nullopt) {
    UniqueHandle mapping(platform::OpenNamedMapping(mappingName));
    auto* bytes = mapping ? static_cast<unsigned char*>(platform::MapView(mapping.get(), 16)) : nullptr;
    if (bytes == nullptr) return std::nullopt;
    if (store) std::memcpy(bytes + offset, &*store, 4);
    std::uint32_t word = 0;
    std::memcpy(&word, bytes + offset, 4);
    platform::UnmapView(bytes, 16);
    return word;
}

std::optional<std::uint32_t> LoadCount() { return AccessWord(kControlSegmentName, offsetof(SharedControl, LoadCount)); }

// A child that loads the library, says so, and holds it until released.
class AttachedChild {
public:
    explicit AttachedChild(const std::string& tag, const char* mode = "hold")
        : attached_(platform::CreateNamedEvent(true, UniqueName("attached_" + tag).c_str())),
          release_(platform::CreateNamedEvent(true, UniqueName("release_" + tag).c_str())),
          process_("attach_library", {tag, mode}) {}

    bool WaitAttached() { return platform::WaitForEvent(attached_.get(), kLimitMs) == platform::kWaitObject0; }
    int Release() {
        platform::SignalEvent(release_.get());
        return process_.Wait(kLimitMs);
    }
    RoleProcess& process() { return process_; }

private:
    UniqueHandle attached_, release_;
    RoleProcess process_;
};

}  // namespace

// args: tag, mode. Every mode holds the library until released; "mark"
// first stores 5 as the session table's count; "count" exits with the
// session table's count as read right after attach.
TRV_CHILD_ROLE(attach_library) {
    platform::LibraryHandle library = platform::LoadSharedLibrary(TRV_LIBRARY_FILE);
    if (library == nullptr) return 90;
    const std::string& mode = args.at(1);
    const std::optional<std::uint32_t> count = AccessWord(kSessionListMappingName, offsetof(SessionList, SessionCount),
                                                          mode == "mark" ? std::optional(5u) : std::nullopt);
    if (!count) return 91;
    UniqueHandle release(platform::OpenNamedEvent(UniqueName("release_" + args.at(0)).c_str()));
    SignalNamedEvent(UniqueName("attached_" + args.at(0)));
    platform::WaitForEvent(release.get(), kLimitMs);
    platform::FreeSharedLibrary(library);
    return mode == "count" ? static_cast<int>(*count) : 0;
}

// Takes the attach mutex as a process building the tables would, says so,
// and then hangs until it is killed.
TRV_CHILD_ROLE(hold_attach_mutex) {
    UniqueHandle mutex(platform::CreateNamedMutex("TRVHA_ATTACH_MTX"));
    if (platform::WaitMutex(mutex.get(), kLimitMs) != platform::LockResult::acquired) return 1;
    SignalNamedEvent(args.at(0));
    platform::SleepMs(kLimitMs);
    return 0;
}

TEST(Lifecycle, TwoProcessesAttachingAtOnceBuildTheTablesOnce) {
    ASSERT_FALSE(LoadCount()) << "another process still holds the shared segment";
    const FreshDirectory traces("lifecycle_trace");
    const ScopedEnvironment trace("EHLLAPI_TRACE", ("dir=" + traces.path().string()).c_str());
    AttachedChild first("first"), second("second");
    ASSERT_TRUE(first.WaitAttached());
    ASSERT_TRUE(second.WaitAttached());
    EXPECT_EQ(first.Release(), 0);
    EXPECT_EQ(LoadCount(), 1u) << "a detach took more than its own load";
    EXPECT_EQ(second.Release(), 0);
    EXPECT_FALSE(LoadCount()) << "the last detach leaves nothing behind";

    // Read once both have closed (and so flushed) their traces.
    int builders = 0;
    for (AttachedChild* child : {&first, &second}) {
        const auto file = traces.path() / ("ehllapi-trace-" + std::to_string(child->process().id()) + ".log");
        builders += ReadFile(file).find(
                        "AttachProcess - FIRST LOAD...  Initialize Session and Application Lists") !=
                    std::string::npos;
    }
    EXPECT_EQ(builders, 1);
}

// A process killed while it holds the attach mutex, which the attached
// processes keep in existence, does not block the next attach; one killed
// while attached does not take the tables with it while another process
// holds them; once every process is gone, the killed ones included, the
// next attach builds fresh tables.
TEST(Lifecycle, KilledProcessesLeaveNobodyWaitingAndTheLastDetachLeavesFreshTables) {
    AttachedChild survivor("survivor");
    ASSERT_TRUE(survivor.WaitAttached());
    const std::string heldName = UniqueName("attach_mutex_held");
    UniqueHandle held(platform::CreateNamedEvent(true, heldName.c_str()));
    RoleProcess builder("hold_attach_mutex", {heldName});
    ASSERT_EQ(platform::WaitForEvent(held.get(), kLimitMs), platform::kWaitObject0);
    builder.Kill();
    {
        AttachedChild victim("victim", "mark");
        ASSERT_TRUE(victim.WaitAttached()) << "attach waited for a dead holder of the attach mutex";
        victim.process().Kill();
    }
    AttachedChild later("later", "count");
    ASSERT_TRUE(later.WaitAttached()) << "attach hung after a process was killed";
    EXPECT_EQ(later.Release(), 5) << "the tables were rebuilt while a process held them";
    EXPECT_EQ(survivor.Release(), 0);

    EXPECT_FALSE(LoadCount());
    AttachedChild fresh("fresh", "count");
    ASSERT_TRUE(fresh.WaitAttached());
    EXPECT_EQ(LoadCount(), 1u);
    EXPECT_EQ(fresh.Release(), 0) << "the session table was not rebuilt";
}

}  // namespace trv::test
