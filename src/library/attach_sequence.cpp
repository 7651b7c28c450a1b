// The order in which the library attaches to a process and detaches from it:
// security for named objects, the trace, the shared tables, then each
// subsystem's own part; detaching undoes them in the reverse order. The
// platform's library entry calls in here through its hook; tests call
// OnProcessAttach and OnProcessDetach directly.
#include <cstdio>
#include <string>

#include "compat/process_hooks.h"
#include "ehllapi/process_hooks.h"
#include "library/process_lifecycle.h"
#include "platform/library_entry.h"
#include "platform/process.h"
#include "sessionapi/process_hooks.h"
#include "shared/control_segment.h"
#include "shared/trace.h"
#include "utlapi/process_hooks.h"

namespace trv {
namespace {

// No exception may leave the library entry: an unexpected failure in one
// step is traced and the remaining steps still run.
template <typename Step>
void RunStep(const char* name, Step step) {
    try {
        step();
    } catch (...) {
        TRV_TRACE("library entry: %s failed", name);
    }
}

// A process that cannot use the named objects reaches no session; the
// reason goes to the trace and to standard error, where a user sees it.
void ReportObjectsProblem(const std::string& problem) {
    if (problem.empty()) return;
    TRV_TRACE("AttachProcess - %s", problem.c_str());
    std::fprintf(stderr, "trvha64: %s\n", problem.c_str());
}

}  // namespace

void OnProcessAttach() {
    RunStep("security", [] { platform::OpenObjectsToAllProcesses(); });
    RunStep("trace", [] { OpenTrace(); });
    RunStep("objects", [] { ReportObjectsProblem(platform::ObjectsProblem()); });
    RunStep("AttachProcess", [] { AttachProcess(); });
    RunStep("EHLLAPI hook", [] { hooks::EHLLAPIAttach(); });
    RunStep("session API hook", [] { hooks::SessionAPIAttach(); });
    RunStep("UTLAPI hook", [] { hooks::UTLAPIAttach(); });
    RunStep("WinHLLAPI hook", [] { hooks::WinHLLAPIAttach(); });
}

void OnProcessDetach() {
    RunStep("WinHLLAPI hook", [] { hooks::WinHLLAPIDetach(); });
    RunStep("UTLAPI hook", [] { hooks::UTLAPIDetach(); });
    RunStep("session API hook", [] { hooks::SessionAPIDetach(); });
    RunStep("EHLLAPI hook", [] { hooks::EHLLAPIDetach(); });
    RunStep("DetachProcess", [] { DetachProcess(); });
    RunStep("trace", [] { CloseTrace(); });
    ReleaseControlSegment();
}

namespace platform {

void LibraryAttached() { OnProcessAttach(); }
void LibraryDetached() { OnProcessDetach(); }

}  // namespace platform
}  // namespace trv
