// The namespace-wide tables of this backend that every process keeps open
// from its first use until it ends (the atom table, the window registry): a
// named object of the namespace whose data starts with a robust lock.
#pragma once

#include <cstddef>
#include <mutex>

#include "platform/posix/namespace.h"

namespace trv::platform::posix {

// Opens or creates the table on first use; later calls answer the same view.
// nullptr (error recorded) when the table cannot be reached; a later call
// tries again. `init` builds a new table in zeroed memory.
void* OpenSharedTable(const char* name, ObjectKind kind, std::size_t size,
                      const NamespaceObject::Initializer& init);

}  // namespace trv::platform::posix
