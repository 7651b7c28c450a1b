// The configured sessions in "trvha64/sessions" of the user's configuration
// directory.
#include "platform/configured_sessions.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace trv::platform {
namespace {

std::string ConfigDirectory() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') return xdg;
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.config";
}

std::string SessionsFile() { return ConfigDirectory() + "/trvha64/sessions"; }

int LetterIndex(char c) {
    const int upper = std::toupper(static_cast<unsigned char>(c));
    return upper >= 'A' && upper <= 'Z' ? upper - 'A' : -1;
}

}  // namespace

ConfiguredSessions ReadConfiguredSessions() {
    ConfiguredSessions sessions;
    std::ifstream file(SessionsFile());
    if (!file) return sessions;
    sessions.opened = true;
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() < 2 || line[0] == '#') continue;
        const int index = LetterIndex(line[0]);
        if (index < 0 || (line[1] != ' ' && line[1] != '\t')) continue;
        const std::size_t start = line.find_first_not_of(" \t", 1);
        if (start == std::string::npos) continue;
        sessions.profiles[static_cast<std::size_t>(index)] = line.substr(start, kConfiguredProfileMax);
    }
    return sessions;
}

bool WriteConfiguredSession(char letter, const std::string& profile) {
    const int index = LetterIndex(letter);
    if (index < 0) return false;
    ConfiguredSessions sessions = ReadConfiguredSessions();
    sessions.profiles[static_cast<std::size_t>(index)] = profile;
    const std::string directory = ConfigDirectory();
    ::mkdir(directory.c_str(), 0700);
    ::mkdir((directory + "/trvha64").c_str(), 0700);
    std::ofstream file(SessionsFile(), std::ios::trunc);
    if (!file) return false;
    for (int i = 0; i < 26; ++i) {
        const std::string& path = sessions.profiles[static_cast<std::size_t>(i)];
        if (!path.empty()) file << static_cast<char>('A' + i) << ' ' << path << '\n';
    }
    return static_cast<bool>(file);
}

}  // namespace trv::platform
