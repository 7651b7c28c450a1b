// The split of a file-transfer command's rest (host file and options, as the
// caller's side left it in XferOptions) into what the emulator's
// "SendReceiveFile" receives.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace trv {

struct TransferRequest {
    bool valid = true;        // false: fewer than three host-file words, or too long
    std::string hostFile;     // the first three words, joined by one blank
    std::string options;      // the rest, without the options taken out
    std::int32_t timeout = -1;  // TIME's value; -1 without one
    bool clear = false;       // CLEAR was given (NOCLEAR does not count)
};

// Splits `rest`: the host file, then TIME (its value, the option removed up
// to and including its end character), then the first of each of
// "NOCLEAR,", "NOCLEAR", "CLEAR,", "CLEAR", "QUIET,", "QUIET" in that order,
// and with `removeProgress` "PROGRESS," and "PROGRESS". The words are found
// anywhere in the options text (the host file is split off first).
TransferRequest SplitTransferOptions(std::string_view rest, bool removeProgress);

}  // namespace trv
