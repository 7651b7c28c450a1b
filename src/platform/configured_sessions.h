// The configured sessions of the utility API: one profile path per session
// letter A..Z, set up by the administrator.
//
// Windows: the string values "A".."Z" of the key
// HKEY_LOCAL_MACHINE\SOFTWARE\Ombrel\Ombrel Palvero EHLLAPI Bridge\7.
// POSIX: the file "trvha64/sessions" in the user's configuration directory
// ($XDG_CONFIG_HOME, else $HOME/.config), one session per line: the letter,
// blanks, the profile path to the end of the line; blank lines and lines
// starting with '#' are skipped. The file is read on every call.
#pragma once

#include <array>
#include <string>

namespace trv::platform {

constexpr std::size_t kConfiguredProfileMax = 260;

struct ConfiguredSessions {
    bool opened = false;                   // the key or file could be read
    std::array<std::string, 26> profiles;  // by letter; empty when not configured
};

ConfiguredSessions ReadConfiguredSessions();

// Sets (a non-empty path) or removes (an empty one) the letter's session;
// false when the key or file cannot be written. For set-up tools and tests.
bool WriteConfiguredSession(char letter, const std::string& profile);

}  // namespace trv::platform
