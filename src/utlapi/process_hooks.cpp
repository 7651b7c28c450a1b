// The utility API's part of process attach and detach. The utility API's log
// mutex and parameter-block table are not part of this build yet; until they
// are, attach and detach have nothing to set up or free here.
#include "library/subsystem_hooks.h"

namespace trv::hooks {

void UtilityAPIAttach() {}
void UtilityAPIDetach() {}

}  // namespace trv::hooks
