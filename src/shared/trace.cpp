// The diagnostic trace file and its one in-process lock.
#include "shared/trace.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/thread.h"
#include "platform/trace_file.h"
#include "shared/name_format.h"

namespace trv {
namespace trace_detail {
std::atomic<std::FILE*> g_traceFile{nullptr};
}  // namespace trace_detail

namespace {

// Constant-initialised, so it is usable from the first line the library
// entry writes and needs no teardown order.
std::mutex g_traceLock;
char g_programName[kPathBufferSize] = "";
std::uint32_t g_processId = 0;

bool StartsWithNoCase(const std::string& text, const char* prefix, std::size_t* rest) {
    std::size_t n = std::strlen(prefix);
    if (text.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    }
    *rest = n;
    return true;
}

}  // namespace

std::optional<std::string> TracePathFor(const std::string& value, std::uint32_t processId) {
    char path[kPathBufferSize];
    std::size_t rest = 0;
    if (value.size() == 3 && StartsWithNoCase(value, "yes", &rest)) {
        if (FormatBounded(path, sizeof path, "ehllapi-trace-%u.log", processId) < 0) return std::nullopt;
        return std::string(path);
    }
    if (StartsWithNoCase(value, "dir=", &rest)) {
        if (FormatBounded(path, sizeof path, "%s%cehllapi-trace-%u.log", value.c_str() + rest,
                          platform::PathSeparator(), processId) < 0) {
            return std::nullopt;
        }
        return std::string(path);
    }
    if (StartsWithNoCase(value, "path=", &rest)) {
        if (value.size() == rest || value.size() - rest >= kPathBufferSize) return std::nullopt;
        return value.substr(rest);
    }
    return std::nullopt;
}

std::string FormatTracePrefix(std::uint32_t tick, const char* program, std::uint32_t processId,
                              std::uint32_t threadId) {
    char prefix[kPathBufferSize + 48];
    std::snprintf(prefix, sizeof prefix, "%09d %12s %08X %08X ", static_cast<int>(tick), program,
                  processId, threadId);
    return prefix;
}

void OpenTrace() {
    std::lock_guard<std::mutex> guard(g_traceLock);
    if (trace_detail::g_traceFile.load() != nullptr) return;
    auto value = platform::GetEnvironment("EHLLAPI_TRACE");
    if (!value) return;
    g_processId = platform::CurrentProcessId();
    auto path = TracePathFor(*value, g_processId);
    if (!path) return;
    std::string program = platform::ExecutableFileName();
    std::snprintf(g_programName, sizeof g_programName, "%s", program.c_str());
    trace_detail::g_traceFile.store(platform::OpenTraceFile(path->c_str()));
}

void CloseTrace() {
    std::lock_guard<std::mutex> guard(g_traceLock);
    std::FILE* file = trace_detail::g_traceFile.exchange(nullptr);
    if (file != nullptr) platform::CloseTraceFile(file);
}

void FlushTrace() {
    if (!TraceEnabled()) return;
    std::lock_guard<std::mutex> guard(g_traceLock);
    if (std::FILE* file = trace_detail::g_traceFile.load()) std::fflush(file);
}

namespace trace_detail {

void WriteLine(const char* format, ...) {
    std::lock_guard<std::mutex> guard(g_traceLock);
    std::FILE* file = g_traceFile.load();
    if (file == nullptr) return;
    std::string prefix = FormatTracePrefix(platform::TickCount(), g_programName, g_processId,
                                           platform::CurrentThreadId());
    std::fputs(prefix.c_str(), file);
    va_list args;
    va_start(args, format);
    std::vfprintf(file, format, args);
    va_end(args);
    std::fputc('\n', file);
}

}  // namespace trace_detail
}  // namespace trv
