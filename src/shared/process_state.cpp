// This process's state of the shared tables, and the table mutexes it holds.
#include "shared/process_state.h"

#include <cstring>

namespace trv {

ProcessState& Process() {
    static ProcessState state;
    return state;
}

platform::Handle HeldTableMutex(const char* name) {
    if (name == nullptr) return platform::kNoHandle;
    for (int i = 0; i < 3; ++i) {
        // The tables pass their name constants, which usually share the
        // address of these literals: a match by address needs no compare.
        if (name == kTableMutexNames[i] || std::strcmp(name, kTableMutexNames[i]) == 0) {
            return Process().tableMutexes[i];
        }
    }
    return platform::kNoHandle;
}

}  // namespace trv
