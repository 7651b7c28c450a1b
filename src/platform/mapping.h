// Named shared-memory mappings.
//
// Lifetime: on Windows a mapping exists while some process holds a handle to
// it. The POSIX backend gives the same lifetime: a segment whose every holder
// has closed it or died is discarded, and the next create starts from zeros.
// A newly created mapping is always zero-filled.
#pragma once

#include <cstddef>

#include "platform/handle.h"

namespace trv::platform {

struct CreatedMapping {
    Handle handle = kNoHandle;  // 0 on failure; LastError() tells why
    bool existed = false;       // true when another process had created it
};

// Creates the named read-write mapping of `size` bytes, or opens it when it
// already exists (its size is then the creator's).
CreatedMapping CreateNamedMapping(const char* name, std::size_t size);

// Opens an existing named mapping with full access; 0 when there is none.
Handle OpenNamedMapping(const char* name);

// Maps a read-write view of the first `size` bytes; nullptr on failure. The
// view stays valid after the mapping handle is closed, until UnmapView.
void* MapView(Handle mapping, std::size_t size);
void UnmapView(void* view, std::size_t size);

}  // namespace trv::platform
