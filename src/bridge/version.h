// The version text the emulator shows (version.level and the build date as
// MMDDYY, from protocol/library_version.h) and the process-wide progress
// flag that the first version query clears.
#pragma once

#include <string>

namespace trv {

// "<version>.<level> MMDDYY" from a build date in the form of __DATE__
// ("Apr  1 2025"), the date formatted by FormatBuildDate.
std::string FormatVersion(const char* buildDate);

// The version of this build.
std::string LibraryVersion();

// True from load until the emulator first asks for the version: while it is
// set, the file-transfer handler removes the PROGRESS option. Any thread.
bool ProgressOptionSuppressed();
void ClearProgressSuppression();

}  // namespace trv
