// What the UTLAPI tests share: the test process attached as a caller, in a
// namespace of named objects of its own, and a responder child that
// registers sessions and plays a 24 x 80 display session in the 32-bit
// layouts of the exchange block:
//   3 Send Key: writes the key text at the cursor and moves the cursor on
//   6 Search Presentation Space: the position of the text's first occurrence
//   7 / 40: the cursor position
//   8 / 34: the screen (34: from the start of the position's row, one field
//      per row) at the position, length characters
//   13 Copy OIA: format '9', byte 89 = 0x04 (ready), other bytes 0
//   14 Query Field Attribute: 0x24 on rows 1..12, 0x08 below
//   15 / 33: writes the text at the position (33: at its row's start)
//   22 Query Session Status: its record, display 'D', 24 rows, 80 columns
//   30 Search Field: the position of the text in the position's row
//   31 Find Field Position / 32 Length: the next row's start / 80
// The screen starts blank with "MAIN MENU" at row 1 column 1, the byte 1F at
// row 2 column 1 and the cursor at position 1.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/handle.h"
#include "support/attached_caller.h"
#include "support/child_role.h"

namespace trv::test {

constexpr std::uint32_t kUtlTestLimitMs = 20000;

class ScreenResponder {
public:
    explicit ScreenResponder(const std::string& letters);
    ~ScreenResponder();
    ScreenResponder(const ScreenResponder&) = delete;
    ScreenResponder& operator=(const ScreenResponder&) = delete;
    bool ready() const { return ready_; }

private:
    platform::UniqueHandle readyEvent_;
    platform::UniqueHandle stop_;
    std::unique_ptr<RoleProcess> process_;
    bool ready_ = false;
};

// Runs the test body in a fresh directory of its own as the current
// directory, where "utlTrace.log" lands; restores the old one after.
class ScratchDirectory {
public:
    explicit ScratchDirectory(const std::string& name);
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::string previous_;
};

// The whole text of a file, empty when it does not exist.
std::string ReadWholeFile(const std::string& path);
bool FileExists(const std::string& path);

}  // namespace trv::test
