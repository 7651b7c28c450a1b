// The version text the emulator shows ("1.19 " and the build date as
// MMDDYY) and the process-wide progress flag that the first version query
// clears.
#pragma once

#include <string>

namespace trv {

// "1.19 MMDDYY" from a build date in the form of __DATE__ ("Apr  1 2025"):
// the month number from its name ("?" as the second month digit for a name
// not known), the day with a leading 0 in place of a blank, the last two
// digits of the year.
std::string FormatVersion(const char* buildDate);

// The version of this build.
std::string LibraryVersion();

// True from load until the emulator first asks for the version: while it is
// set, the file-transfer handler removes the PROGRESS option. Any thread.
bool ProgressOptionSuppressed();
void ClearProgressSuppression();

}  // namespace trv
