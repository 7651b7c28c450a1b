// The diagnostic trace: one file per process, switched on by EHLLAPI_TRACE
// when the library is attached, one line per call of Trace with the prefix
// "<tick> <program> <pid> <tid> ". Off by default; when off, a trace point
// costs one load and one branch that the compiler lays out as the path not
// taken, and formats nothing: the writing call and its arguments sit in
// cold code away from the routine's own.
//
// Values of EHLLAPI_TRACE (case-insensitive keywords):
//   YES          ehllapi-trace-<pid>.log in the current directory
//   dir=<dir>    <dir>/ehllapi-trace-<pid>.log
//   path=<file>  that file; when several processes name the same file only
//                the first to open it traces
//   anything else: no trace
#pragma once

#include <atomic>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

// printf conversion for a handle printed as the trace lines show it.
#define TRV_PRIHANDLE "%08" PRIXPTR

namespace trv {

namespace trace_detail {
// The open trace file, or null. Read without the trace lock to decide
// whether to trace at all; WriteLine reads it again under the lock.
extern std::atomic<std::FILE*> g_traceFile;
[[gnu::cold]] void WriteLine(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));
}  // namespace trace_detail

inline bool TraceEnabled() {
    return __builtin_expect(trace_detail::g_traceFile.load(std::memory_order_relaxed) != nullptr, 0);
}

// Writes one line when the trace is open. Any thread may call it; lines of
// one process never interleave.
#define TRV_TRACE(...)                                                     \
    do {                                                                   \
        if (::trv::TraceEnabled()) ::trv::trace_detail::WriteLine(__VA_ARGS__); \
    } while (0)

// A trace point inside a loop: `tracing` is TraceEnabled() read once before
// the loop, so that an iteration tests a register, not the shared flag.
#define TRV_TRACE_WHEN(tracing, ...)                                       \
    do {                                                                   \
        if (__builtin_expect(tracing, 0)) ::trv::trace_detail::WriteLine(__VA_ARGS__); \
    } while (0)

// Opens the trace as EHLLAPI_TRACE asks (process attach); does nothing when
// it is already open or not asked for.
void OpenTrace();

// Closes the trace (process detach); tracing is off afterwards.
void CloseTrace();

// Flushes the trace file; called before a thread blocks so that the file
// shows everything that happened before the wait.
void FlushTrace();

// The trace file named by an EHLLAPI_TRACE value for process `processId`, or
// nothing when the value asks for no trace (or the path would not fit).
std::optional<std::string> TracePathFor(const std::string& value, std::uint32_t processId);

// The line prefix: tick (9 digits), program name right-aligned in 12, process
// and thread id in 8 upper-case hex digits, each followed by one blank.
std::string FormatTracePrefix(std::uint32_t tick, const char* program, std::uint32_t processId,
                              std::uint32_t threadId);

}  // namespace trv
