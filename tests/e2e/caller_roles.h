// The native caller processes of the end-to-end tests: roles of this test
// binary ("e2e_tests --role NAME ARGS..."), each an application that calls
// the exported entries of libtrvha64.so through include/trvha64.h and
// include/trvha64_qmxapi.h. A role reports what it saw on standard output as
// lines "<key> <values...>" (byte strings in hexadecimal), which the tests
// parse; a role that needs the test's go-ahead reads a line from standard
// input. Each test file registers the roles it defines.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <vector>

namespace trv::e2e {

// A role: its function and how many arguments it takes; a role with
// arguments takes a session letter first, unless it takes any arguments.
inline constexpr std::size_t kAnyArguments = static_cast<std::size_t>(-1);
struct RoleEntry {
    const char* name;
    int (*role)(const std::vector<std::string>& args);
    std::size_t arguments;
};

// Adds roles to those RunCallerRole knows. Called from a namespace-scope
// initialiser of each test file, so every role is known before main runs.
bool RegisterRoles(std::initializer_list<RoleEntry> roles);

// Runs the named role; its result is the process's exit code (2 for an
// unknown role or bad arguments).
int RunCallerRole(const std::string& name, const std::vector<std::string>& args);

}  // namespace trv::e2e
