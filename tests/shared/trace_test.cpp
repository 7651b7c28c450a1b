// The diagnostic trace: which EHLLAPI_TRACE values open which file, the line
// prefix, and that only the first of several processes naming one path
// writes to it. Each case runs in a child process, because the trace is
// opened once per process from its environment.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <regex>
#include <string>

#include "platform/environment.h"
#include "platform/event.h"
#include "platform/trace_file.h"
#include "shared/message_boxes.h"
#include "shared/named_objects.h"
#include "shared/trace.h"
#include "support/child_role.h"
#include "support/test_files.h"

namespace fs = std::filesystem;
using trv::test::RoleProcess;
using trv::test::UniqueName;
using trv::test::FreshDirectory;
using trv::test::ReadFile;
using trv::test::ScopedEnvironment;

// Opens the trace from the inherited environment, writes one line naming
// its number of arguments and answers 1 when the trace was on, 0 when it
// stayed off. Given an "opened" and a "release" event name, it signals the
// first once the trace is open and waits for the second before writing.
TRV_CHILD_ROLE(trace_one_line) {
    trv::OpenTrace();
    bool on = trv::TraceEnabled();
    if (args.size() == 2) {
        trv::platform::UniqueHandle opened(trv::platform::OpenNamedEvent(args[0].c_str()));
        trv::platform::UniqueHandle release(trv::platform::OpenNamedEvent(args[1].c_str()));
        trv::platform::SignalEvent(opened.get());
        trv::platform::WaitForEvent(release.get(), 20000);
    }
    TRV_TRACE("hello from the child %d", static_cast<int>(args.size()));
    trv::CloseTrace();
    return on ? 1 : 0;
}

TEST(TracePath, KeywordsAreCaseInsensitiveAndOthersTurnTheTraceOff) {
    const std::string sep(1, trv::platform::PathSeparator());
    const struct {
        std::string value;
        std::optional<std::string> path;
    } rows[] = {
        {"YES", "ehllapi-trace-1234.log"},
        {"yes", "ehllapi-trace-1234.log"},
        {"DIR=logs", "logs" + sep + "ehllapi-trace-1234.log"},
        {"Path=one.log", "one.log"},
        {"on", std::nullopt},
        {"yess", std::nullopt},
        {"", std::nullopt},
        {"path=", std::nullopt},
        // A directory that leaves no room for the file name within 260 bytes.
        {"dir=" + std::string(250, 'd'), std::nullopt},
    };
    for (const auto& row : rows) EXPECT_EQ(trv::TracePathFor(row.value, 1234), row.path) << row.value;
}

// EHLLAPI_TRACE unset, or naming a directory, in a child: whether it traces,
// and into which file, one line with the prefix's columns.
TEST(TraceFile, TheValueChoosesTheFileOrNoTrace) {
    const FreshDirectory fresh("trace_dir");
    const fs::path& dir = fresh.path();
    const struct {
        std::optional<std::string> value;  // nullopt: unset
        fs::path directory;                // empty: no trace
    } rows[] = {
        {std::nullopt, {}},
        {"dir=" + dir.string(), dir},
    };
    for (const auto& row : rows) {
        const std::string value = row.value.value_or("(unset)");
        ScopedEnvironment env("EHLLAPI_TRACE", row.value ? row.value->c_str() : nullptr);
        RoleProcess child("trace_one_line");
        const int traced = child.Wait();
        const std::string fileName = "ehllapi-trace-" + std::to_string(child.id()) + ".log";
        if (row.directory.empty()) {
            EXPECT_EQ(traced, 0) << value;
            EXPECT_FALSE(fs::exists(fileName)) << value;
            continue;
        }
        ASSERT_EQ(traced, 1) << value;
        const fs::path file = row.directory / fileName;
        char ids[32];
        std::snprintf(ids, sizeof ids, "%08X", child.id());
        const std::regex line("^[0-9]{9} +[^ ]+ " + std::string(ids) +
                              " [0-9A-F]{8} hello from the child 0\n$");
        EXPECT_TRUE(std::regex_match(ReadFile(file), line)) << value << ": " << ReadFile(file);
        fs::remove(file);
    }
}

TEST(TraceFile, WithPathOnlyTheFirstProcessTraces) {
    const FreshDirectory fresh("trace_path");
    const fs::path& dir = fresh.path();
    fs::path file = dir / "shared.log";
    ScopedEnvironment env("EHLLAPI_TRACE", ("path=" + file.string()).c_str());
    std::string opened = UniqueName("trace_opened");
    std::string release = UniqueName("trace_release");
    trv::platform::UniqueHandle openedEvent(trv::platform::CreateNamedEvent(true, opened.c_str()));
    trv::platform::UniqueHandle releaseEvent(trv::platform::CreateNamedEvent(true, release.c_str()));

    RoleProcess first("trace_one_line", {opened, release});
    ASSERT_EQ(trv::platform::WaitForEvent(openedEvent.get(), 20000), trv::platform::kWaitObject0);
    RoleProcess second("trace_one_line");
    EXPECT_EQ(second.Wait(), 0) << "a second process must be refused the file";
    trv::platform::SignalEvent(releaseEvent.get());
    EXPECT_EQ(first.Wait(), 1);

    std::string text = ReadFile(file);
    EXPECT_NE(text.find("hello from the child 2"), std::string::npos) << "the first process stopped tracing";
    EXPECT_EQ(text.find("hello from the child 0"), std::string::npos) << text;
}

// Getting an event by name only opens it: an absent one is not made.
TEST(EventWrappers, GettingAnAbsentEventAnswersNoHandle) {
    EXPECT_EQ(trv::GetHLLEvent(UniqueName("no_such_event").c_str()), trv::platform::kNoHandle);
}

// In unattended mode an error box is written to the trace (and standard
// error) instead of being shown, so the child returns instead of blocking.
TRV_CHILD_ROLE(error_box_unattended) {
    trv::OpenTrace();
    trv::ShowErrorBox("Session Z is not available");
    int answer = trv::ShowLibraryMessageBox("Caption", "Some text", 0);
    trv::CloseTrace();
    return answer;
}

TEST(MessageBoxes, UnattendedModeWritesTheBoxToTheTraceInsteadOfShowingIt) {
    const FreshDirectory fresh("trace_box");
    const fs::path& dir = fresh.path();
    ScopedEnvironment trace("EHLLAPI_TRACE", ("dir=" + dir.string()).c_str());
    ScopedEnvironment unattended("TRVHA64_UNATTENDED", "1");
    RoleProcess child("error_box_unattended");
    ASSERT_EQ(child.Wait(), 1) << "an unattended box answers OK";
    std::string text = ReadFile(dir / ("ehllapi-trace-" + std::to_string(child.id()) + ".log"));
    EXPECT_NE(text.find("MessageBox [HLLAPI for TRV Bridge error!] Session Z is not available"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("MessageBox [Caption] Some text"), std::string::npos);
}
