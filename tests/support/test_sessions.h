// What a test process does to play the emulator for its callers without a JVM.
#pragma once

#include <string>
#include <vector>

#include "platform/handle.h"
#include "tables/application_block.h"

namespace trv::test {

// Registers each letter as an established session of this process and
// appends its request event to `requests`, in the order of `letters`; marks
// the process as one that registered sessions. False when a letter could not
// be registered.
bool RegisterTestSessions(const std::string& letters, std::vector<platform::Handle>& requests);

// The block of the caller whose request session `letter` holds; nullptr
// when there is none.
ApplicationBlock* CurrentCaller(char letter);

// Signals the caller's reply event, by its name in the block.
void WakeCaller(const ApplicationBlock& block);

}  // namespace trv::test
