// The utility API's part of process attach and detach, called by the library
// entry after the session API has attached and before the WinHLLAPI entries
// do; detach in the reverse order.
#pragma once

namespace trv::hooks {

void UTLAPIAttach();
void UTLAPIDetach();

}  // namespace trv::hooks
