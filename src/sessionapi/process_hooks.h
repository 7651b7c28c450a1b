// The session API's part of process attach and detach, called by the library
// entry after EHLLAPI's at attach and before it at detach.
#pragma once

namespace trv::hooks {

void SessionAPIAttach();
void SessionAPIDetach();

}  // namespace trv::hooks
