// The WinHLLAPI entries' part of process attach and detach. Those entries and
// their asynchronous-request state are not part of this build yet; until
// they are, attach and detach have nothing to set up or free here.
#include "library/subsystem_hooks.h"

namespace trv::hooks {

void WinHLLAPIAttach() {}
void WinHLLAPIDetach() {}

}  // namespace trv::hooks
