// Process attach and detach of the library, the top layer: the order in
// which the library sets up and tears down the shared state and the
// subsystems (attach_sequence.cpp), and the shared-state steps themselves
// (process_lifecycle.cpp).
//
// OnProcessAttach / OnProcessDetach are called once per process through the
// platform's library-entry hook (DllMain on Windows, the shared object's
// constructor and destructor on Linux), under the loader's serialisation of
// that process.
// They never fail: a process that cannot reach the shared segment works on a
// zero control record and every call then reports that no session exists.
#pragma once

namespace trv {

void OnProcessAttach();
void OnProcessDetach();

// The shared-state steps of attach and detach. AttachProcess builds the three
// tables when this process is the first (or when the process that was
// building them died before finishing), otherwise opens them; every process
// opens the 26 session mutexes, its own call-serialising mutex and registers
// the notification message. DetachProcess undoes all of it and, in the last
// process, destroys the tables.
void AttachProcess();
void DetachProcess();

}  // namespace trv
