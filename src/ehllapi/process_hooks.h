// EHLLAPI's part of process attach and detach, called by the library entry
// after the shared tables are attached and before they are detached.
#pragma once

namespace trv::hooks {

void EHLLAPIAttach();
void EHLLAPIDetach();

}  // namespace trv::hooks
