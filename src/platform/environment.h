// Environment variables, the executable's name, the ANSI code page and the
// default beep.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace trv::platform {

std::optional<std::string> GetEnvironment(const char* name);
bool SetEnvironment(const char* name, const char* value);  // null value removes it

// File name and extension of the running executable ("app.exe", "java").
std::string ExecutableFileName();

std::uint32_t AnsiCodePage();  // 1252 on POSIX, where text is single-byte Latin-1
void DefaultBeep();

}  // namespace trv::platform
