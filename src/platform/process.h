// Processes: liveness, the attach-time step that makes every named object of
// the library reachable from every process of the user, and child processes
// (used by tests and tools that re-run a program in another role).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/handle.h"

namespace trv::platform {

bool IsProcessAlive(std::uint32_t processId);

// Windows: gives the process and the objects it creates security descriptors
// without access restriction. POSIX: objects live in a per-user namespace
// that every process of the user reaches and no other user does; this call
// makes sure it exists and clears the objects that only dead processes held.
void OpenObjectsToAllProcesses();

struct ChildProcess {
    Handle handle = kNoHandle;  // 0 on failure
    std::uint32_t id = 0;
};

// Starts `program` with `arguments` (argv[1...]), inheriting the environment
// and the standard streams.
ChildProcess SpawnProcess(const std::string& program, const std::vector<std::string>& arguments);

// kWaitObject0 when it ended (exit code stored), kWaitTimeout, or kWaitFailed.
std::uint32_t WaitForProcess(Handle process, std::uint32_t timeoutMs, int* exitCode);

// Ends the process outright; none of its exit code runs.
bool KillProcess(Handle process);

// Full path of the running executable.
std::string ExecutablePath();

}  // namespace trv::platform
