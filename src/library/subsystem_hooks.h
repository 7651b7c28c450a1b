// Process attach and detach hooks of the subsystems, called by the library
// entry in this order at attach (EHLLAPI, session API, utility API,
// WinHLLAPI) and in the reverse order at detach, after AttachProcess and
// before DetachProcess. Each subsystem defines its pair in its own folder.
#pragma once

namespace trv::hooks {

void EHLLAPIAttach();
void EHLLAPIDetach();
void SessionAPIAttach();
void SessionAPIDetach();
void UtilityAPIAttach();
void UtilityAPIDetach();
void WinHLLAPIAttach();
void WinHLLAPIDetach();

}  // namespace trv::hooks
