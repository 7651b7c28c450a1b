// The system error code of the last failed call of this layer on the calling
// thread: a Win32 error code on Windows, an errno value on POSIX. Each backend
// records it at the failing call, before anything else can overwrite it.
#pragma once

#include <cstdint>

namespace trv::platform {

std::uint32_t LastError();

}  // namespace trv::platform
