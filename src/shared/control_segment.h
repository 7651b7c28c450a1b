// Releasing this process's view of the control segment at image unload. The
// view itself is reached through Control() (shared_control.h).
#pragma once

namespace trv {

// Unmaps the control segment; Control() answers the private zero record
// afterwards.
void ReleaseControlSegment();

}  // namespace trv
