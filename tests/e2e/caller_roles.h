// The native caller processes of the end-to-end tests: roles of this test
// binary ("e2e_tests --role NAME ARGS..."), each an application that calls
// the exported entries of libtrvha64.so through include/trvha64.h and
// include/trvha64_qmxapi.h. A role reports what it saw on standard output as
// lines "<key> <values...>" (byte strings in hexadecimal), which the tests
// parse; a role that needs the test's go-ahead reads a line from standard
// input.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace trv::e2e {

// Runs the named role; its result is the process's exit code (2 for an
// unknown role or bad arguments).
int RunCallerRole(const std::string& name, const std::vector<std::string>& args);

// A role of a test file's own table: its function and how many arguments
// it takes; a role with arguments takes a session letter first.
struct RoleEntry {
    const char* name;
    int (*role)(const std::vector<std::string>& args);
    std::size_t arguments;
};

// Runs the role called `name` when the table has it: answers true with the
// role's result in *exitCode (2 for wrong arguments), false otherwise.
bool RunRoleFromTable(const RoleEntry* roles, std::size_t count, const std::string& name,
                      const std::vector<std::string>& args, int* exitCode);

// The roles of the other test files, each as RunRoleFromTable on its own
// table: waiting, host notification and the intercepts
// (notification_test.cpp), Send Key's escape codes (send_key_test.cpp), the
// event and message forms of the notifications (notification_forms_test.cpp)
// the keystroke queue (key_queue_test.cpp), the emulator side's
// environment (emulator_environment_test.cpp), the stress test
// (stress_test.cpp), the WinHLLAPI caller (winhllapi_test.cpp) and waits
// ended by the session's end (wait_end_test.cpp), callers that end
// without detaching (dead_caller_test.cpp).
bool RunNotificationRole(const std::string& name, const std::vector<std::string>& args, int* exitCode);
bool RunSendKeyRole(const std::string& name, const std::vector<std::string>& args, int* exitCode);
bool RunNotificationFormRole(const std::string& name, const std::vector<std::string>& args, int* exitCode);
bool RunKeyQueueRole(const std::string& name, const std::vector<std::string>& args, int* exitCode);
bool RunEmulatorEnvironmentRole(const std::string& name, const std::vector<std::string>& args,
                                int* exitCode);
bool RunStressRole(const std::string& name, const std::vector<std::string>& args, int* exitCode);
bool RunWinHLLAPIRole(const std::string& name, const std::vector<std::string>& args, int* exitCode);
// The keystroke table (keystroke_table_test.cpp) and the host's behaviours
// (host_behaviour_test.cpp).
bool RunKeystrokeTableRole(const std::string& name, const std::vector<std::string>& args, int* exitCode);
bool RunHostBehaviourRole(const std::string& name, const std::vector<std::string>& args, int* exitCode);
bool RunWaitEndRole(const std::string& name, const std::vector<std::string>& args, int* exitCode);
bool RunDeadCallerRole(const std::string& name, const std::vector<std::string>& args, int* exitCode);
// File transfer and macros (transfer_macro_test.cpp).
bool RunTransferMacroRole(const std::string& name, const std::vector<std::string>& args, int* exitCode);
// The UTLAPI application (utlapi_test.cpp).
bool RunUTLAPIRole(const std::string& name, const std::vector<std::string>& args, int* exitCode);

}  // namespace trv::e2e
