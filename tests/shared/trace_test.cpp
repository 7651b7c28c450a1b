// The diagnostic trace. The cases that open it run in a child process,
// because the trace is opened once per process.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <regex>
#include <string>

#include "platform/event.h"
#include "platform/trace_file.h"
#include "shared/message_boxes.h"
#include "shared/named_objects.h"
#include "shared/trace.h"
#include "support/child_role.h"
#include "support/test_files.h"

namespace fs = std::filesystem;

namespace trv::test {
using platform::UniqueHandle;

// Opens the trace from the inherited environment, writes one line naming
// its number of arguments and answers 1 when the trace was on, 0 when it
// stayed off. Given an argument, it signals "trace_opened" once the trace is
// open and waits for "trace_release" before writing.
TRV_CHILD_ROLE(trace_one_line) {
    OpenTrace();
    bool on = TraceEnabled();
    if (!args.empty()) {
        UniqueHandle release(platform::OpenNamedEvent(UniqueName("trace_release").c_str()));
        SignalNamedEvent(UniqueName("trace_opened"));
        platform::WaitForEvent(release.get(), 20000);
    }
    TRV_TRACE("hello from the child %d", static_cast<int>(args.size()));
    CloseTrace();
    return on ? 1 : 0;
}

TEST(TracePath, KeywordsAreCaseInsensitiveAndOthersTurnTheTraceOff) {
    const std::string sep(1, platform::PathSeparator());
    const struct {
        std::string value;
        std::optional<std::string> path;
    } rows[] = {
        {"YES", "ehllapi-trace-1234.log"},
        {"DIR=logs", "logs" + sep + "ehllapi-trace-1234.log"},
        {"Path=one.log", "one.log"},
        {"on", std::nullopt},
        {"yess", std::nullopt},
        {"path=", std::nullopt},
        // The longest directory that leaves room for the file name within
        // the 260-byte path, and one byte more.
        {"dir=" + std::string(236, 'd'), std::string(236, 'd') + sep + "ehllapi-trace-1234.log"},
        {"dir=" + std::string(237, 'd'), std::nullopt},
    };
    for (const auto& row : rows) EXPECT_EQ(TracePathFor(row.value, 1234), row.path) << row.value;
}

fs::path TraceFileOf(const RoleProcess& child, const fs::path& dir = {}) {
    return dir / ("ehllapi-trace-" + std::to_string(child.id()) + ".log");
}

// Writes one trace line, then shows an error box and a message box; answers
// what the latter answered.
TRV_CHILD_ROLE(trace_and_boxes) {
    OpenTrace();
    TRV_TRACE("hello from the child");
    ShowErrorBox("Session Z is not available");
    const int answer = ShowLibraryMessageBox("Caption", "Some text", 0);
    CloseTrace();
    return answer;
}

// A child with EHLLAPI_TRACE unset traces nowhere. With it naming a
// directory, the child writes into its own file there, each line with the
// prefix's columns; in unattended mode a box is written to the trace (and
// standard error) instead of being shown, so the child goes on.
TEST(TraceFile, TheValueChoosesTheFileOrNoTraceAndUnattendedBoxesAreTraced) {
    {
        const ScopedEnvironment unset("EHLLAPI_TRACE", nullptr);
        RoleProcess child("trace_one_line");
        EXPECT_EQ(child.Wait(), 0);
        EXPECT_FALSE(fs::exists(TraceFileOf(child)));
    }
    const FreshDirectory dir("trace_dir");
    const ScopedEnvironment env("EHLLAPI_TRACE", ("dir=" + dir.path().string()).c_str());
    const ScopedEnvironment unattended("TRVHA64_UNATTENDED", "1");
    RoleProcess child("trace_and_boxes");
    ASSERT_EQ(child.Wait(), 1) << "an unattended box answers OK";
    char id[16];
    std::snprintf(id, sizeof id, "%08X", child.id());
    const std::string prefix = "[0-9]{9} +[^ ]+ " + std::string(id) + " [0-9A-F]{8} ";
    const std::regex lines("^" + prefix + "hello from the child\n" + prefix +
                           "MessageBox \\[HLLAPI for TRV Bridge error!\\] Session Z is not available\n" + prefix +
                           "MessageBox \\[Caption\\] Some text\n$");
    const std::string text = ReadFile(TraceFileOf(child, dir.path()));
    EXPECT_TRUE(std::regex_match(text, lines)) << text;
}

TEST(TraceFile, WithPathOnlyTheFirstProcessTraces) {
    const FreshDirectory dir("trace_path");
    const fs::path file = dir.path() / "shared.log";
    ScopedEnvironment env("EHLLAPI_TRACE", ("path=" + file.string()).c_str());
    UniqueHandle opened(platform::CreateNamedEvent(true, UniqueName("trace_opened").c_str()));
    UniqueHandle release(platform::CreateNamedEvent(true, UniqueName("trace_release").c_str()));

    RoleProcess first("trace_one_line", {"hold"});
    ASSERT_EQ(platform::WaitForEvent(opened.get(), 20000), platform::kWaitObject0);
    RoleProcess second("trace_one_line");
    EXPECT_EQ(second.Wait(), 0) << "a second process must be refused the file";
    platform::SignalEvent(release.get());
    EXPECT_EQ(first.Wait(), 1);

    std::string text = ReadFile(file);
    EXPECT_NE(text.find("hello from the child 1"), std::string::npos) << "the first process stopped tracing";
    EXPECT_EQ(text.find("hello from the child 0"), std::string::npos) << text;
}

// Getting an event by name only opens it: an absent one is not made.
TEST(EventWrappers, GettingAnAbsentEventAnswersNoHandle) {
    EXPECT_EQ(GetHLLEvent(UniqueName("no_such_event").c_str()), platform::kNoHandle);
}

}  // namespace trv::test
