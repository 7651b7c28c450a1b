// The utility API at attach: the named mutex that serialises "utlTrace.log"
// between processes (not owned; held for the process's life).
#include "utlapi/process_hooks.h"

#include "utlapi/utlapi_frame.h"

namespace trv::hooks {

void UTLAPIAttach() { utl::CreateLogMutex(); }

void UTLAPIDetach() { utl::CloseLogMutex(); }

}  // namespace trv::hooks
