// "Choose a Session" on the controlling terminal.
#include "platform/session_chooser.h"

#include <cstdio>
#include <cstdlib>

namespace trv::platform {
namespace {

constexpr std::intptr_t kHandled = 1;

// One step of the prompt between the hook's two calls.
template <typename Step>
void RunStep(ChooserStepHook hook, Step step) {
    if (hook != nullptr) hook(true, 0);
    step();
    if (hook != nullptr) hook(false, kHandled);
}

}  // namespace

int ChooseSession(std::uintptr_t, const std::string& title, const std::vector<std::string>& entries,
                  bool unattended, ChooserStepHook hook) {
    if (unattended || entries.empty()) return -1;
    std::FILE* tty = std::fopen("/dev/tty", "r+");
    if (tty == nullptr) return -1;
    RunStep(hook, [&] {
        std::fprintf(tty, "%s\n", title.empty() ? "Choose a Session" : title.c_str());
        for (std::size_t i = 0; i < entries.size(); ++i) std::fprintf(tty, "%3zu  %s\n", i + 1, entries[i].c_str());
        std::fprintf(tty, "Session number (Enter to cancel): ");
        std::fflush(tty);
    });
    int chosen = -1;
    RunStep(hook, [&] {
        char line[32] = {};
        if (std::fgets(line, sizeof line, tty) == nullptr) return;
        char* end = nullptr;
        const long number = std::strtol(line, &end, 10);
        if (end != line && number >= 1 && static_cast<std::size_t>(number) <= entries.size()) {
            chosen = static_cast<int>(number - 1);
        }
    });
    std::fclose(tty);
    return chosen;
}

}  // namespace trv::platform
