// The hook of the library entry: this platform's entry (DllMain on Windows,
// the shared object's constructor and destructor on Linux) calls
// LibraryAttached once when the library is loaded into a process and
// LibraryDetached once when it is unloaded, under the loader's serialisation
// of that process. The platform only declares them; the library layer above
// every subsystem defines what attaching and detaching do. Neither may let
// an exception escape.
#pragma once

namespace trv::platform {

void LibraryAttached();
void LibraryDetached();

}  // namespace trv::platform
