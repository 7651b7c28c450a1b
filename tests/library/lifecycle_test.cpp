// Process attach and detach with the real library loaded into child
// processes: who builds the tables (its trace line tells), load counting,
// the last detach, killed processes.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "platform/environment.h"
#include "platform/event.h"
#include "platform/library.h"
#include "platform/mapping.h"
#include "platform/clock.h"
#include "platform/mutex.h"
#include "platform/thread.h"
#include "support/child_role.h"
#include "support/test_files.h"

namespace fs = std::filesystem;
using trv::platform::UniqueHandle;
using trv::test::RoleProcess;
using trv::test::UniqueName;
using trv::test::ReadFile;

namespace {

constexpr std::uint32_t kLimitMs = 20000;

struct ControlSnapshot {
    bool exists = false;
    std::uint32_t loadCount = 0;
    std::uint8_t listsReady = 0;
};

// Reads the control record without keeping the segment alive afterwards.
ControlSnapshot ReadControl() {
    ControlSnapshot snapshot;
    UniqueHandle mapping(trv::platform::OpenNamedMapping("trvhaShared"));
    if (!mapping) return snapshot;
    auto* bytes = static_cast<unsigned char*>(trv::platform::MapView(mapping.get(), 16));
    if (bytes == nullptr) return snapshot;
    snapshot.exists = true;
    std::memcpy(&snapshot.loadCount, bytes + 8, 4);
    snapshot.listsReady = bytes[13];
    trv::platform::UnmapView(bytes, 16);
    return snapshot;
}

// Lines of a trace file without their prefix (tick, program, pid, tid).
std::vector<std::string> TraceMessages(const fs::path& path) {
    std::vector<std::string> messages;
    std::istringstream in(ReadFile(path));
    for (std::string line; std::getline(in, line);) {
        std::size_t at = 0;
        for (int field = 0; field < 4 && at != std::string::npos; ++field) {
            at = line.find_first_not_of(' ', at);
            at = line.find(' ', at);
        }
        messages.push_back(at == std::string::npos ? "" : line.substr(at + 1));
    }
    return messages;
}

std::uint32_t RawSessionCount() {
    UniqueHandle mapping(trv::platform::OpenNamedMapping("SESS_LIST_FILE"));
    if (!mapping) return 0xFFFFFFFF;
    auto* bytes = static_cast<unsigned char*>(trv::platform::MapView(mapping.get(), 16));
    std::uint32_t count = 0xFFFFFFFF;
    if (bytes != nullptr) {
        std::memcpy(&count, bytes + 8, 4);
        trv::platform::UnmapView(bytes, 16);
    }
    return count;
}

// A child that loads the library, says so, and holds it until released.
class AttachedChild {
public:
    explicit AttachedChild(const std::string& tag, const char* mode = "hold")
        : attached_(UniqueName("attached_" + tag)),
          release_(UniqueName("release_" + tag)),
          attachedEvent_(trv::platform::CreateNamedEvent(true, attached_.c_str())),
          releaseEvent_(trv::platform::CreateNamedEvent(true, release_.c_str())),
          process_("attach_library", {attached_, release_, mode}) {}

    bool WaitAttached() {
        return trv::platform::WaitForEvent(attachedEvent_.get(), kLimitMs) ==
               trv::platform::kWaitObject0;
    }
    int Release() {
        trv::platform::SignalEvent(releaseEvent_.get());
        return process_.Wait(kLimitMs);
    }
    RoleProcess& process() { return process_; }

private:
    std::string attached_, release_;
    UniqueHandle attachedEvent_, releaseEvent_;
    RoleProcess process_;
};

// The children started while it lives trace into a fresh directory.
class ScopedTraceDirectory {
public:
    fs::path FileOf(std::uint32_t processId) const {
        return dir_.path() / ("ehllapi-trace-" + std::to_string(processId) + ".log");
    }

private:
    trv::test::FreshDirectory dir_{"lifecycle_trace"};
    trv::test::ScopedEnvironment trace_{"EHLLAPI_TRACE", ("dir=" + dir_.path().string()).c_str()};
};

bool Contains(const std::vector<std::string>& lines, const std::string& text) {
    for (const auto& line : lines) {
        if (line == text) return true;
    }
    return false;
}

constexpr const char* kFirstLoad =
    "AttachProcess - FIRST LOAD...  Initialize Session and Application Lists";

}  // namespace

// args: attached event, release event, mode. Mode "hold" waits for release;
// "mark" also stores 5 as the session table's count before detaching;
// "count" exits with the session table's count as read right after attach.
TRV_CHILD_ROLE(attach_library) {
    trv::platform::LibraryHandle library = trv::platform::LoadSharedLibrary(TRV_LIBRARY_FILE);
    if (library == nullptr) return 90;
    const std::string& mode = args.at(2);
    int result = 0;
    if (mode == "count") result = static_cast<int>(RawSessionCount());
    if (mode == "mark") {
        UniqueHandle mapping(trv::platform::OpenNamedMapping("SESS_LIST_FILE"));
        auto* bytes = static_cast<unsigned char*>(trv::platform::MapView(mapping.get(), 16));
        if (bytes == nullptr) return 91;
        std::uint32_t five = 5;
        std::memcpy(bytes + 8, &five, 4);
        trv::platform::UnmapView(bytes, 16);
    }
    UniqueHandle attached(trv::platform::OpenNamedEvent(args.at(0).c_str()));
    UniqueHandle release(trv::platform::OpenNamedEvent(args.at(1).c_str()));
    trv::platform::SignalEvent(attached.get());
    if (mode == "hold") trv::platform::WaitForEvent(release.get(), kLimitMs);
    trv::platform::FreeSharedLibrary(library);
    return result;
}

// Takes the attach mutex as a process building the tables would, says so,
// and then hangs until it is killed.
TRV_CHILD_ROLE(hold_attach_mutex) {
    UniqueHandle mutex(trv::platform::CreateNamedMutex("TRVHA_ATTACH_MTX"));
    if (trv::platform::WaitMutex(mutex.get(), kLimitMs) != trv::platform::LockResult::acquired) return 1;
    UniqueHandle held(trv::platform::OpenNamedEvent(args.at(0).c_str()));
    trv::platform::SignalEvent(held.get());
    trv::platform::SleepMs(kLimitMs);
    return 0;
}

TEST(Lifecycle, TwoProcessesAttachingAtOnceBuildTheTablesOnce) {
    ASSERT_FALSE(ReadControl().exists) << "another process still holds the shared segment";
    ScopedTraceDirectory traces;
    AttachedChild first("first"), second("second");
    ASSERT_TRUE(first.WaitAttached());
    ASSERT_TRUE(second.WaitAttached());

    ControlSnapshot both = ReadControl();
    EXPECT_TRUE(both.exists);
    EXPECT_EQ(both.loadCount, 2u);
    EXPECT_EQ(both.listsReady, 1);
    EXPECT_EQ(RawSessionCount(), 0u);

    EXPECT_EQ(first.Release(), 0);
    EXPECT_EQ(ReadControl().loadCount, 1u);
    EXPECT_EQ(second.Release(), 0);
    EXPECT_FALSE(ReadControl().exists) << "the last detach leaves nothing behind";

    // Read once both have closed (and so flushed) their traces.
    int builders = Contains(TraceMessages(traces.FileOf(first.process().id())), kFirstLoad) +
                   Contains(TraceMessages(traces.FileOf(second.process().id())), kFirstLoad);
    EXPECT_EQ(builders, 1);
}

TEST(Lifecycle, AfterTheLastDetachTheNextAttachBuildsFreshTables) {
    AttachedChild marker("marker", "mark");
    ASSERT_TRUE(marker.WaitAttached());
    EXPECT_EQ(marker.process().Wait(kLimitMs), 0);

    AttachedChild counter("counter", "count");
    ASSERT_TRUE(counter.WaitAttached());
    EXPECT_EQ(counter.process().Wait(kLimitMs), 0) << "the session table was not rebuilt";
}

TEST(Lifecycle, KilledProcessesLeaveNobodyWaiting) {
    AttachedChild survivor("survivor");
    ASSERT_TRUE(survivor.WaitAttached());
    {
        AttachedChild victim("victim");
        ASSERT_TRUE(victim.WaitAttached());
        victim.process().Kill();
    }
    AttachedChild later("later", "count");
    ASSERT_TRUE(later.WaitAttached()) << "attach hung after a process was killed";
    EXPECT_EQ(later.process().Wait(kLimitMs), 0);
    EXPECT_EQ(survivor.Release(), 0);

    // Every process is gone now, the killed one included: a new process
    // starts from a clean segment.
    EXPECT_FALSE(ReadControl().exists);
    AttachedChild fresh("fresh");
    ASSERT_TRUE(fresh.WaitAttached());
    EXPECT_EQ(ReadControl().loadCount, 1u);
    EXPECT_EQ(fresh.Release(), 0);
}

TEST(Lifecycle, AProcessKilledWhileBuildingTheTablesDoesNotBlockTheNext) {
    std::string heldName = UniqueName("attach_mutex_held");
    UniqueHandle held(trv::platform::CreateNamedEvent(true, heldName.c_str()));
    RoleProcess builder("hold_attach_mutex", {heldName});
    ASSERT_EQ(trv::platform::WaitForEvent(held.get(), kLimitMs), trv::platform::kWaitObject0);
    builder.Kill();

    AttachedChild next("after_builder", "count");
    ASSERT_TRUE(next.WaitAttached()) << "attach waited for a dead builder";
    EXPECT_EQ(next.process().Wait(kLimitMs), 0);
}
