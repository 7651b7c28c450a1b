// Machine-wide names: registered window messages and the global atom table.
// The same text yields the same number in every process (case-insensitive,
// as on Windows), for as long as any process keeps the name registered.
#pragma once

#include <cstddef>
#include <cstdint>

namespace trv::platform {

// A message number in 0xC000..0xFFFF; 0 on failure.
std::uint32_t RegisterMessageName(const char* name);

// Global atoms in 0xC000..0xFFFF; 0 on failure or when not found.
// AddGlobalAtom counts references; DeleteGlobalAtom drops one and answers 0.
std::uint16_t AddGlobalAtom(const char* name);
std::uint16_t FindGlobalAtom(const char* name);
std::uint16_t DeleteGlobalAtom(std::uint16_t atom);

// Copies the atom's name, truncated to size - 1 characters and terminated;
// answers the characters copied, 0 when the atom does not exist.
std::uint32_t GetGlobalAtomName(std::uint16_t atom, char* buffer, std::size_t size);

}  // namespace trv::platform
