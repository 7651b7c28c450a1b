// Library entry on Linux: the shared object's constructor and destructor run
// once per process, whether the library was linked by a C client or loaded
// by a JVM's System.loadLibrary. A process that ends without running its
// destructors (killed, _exit) detaches nothing; the others notice through
// the named objects' liveness.
#include "platform/library_entry.h"

namespace {

__attribute__((constructor)) void LibraryLoaded() { trv::platform::LibraryAttached(); }
__attribute__((destructor)) void LibraryUnloaded() { trv::platform::LibraryDetached(); }

}  // namespace
