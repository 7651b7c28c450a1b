// The WinHLLAPI entries' part of process attach and detach, called by the
// library entry after the session API has attached and before it detaches.
#pragma once

namespace trv::hooks {

void WinHLLAPIAttach();
void WinHLLAPIDetach();

}  // namespace trv::hooks
