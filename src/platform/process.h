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

// A stamp of when the process started (its start time, cut to 32 bits and
// never 0), or 0 when no such process exists. Together with the id it names
// one process: a later process given the same id has another stamp.
std::uint32_t ProcessStartStamp(std::uint32_t processId);
std::uint32_t CurrentProcessStartStamp();

// Whether the process that had `processId` and `startStamp` still lives: a
// process now bearing the id with another stamp is not it. A stamp of 0 (a
// record written without one) falls back to the id alone.
bool IsProcessAlive(std::uint32_t processId, std::uint32_t startStamp);

// A watch on the end of one process (`processId` with `startStamp`, as
// IsProcessAlive takes them), for a waiter that looks several times a second:
// after the first look each one costs a single cheap system call (a pidfd on
// Linux 5.3 and later, a process handle on Windows); where neither can be
// had, each look is IsProcessAlive. Move-only; closed with it.
class ProcessWatch {
public:
    ProcessWatch() = default;
    ProcessWatch(std::uint32_t processId, std::uint32_t startStamp);
    ~ProcessWatch();
    ProcessWatch(ProcessWatch&& other) noexcept;
    ProcessWatch& operator=(ProcessWatch&& other) noexcept;
    ProcessWatch(const ProcessWatch&) = delete;
    ProcessWatch& operator=(const ProcessWatch&) = delete;

    // True once the watched process has ended (or was gone at the start).
    bool Ended() const;

private:
    std::uint32_t processId_ = 0;
    std::uint32_t startStamp_ = 0;
    std::intptr_t watch_ = -1;  // the pidfd or process handle; -1: none
    bool goneAtStart_ = false;
};

// Windows: gives the process and the objects it creates security descriptors
// without access restriction. POSIX: objects live in a per-user namespace
// that every process of the user reaches and no other user does; this call
// makes sure it exists and clears the objects that only dead processes held.
void OpenObjectsToAllProcesses();
// Why the named objects cannot be used by this process (POSIX: the
// namespace directory is missing, not a directory, another user's or open
// to others), as one line; empty when they can.
std::string ObjectsProblem();
// Removes the named objects that only ended processes held. POSIX: their
// files would stay in the namespace until the next process attaches;
// Windows: nothing to do, an object goes with its last handle.
void SweepObjectsOfEndedProcesses();

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
