// The "Choose a Session" dialog of the utility API: the user picks one of
// a list of texts, or cancels.
//
// Windows: the modal dialog of the library's template 101 (a list box, OK
// and Cancel), owned by `owner` when that is a window. POSIX: a numbered
// list and a prompt on the controlling terminal (/dev/tty); a number picks
// that entry, anything else cancels; without a terminal it is cancelled.
// With `unattended` nothing is shown and the answer is "cancelled".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace trv::platform {

// Called before and after each step of the dialog (each window message of
// the Windows dialog; on POSIX the showing of the list and the answer):
// `entering` true before, false after with the step's answer (1 handled,
// 0 not). May be null.
using ChooserStepHook = void (*)(bool entering, std::intptr_t answer);

// The index of the entry chosen (the first is selected at the start), or -1
// when the user cancelled. Runs on the calling thread.
int ChooseSession(std::uintptr_t owner, const std::string& title, const std::vector<std::string>& entries,
                  bool unattended, ChooserStepHook step = nullptr);

}  // namespace trv::platform
