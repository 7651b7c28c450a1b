// Opening the diagnostic trace file: appended to in text mode, readable by
// others while open, but writable by one opener only (a second process naming
// the same file is refused, as the Win32 share mode refuses it).
#pragma once

#include <cstdio>

namespace trv::platform {

// nullptr when the file cannot be opened or another process has it open.
std::FILE* OpenTraceFile(const char* path);
void CloseTraceFile(std::FILE* file);

// The directory separator used to build "dir=" trace paths.
char PathSeparator();

}  // namespace trv::platform
