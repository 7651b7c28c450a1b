// The bits of an exchange block's SessionParms that code reads by name, named
// by the Set Session Parameters keyword that sets them. The caller side sets
// them (Set Session Parameters) and reads some itself; the emulator-side
// handlers read the rest.
#pragma once

#include <cstdint>

namespace trv::parms {

constexpr std::uint32_t kStrEot = 0x1;         // STREOT
constexpr std::uint32_t kSrchFrom = 0x2;       // SRCHFROM
constexpr std::uint32_t kSrchBkwd = 0x4;       // SRCHBKWD
constexpr std::uint32_t kIPause = 0x10;        // IPAUSE
constexpr std::uint32_t kQuiet = 0x20;         // QUIET
constexpr std::uint32_t kNoReset = 0x40;       // NORESET
constexpr std::uint32_t kConPhys = 0x80;       // CONPHYS
constexpr std::uint32_t kEab = 0x200;          // EAB
constexpr std::uint32_t kXlate = 0x400;        // XLATE
constexpr std::uint32_t kNoCfgSize = 0x1000;   // NOCFGSIZE
constexpr std::uint32_t kNoDisplay = 0x2000;   // NODISPLAY
constexpr std::uint32_t kPutEab = 0x4000;      // PUTEAB
constexpr std::uint32_t kNoRetry = 0x8000;     // NORETRY
constexpr std::uint32_t kExtendPS = 0x10000;   // EXTEND_PS

}  // namespace trv::parms
