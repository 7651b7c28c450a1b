// The native caller processes of the end-to-end tests: roles of this test
// binary ("e2e_tests --role NAME ARGS..."), each an application that calls
// the exported entries of libtrvha64.so through include/trvha64.h and
// include/trvha64_qmxapi.h. A role reports what it saw on standard output as
// lines "<key> <values...>" (byte strings in hexadecimal), which the tests
// parse; a role that needs the test's go-ahead reads a line from standard
// input.
#pragma once

#include <string>
#include <vector>

namespace trv::e2e {

// Runs the named role; its result is the process's exit code (2 for an
// unknown role or bad arguments).
int RunCallerRole(const std::string& name, const std::vector<std::string>& args);

// The roles of the notification and intercept tests (notification_test.cpp):
// runs the named one and answers true with its exit code in *exitCode, or
// answers false for a name it does not know.
bool RunNotificationRole(const std::string& name, const std::vector<std::string>& args, int* exitCode);

}  // namespace trv::e2e
